// The sensor figures on small fields whose answer is known in closed form:
// the exact sums against a direct computation in long double, the stack's
// merge, the defect rules at their edges and the photon transfer fit.
#include "platform/Workers.h"
#include "probe/AreaSamples.h"
#include "sensor/FieldComparison.h"
#include "sensor/FramePair.h"
#include "sensor/FrameSeries.h"
#include "sensor/FrameStack.h"
#include "sensor/PhotonTransfer.h"
#include "sensor/StackFigures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <tuple>
#include <vector>

namespace
{

constexpr int32_t kWidth = 12;
constexpr int32_t kHeight = 10;

// Two fields of kWidth x kHeight, made by value(field, y, x).
struct Frame
{
    std::vector<uint16_t> fields[2];

    template <typename Value>
    explicit Frame(Value value)
    {
        for (int32_t f = 0; f < 2; ++f)
            for (int32_t y = 0; y < kHeight; ++y)
                for (int32_t x = 0; x < kWidth; ++x)
                    fields[f].push_back(static_cast<uint16_t>(value(f, y, x)));
    }
    SampleView View() const { return {kWidth, kHeight, {fields[0].data(), fields[1].data()}, nullptr}; }
};

const SampleSelection& Everything()
{
    static const SampleSelection selection = SamplesOfArea(kWidth, kHeight, nullptr);
    return selection;
}

int ChannelAt(int32_t f, int32_t y, int32_t x)
{
    return ChannelOf(f, ColourOfFieldSample(y, x));
}

// The pair's variance straight from its definition, in long double.
TEST(FramePair, VarianceIsTheDefinitionsExactly)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(0, 4095);
    const Frame a([&](int32_t, int32_t, int32_t) { return value(random); });
    const Frame b([&](int32_t, int32_t, int32_t) { return value(random); });
    const ChannelPairFigures figures = ComputePairFigures(a.View(), b.View(), Everything());
    for (int channel = 0; channel < kChannels; ++channel)
    {
        long double n = 0, sa = 0, sb = 0;
        for (int32_t f = 0; f < 2; ++f)
            for (int32_t i = 0; i < kWidth * kHeight; ++i)
                if (ChannelAt(f, i / kWidth, i % kWidth) == channel)
                    ++n, sa += a.fields[f][static_cast<size_t>(i)], sb += b.fields[f][static_cast<size_t>(i)];
        long double squares = 0;
        for (int32_t f = 0; f < 2; ++f)
            for (int32_t i = 0; i < kWidth * kHeight; ++i)
                if (ChannelAt(f, i / kWidth, i % kWidth) == channel)
                {
                    const long double d = (a.fields[f][static_cast<size_t>(i)] - sa / n) -
                                          (b.fields[f][static_cast<size_t>(i)] - sb / n);
                    squares += d * d;
                }
        const PairFigures& p = figures[static_cast<size_t>(channel)];
        EXPECT_EQ(p.count, static_cast<int64_t>(n));
        EXPECT_NEAR(p.mean, static_cast<double>((sa + sb) / (2 * n)), 1e-9);
        EXPECT_NEAR(p.temporalVariance, static_cast<double>(squares / (2 * n)), 1e-7 * p.temporalVariance);
    }
}

// Field 1 twice field 0 plus 5: one EV apart (nearly), correlation 1; a
// constant field has no correlation.
TEST(FieldComparison, RatioAndCorrelation)
{
    const Frame frame([](int32_t f, int32_t y, int32_t x) { return f == 0 ? 100 + 7 * x + y : 2 * (100 + 7 * x + y); });
    for (const FieldPairFigures& colour : CompareFields(frame.View(), Everything()))
    {
        EXPECT_NEAR(colour.ev, 1.0, 1e-12);
        EXPECT_NEAR(colour.correlation, 1.0, 1e-12);
    }
    const Frame flat([](int32_t f, int32_t, int32_t) { return f == 0 ? 50 : 60; });
    EXPECT_TRUE(std::isnan(CompareFields(flat.View(), Everything())[0].correlation));
}

