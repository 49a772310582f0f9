#include "bench/BenchSupport.h"

#include "tools/Chart.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

namespace benchsupport
{
namespace
{

// The scratch directory, removed when the program ends.
class CScratchDir
{
public:
    CScratchDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "diagraw-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a scratch directory");
        m_path = pattern;
    }
    ~CScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::filesystem::path m_path;
};

CScratchDir& Scratch()
{
    static CScratchDir s_scratch;
    return s_scratch;
}

}  // namespace

std::string ScratchPath(const std::string& name)
{
    return (Scratch().m_path / name).string();
}

const std::string& ChartPath()
{
    static const std::string s_path = [] {
        const std::string path = ScratchPath("chart.raf");
        const std::vector<uint8_t> bytes = MakeChartFile();
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
            throw std::runtime_error("cannot write " + path);
        std::fclose(file);
        return path;
    }();
    return s_path;
}

const CRawX10& LoadedChart()
{
    static const std::unique_ptr<CRawX10> s_raw = [] {
        auto raw = std::make_unique<CRawX10>();
        if (raw->Load(ChartPath().c_str()) != kStatusOk)
            throw std::runtime_error("cannot load " + ChartPath());
        return raw;
    }();
    return *s_raw;
}

void CopyLoadedChart(CRawX10& raw)
{
    const CRawX10& chart = LoadedChart();
    const auto fieldSamples = static_cast<size_t>(kFieldCells);
    const auto mosaicSamples = static_cast<size_t>(kMosaicCells);
    raw.m_path = chart.m_path;
    if (!raw.m_field0)
    {
        raw.m_field0 = std::make_unique<uint16_t[]>(fieldSamples);
        raw.m_field1 = std::make_unique<uint16_t[]>(fieldSamples);
        raw.m_mosaic = std::make_unique<uint16_t[]>(mosaicSamples);
    }
    std::memcpy(raw.m_field0.get(), chart.m_field0.get(), fieldSamples * 2);
    std::memcpy(raw.m_field1.get(), chart.m_field1.get(), fieldSamples * 2);
    std::memcpy(raw.m_mosaic.get(), chart.m_mosaic.get(), mosaicSamples * 2);
}

}  // namespace benchsupport
