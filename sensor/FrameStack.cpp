#include "sensor/FrameStack.h"

#include "sensor/SensorChannels.h"

FrameStack EmptyStack(const SampleSelection& selection)
{
    FrameStack stack;
    stack.selection = selection;
    const auto samples = static_cast<size_t>(selection.samples[0] + selection.samples[1]);
    stack.sums.assign(samples, 0);
    stack.squares.assign(samples, 0);
    return stack;
}

bool AddFrame(FrameStack& stack, const SampleView& frame)
{
    if (stack.frames >= kMaxStackFrames)
        return false;
    uint32_t* sums = stack.sums.data();
    uint64_t* squares = stack.squares.data();
    const int64_t width = stack.selection.width;
    for (const SampleRun& run : stack.selection.runs)
    {
        const uint16_t* row = frame.fields[run.field] + run.y * width;
        for (int32_t x = run.first; x <= run.last; ++x)
        {
            const uint32_t value = row[x];
            *sums++ += value;
            *squares++ += uint64_t{value} * value;
        }
    }
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
