// diagraw-export under a full disk, a file-size limit, a failing write, a
// refused rename and a deflate library without memory: OUT is never left in
// part, an older OUT stays as it was, no temporary remains, and the run ends
// with status 1 and one line. An OUT that cannot be written is refused
// before any file is made.
#include "FaultSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

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
    bool compress;
    const char* reason;
};

TEST(ExportFaults, OutputWholeOrNotAtAll)
{
    const ExportFault faults[] = {
        {"nospace", 1 << 20, 0, "mosaic", false, "No space left on device"},
        {"nospace", 1 << 20, 0, "upright", false, "No space left on device"},
        {"", 0, 4 << 20, "field0", false, "File too large"},
        {"pixels", 0, 0, "image", false, "Input/output error"},
        {"rename", 0, 0, "balanced", false, "Input/output error"},
        {"rename", 0, 0, "preview", false, "Input/output error"},
        // libtiff would deflate with zlib instead, which gives other bytes.
        {"deflate", 0, 0, "field1", true, "the image could not be encoded"},
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
        command.push_back(DIAGRAW_EXPORT_EXE);
        if (f.compress)
            command.push_back("--compress");
        command.insert(command.end(), {input.string(), f.kind, out.string()});
        const ProcessResult run = testsupport::RunProcess(command, std::chrono::seconds(300), std::string(), dir.Path());
        EXPECT_EQ(run.termSignal, 0);
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.err, "diagraw-export: " + out.string() + ": " + f.reason + "\n");
        EXPECT_TRUE(testsupport::ReadFile(out) == older);
        EXPECT_EQ(TemporariesIn(dir.Path()), std::vector<std::string>());
    }
}

// Names that no output can take, and one that a FIFO holds: refused before
// a temporary is made (the shim would refuse its creation), the FIFO left.
TEST(ExportFaults, NamesThatCannotBeWrittenAreRefusedBeforeAnyFileIsMade)
{
    TempDir dir;
    TempDir logDir;
    const fs::path input = dir / "synth.raf";
    ASSERT_EQ(testsupport::RunProcess({testsupport::kSynthExe, "--raf", input.string()}).exitStatus, 0);
    ASSERT_EQ(mkfifo((dir / "fifo.tif").c_str(), 0600), 0);
    const std::pair<std::string, const char*> names[] = {
        {std::string(256, 'n') + ".tif", "File name too long"}, {"./", "Is a directory"}, {"fifo.tif", "not a regular file"}};
    RunSetup setup;
    setup.fault = "create";
    setup.faultLog = logDir / "fault.log";
    for (const auto& [name, reason] : names)
    {
        const std::string out = (dir / name).string();
        std::vector<std::string> command = DiagrawCommand(setup, input);
        command.resize(command.size() - 2);
        command.insert(command.end(), {DIAGRAW_EXPORT_EXE, input.string(), "upright", out});
        const ProcessResult run = testsupport::RunProcess(command, std::chrono::seconds(300), std::string(), dir.Path());
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.err, "diagraw-export: " + out + ": " + reason + "\n");
    }
    EXPECT_EQ(FaultsFired(setup.faultLog), 0) << "a temporary was made";
    EXPECT_TRUE(fs::is_fifo(dir / "fifo.tif"));
    EXPECT_EQ(EntriesOf(dir.Path()), (std::vector<std::string>{"fifo.tif", "synth.raf"}));
}

}  // namespace
