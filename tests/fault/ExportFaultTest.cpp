// diagraw-export under a full disk, a file-size limit, a failing write and a
// refused rename: OUT is never left in part, an older OUT stays as it was,
// no temporary remains, and the run ends with status 1 and one line.
#include "FaultSupport.h"

#include <gtest/gtest.h>

using namespace faultsupport;
using testsupport::ProcessResult;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace
{

struct ExportFault
{
    const char* fault;     // the shim's, or empty
    int64_t faultBytes;    // nospace: what the disk takes
    uint64_t fileSizeBytes;
    const char* kind;
    const char* reason;
};

TEST(ExportFaults, OutputWholeOrNotAtAll)
{
    const ExportFault faults[] = {
        {"nospace", 1 << 20, 0, "mosaic", "No space left on device"},
        {"nospace", 1 << 20, 0, "upright", "No space left on device"},
        {"", 0, 4 << 20, "field0", "File too large"},
        {"pixels", 0, 0, "image", "Input/output error"},
        {"rename", 0, 0, "balanced", "Input/output error"},
        {"rename", 0, 0, "preview", "Input/output error"},
    };
    TempDir dir;
    TempDir logDir;
    const fs::path input = dir / "synth.raf";
    ASSERT_EQ(testsupport::RunProcess({testsupport::kSynthExe, "--raf", input.string()}).exitStatus, 0);
    const fs::path out = dir / "out.tif";
    const std::vector<uint8_t> older = {'o', 'l', 'd', '\n'};
    for (const ExportFault& f : faults)
    {
        SCOPED_TRACE(std::string(f.fault) + " " + f.kind);
        testsupport::WriteFile(out, older);
        RunSetup setup;
        setup.fault = f.fault;
        setup.faultBytes = f.faultBytes;
        setup.fileSizeBytes = f.fileSizeBytes;
        std::vector<std::string> command = DiagrawCommand(setup, input);
        command.resize(command.size() - 2);  // the program and its argument
        command.insert(command.end(), {DIAGRAW_EXPORT_EXE, input.string(), f.kind, out.string()});
        const ProcessResult run = testsupport::RunProcess(command, std::chrono::seconds(300), std::string(), dir.Path());
        EXPECT_EQ(run.termSignal, 0);
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.err, "diagraw-export: " + out.string() + ": " + f.reason + "\n");
        EXPECT_TRUE(testsupport::ReadFile(out) == older);
        EXPECT_EQ(TemporariesIn(dir.Path()), std::vector<std::string>());
    }
}

}  // namespace