// A stack merged from parts is the stack read whole; stacks of other
// samples do not merge.
TEST(FrameStack, MergesExactly)
{
    std::mt19937 random(3);
    std::uniform_int_distribution<int> value(0, 4095);
    std::vector<Frame> frames;
    for (int i = 0; i < 5; ++i)
        frames.emplace_back([&](int32_t, int32_t, int32_t) { return value(random); });
    FrameStack whole = EmptyStack(Everything());
    FrameStack first = EmptyStack(Everything());
    FrameStack second = EmptyStack(Everything());
    for (size_t i = 0; i < frames.size(); ++i)
    {
        ASSERT_TRUE(AddFrame(whole, frames[i].View()));
        ASSERT_TRUE(AddFrame(i < 2 ? first : second, frames[i].View()));
    }
    ASSERT_TRUE(MergeStacks(second, first));
    EXPECT_EQ(second.frames, 5);
    EXPECT_EQ(second.sums, whole.sums);
    EXPECT_EQ(second.squares, whole.squares);
    const ImageArea area = {5, 5, 8, 8};
    FrameStack other = EmptyStack(SamplesOfArea(kWidth, kHeight, &area));
    EXPECT_FALSE(MergeStacks(other, whole));
    EXPECT_EQ(other.frames, 0);
}

// Darks of level 100 in every channel, with a spread of one DN from a
// pattern, and planted cells: each rule fires where it should and nowhere
// else.
TEST(StackFigures, DefectRules)
{
    struct Planted
    {
        int32_t field, y, x;
        int value;        // in every frame, or
        bool noisy;       // a fresh value per frame around it
    };
    const Planted hot = {0, 3, 4, 140, true};     // 40 DN above: far past 8 spreads
    const Planted warm = {1, 6, 7, 105, true};    // 5 DN above: within 8 spreads
    const Planted stuck = {1, 2, 9, 100, false};  // noise of ~3.5 DN around it
    const Planted black = {0, 8, 1, 0, false};    // 0 where the level is far from the ends
    std::mt19937 random(11);
    std::uniform_int_distribution<int> noise(-6, 6);  // temporal sigma of 3.7 DN
    const auto run = [&](StackKind kind, int base, int frames) {
        FrameStack stack = EmptyStack(Everything());
        for (int i = 0; i < frames; ++i)
        {
            const Frame frame([&](int32_t f, int32_t y, int32_t x) {
                for (const Planted& p : {hot, warm, stuck, black})
                    if (p.field == f && p.y == y && p.x == x)
                        return p.noisy ? p.value * base / 100 + noise(random) : p.value * base / 100;
                return base + (x + y) % 3 - 1 + noise(random);
            });
            AddFrame(stack, frame.View());
        }
        return ComputeStackFigures(stack, kind, {});
    };
    const StackFigures darks = run(StackKind::Darks, 100, 16);
    ASSERT_EQ(darks.defects.size(), 3u);
    EXPECT_EQ(darks.defectCount, 3);
    std::vector<std::tuple<DefectKind, int32_t, int32_t, int32_t>> found;
    for (const Defect& d : darks.defects)
        found.emplace_back(d.kind, d.field, d.y, d.x);
    const std::vector<std::tuple<DefectKind, int32_t, int32_t, int32_t>> expected = {
        {DefectKind::Hot, 0, 3, 4}, {DefectKind::Stuck, 0, 8, 1}, {DefectKind::Stuck, 1, 2, 9}};
    EXPECT_EQ(found, expected);
    EXPECT_GT(darks.defects[0].excess, 8.0);
    const StackChannelFigures& channel = darks.channels[static_cast<size_t>(ChannelAt(0, 3, 4))];
    EXPECT_NEAR(channel.level, 100.0, 1.0);
    EXPECT_GT(std::sqrt(channel.temporalVariance), kStuckNoiseDn);

    // Flats at 1000: the black cell is dead as well as stuck, and listed
    // as stuck; a quiet stack does not make constant cells stuck.
    const StackFigures flats = run(StackKind::Flats, 1000, 4);
    ASSERT_FALSE(flats.defects.empty());
    EXPECT_EQ(flats.defects[0].kind, DefectKind::Stuck);
    std::uniform_int_distribution<int> quiet(0, 1);
    FrameStack calm = EmptyStack(Everything());
    for (int i = 0; i < 3; ++i)
        AddFrame(calm, Frame([&](int32_t, int32_t, int32_t) { return 500 + quiet(random); }).View());
    EXPECT_EQ(ComputeStackFigures(calm, StackKind::Darks, {}).defectCount, 0);
}

