#include "sensor/FrameStack.h"

#include "platform/Workers.h"
#include "sensor/SensorChannels.h"

FrameStack EmptyStack(const SampleSelection& selection)
{
    FrameStack stack;
    stack.selection = selection;
    int64_t start = 0;
    for (const SampleRun& run : selection.runs)
    {
        stack.runStarts.push_back(start);
        start += run.Count();
    }
    const auto samples = static_cast<size_t>(selection.samples[0] + selection.samples[1]);
    stack.sums.assign(samples, 0);
    stack.squares.assign(samples, 0);
    return stack;
}

bool AddFrame(FrameStack& stack, const SampleView& frame, CWorkerPool* pool)
{
    if (stack.frames >= kMaxStackFrames)
        return false;
    const std::vector<SampleRun>& runs = stack.selection.runs;
    const int64_t width = stack.selection.width;
    // Runs first to first + count - 1; the accumulators of different runs
    // are apart, so shares of the runs add in parallel.
    const auto add = [&](int32_t first, int32_t count) {
        for (int32_t r = first; r < first + count; ++r)
        {
            const SampleRun& run = runs[static_cast<size_t>(r)];
            const uint16_t* __restrict row = frame.fields[run.field] + run.y * width + run.first;
            uint32_t* __restrict sums = stack.sums.data() + stack.runStarts[static_cast<size_t>(r)];
            uint64_t* __restrict squares = stack.squares.data() + stack.runStarts[static_cast<size_t>(r)];
            const int64_t samples = run.Count();
            for (int64_t i = 0; i < samples; ++i)  // the three never overlap: the loop vectorises
            {
                const uint32_t value = row[i];
                sums[i] += value;
                squares[i] += uint64_t{value} * value;
            }
        }
    };
    const auto runCount = static_cast<int32_t>(runs.size());
    if (pool != nullptr)
        RunOnShares(*pool, runCount, add);
    else
        add(0, runCount);
    ++stack.frames;
    return true;
}

bool MergeStacks(FrameStack& into, const FrameStack& other)
{
    const SampleSelection& a = into.selection;
    const SampleSelection& b = other.selection;
    if (a.width != b.width || a.height != b.height || a.runs != b.runs ||
        into.frames + other.frames > kMaxStackFrames)
        return false;
    for (size_t i = 0; i < into.sums.size(); ++i)
    {
        into.sums[i] += other.sums[i];
        into.squares[i] += other.squares[i];
    }
    into.frames += other.frames;
    return true;
}
