// A stack of frames of one kind (darks, or flats at one exposure), read one
// frame at a time into accumulators per selected sample: the sum of its
// values and the sum of their squares, both integers. Nothing else of a
// frame is kept, so a stack of any length takes the same memory (12 bytes
// a sample, some 151 MB for both whole fields), and two stacks of the same
// samples merge exactly, in any order: a stack split over processes or
// machines and merged back equals the stack read in one.
#pragma once

#include "platform/LargeBuffers.h"
#include "probe/AreaSamples.h"
#include "raw/Samples.h"

#include <cstdint>
#include <vector>

// Most frames a stack takes: the sums stay below 2^32, and twice a sum too
// (the median of the means works on doubled sums), and L times a sum of
// squares below 2^63.
inline constexpr int64_t kMaxStackFrames = 500000;

class CWorkerPool;

struct FrameStack
{
    SampleSelection selection;      // the samples, in its order
    std::vector<int64_t> runStarts;  // the index of each run's first sample
    int64_t frames = 0;
    std::vector<uint32_t, LargeBufferAllocator<uint32_t>> sums;  // one per sample of the selection
    std::vector<uint64_t, LargeBufferAllocator<uint64_t>> squares;
};

// An empty stack of selection's samples; throws std::bad_alloc when memory
// runs out.
FrameStack EmptyStack(const SampleSelection& selection);

// Adds frame, whose fields have the selection's shape, on the workers of
// pool (null: on the calling thread): false, and the stack unchanged, when
// it holds kMaxStackFrames already.
bool AddFrame(FrameStack& stack, const SampleView& frame, CWorkerPool* pool = nullptr);

// Adds other's frames to into: false, and into unchanged, when the two are
// of different samples or would hold more than kMaxStackFrames together.
bool MergeStacks(FrameStack& into, const FrameStack& other);