// The two ways to the level and spread agree, for odd and even counts,
// ties and a lone value; and they are the medians by their definition.
TEST(StackFigures, CountedAndSortedMediansAgree)
{
    const std::vector<std::vector<uint32_t>> cases = {
        {7}, {3, 9}, {5, 1, 4, 1, 5, 9, 2, 6}, {0, 0, 0, 65520, 65520}, {10, 10, 10, 10, 11, 12, 90, 91, 92}};
    for (const std::vector<uint32_t>& values : cases)
    {
        std::vector<uint32_t> counts(65521, 0);
        for (const uint32_t value : values)
            ++counts[value];
        std::vector<uint32_t> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        const uint64_t twiceLevel = uint64_t{sorted[(n - 1) / 2]} + sorted[n / 2];
        std::vector<uint32_t> deviations;
        for (const uint32_t value : sorted)
            deviations.push_back(static_cast<uint32_t>(std::llabs(2 * int64_t{value} - int64_t(twiceLevel))));
        std::sort(deviations.begin(), deviations.end());
        const RobustSums counted = RobustSumsOfCounts(counts);
        std::vector<uint32_t> copy = values;
        const RobustSums sortedWay = RobustSumsOfValues(copy);
        EXPECT_EQ(counted.twiceLevel, twiceLevel) << n;
        EXPECT_EQ(counted.fourTimesDeviation, uint64_t{deviations[(n - 1) / 2]} + deviations[n / 2]) << n;
        EXPECT_EQ(sortedWay.twiceLevel, counted.twiceLevel) << n;
        EXPECT_EQ(sortedWay.fourTimesDeviation, counted.fourTimesDeviation) << n;
    }
}

// On workers, a pair's and a stack's figures are those of the calling
// thread alone, to the last bit (ThreadSanitizer runs this too).
TEST(SensorWorkers, GiveTheFiguresOfOneThread)
{
    std::mt19937 random(5);
    std::uniform_int_distribution<int> value(0, 4095);
    const Frame a([&](int32_t, int32_t, int32_t) { return value(random); });
    const Frame b([&](int32_t, int32_t, int32_t) { return value(random); });
    CWorkerPool pool(3);
    const ChannelPairFigures alone = ComputePairFigures(a.View(), b.View(), Everything());
    const ChannelPairFigures shared = ComputePairFigures(a.View(), b.View(), Everything(), &pool);
    FrameStack one = EmptyStack(Everything());
    FrameStack many = EmptyStack(Everything());
    for (const Frame* frame : {&a, &b, &a})
    {
        AddFrame(one, frame->View());
        AddFrame(many, frame->View(), &pool);
    }
    EXPECT_EQ(one.sums, many.sums);
    EXPECT_EQ(one.squares, many.squares);
    const StackFigures figures[2] = {ComputeStackFigures(one, StackKind::Darks, {0.5, 0.5}),
                                     ComputeStackFigures(one, StackKind::Darks, {0.5, 0.5}, &pool)};
    for (size_t c = 0; c < kChannels; ++c)
    {
        EXPECT_EQ(alone[c].temporalVariance, shared[c].temporalVariance);
        EXPECT_EQ(alone[c].mean, shared[c].mean);
        EXPECT_EQ(figures[0].channels[c].spatialVariance, figures[1].channels[c].spatialVariance);
        EXPECT_EQ(figures[0].channels[c].spread, figures[1].channels[c].spread);
    }
    EXPECT_EQ(figures[0].defectCount, figures[1].defectCount);
    ASSERT_EQ(figures[0].defects.size(), figures[1].defects.size());
    for (size_t i = 0; i < figures[0].defects.size(); ++i)
        EXPECT_EQ(std::tie(figures[0].defects[i].field, figures[0].defects[i].y, figures[0].defects[i].x),
                  std::tie(figures[1].defects[i].field, figures[1].defects[i].y, figures[1].defects[i].x));
}

