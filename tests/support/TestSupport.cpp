// The portable helpers; making temporary directories and running child
// processes differ by system and live in TestSupportPosix.cpp and
// TestSupportWin32.cpp.
#include "TestSupport.h"

#include <fstream>
#include <stdexcept>

namespace testsupport
{

TempDir::~TempDir()
{
    std::error_code ignored;
    // Tests may have taken write permission away; give it back first.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
        if (it->is_directory(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

bool WriteChartFile(const std::filesystem::path& path)
{
    const ProcessResult result = RunProcess({kSynthExe, path.string()});
    return result.exitStatus == 0;
}

}  // namespace testsupport