// A channel of exact figures: points on y = 0.5 x + 2 up to saturation at
// 3000 DN, then falling; the fit takes the points up to 70 % of it.
TEST(PhotonTransfer, FitsTheLinearPart)
{
    const PairFigures dark = {100, 64.0, 4.0 + 1.0 / 12};
    std::vector<PairFigures> flats;
    std::vector<double> exposures;
    for (const double x : {100.0, 400.0, 900.0, 1600.0, 2000.0, 2500.0, 3000.0, 3100.0})
    {
        const double variance = x <= 2000 ? 0.5 * x + 2 : x == 3000 ? 1600 : 1000 - (x - 2500) / 10;
        flats.push_back({100, 64.0 + x, 4.0 + 1.0 / 12 + variance});
        exposures.push_back(x / 1e5);
    }
    const PtcFigures ptc = FitPhotonTransfer(dark, flats, exposures);
    ASSERT_TRUE(ptc.fitted);
    EXPECT_DOUBLE_EQ(ptc.saturationDn, 3000.0);
    EXPECT_NEAR(ptc.gain, 0.5, 1e-12);
    EXPECT_NEAR(ptc.intercept, 2.0, 1e-9);
    EXPECT_NEAR(ptc.r2, 1.0, 1e-12);
    EXPECT_NEAR(ptc.darkNoiseE, 4.0, 1e-12);  // sqrt(4) / 0.5
    EXPECT_NEAR(ptc.saturationE, 6000.0, 1e-9);
    EXPECT_NEAR(ptc.snrMax, std::sqrt(6000.0), 1e-9);
    EXPECT_NEAR(ptc.DynamicRangeStops(), std::log2(1500.0), 1e-12);
    EXPECT_EQ(ptc.points[5].fitted, false);  // 2500 > 0.7 * 3000
    EXPECT_EQ(ptc.points[4].fitted, true);
    EXPECT_FALSE(FitPhotonTransfer(dark, {flats[0]}, {exposures[0]}).fitted);
}

TEST(FrameSeries, RefusesUnlikeFrames)
{
    ExifMetadata x10;
    x10.make = "FUJIFILM";
    x10.model = "X10";
    x10.iso = 200;
    x10.exposureTime = ExifFraction{1, 100};
    ExifMetadata other = x10;
    other.iso = 400;
    ExifMetadata longer = x10;
    longer.exposureTime = ExifFraction{1, 50};
    ExifMetadata same = x10;
    same.exposureTime = ExifFraction{10, 1000};
    const FrameFacts a = FactsOfFrame("a.raf", x10);
    EXPECT_EQ(RefusalOfFrames({a, FactsOfFrame("b.raf", {}), FactsOfFrame("c.raf", other)})->reason,
              "ISO 400, not ISO 200 as a.raf");
    EXPECT_EQ(RefusalOfFrames({a, FactsOfFrame("b.raf", {}), FactsOfFrame("c.raf", other)})->frame, 2u);
    ExifMetadata canon = x10;
    canon.make = "Canon";
    EXPECT_EQ(RefusalOfFrames({a, FactsOfFrame("d.raf", canon)})->reason, "taken with Canon X10, not FUJIFILM X10 as a.raf");
    EXPECT_EQ(*RefusalOfPair(a, FactsOfFrame("e.raf", longer)), "exposed 1/50 s, not 1/100 s as a.raf, its pair");
    EXPECT_FALSE(RefusalOfPair(a, FactsOfFrame("f.raf", same)));
}

}  // namespace
