// The run's workers: one thread per hardware thread, for the stages that
// split their work into bands of rows.
//
// A band is rendered by whichever worker takes it, into a buffer of its own,
// and every band is the same bytes whoever renders it, so the images do not
// depend on the number of threads. The calling thread does the writing, in
// band order, while the workers render the bands after it.
//
// Worker threads keep SIGINT, SIGTERM and SIGHUP blocked, so that those reach
// the thread that owns the output in flight (platform/Files.h). An exception
// that a worker's task throws (std::bad_alloc) stops the others and is thrown
// again in the calling thread once every worker has ended.
#pragma once

#include "platform/Status.h"

#include <cstddef>
#include <cstdint>
#include <functional>

class CBufferKeeper;

// Workers to use: the hardware threads of the machine, at least one.
int32_t WorkerCount();

// Runs task(worker) for worker 0 to count - 1, each on a thread of its own,
// and returns when every one has ended.
void RunOnWorkers(int32_t count, const std::function<void(int32_t worker)>& task);

// Renders the bands 0 to bandCount - 1 (each at most bandBytes) on the
// workers, render(band, buffer, worker) filling buffer, and hands them in
// order to write(band, buffer) on the calling thread. A few bands are in
// flight at a time, in buffers lent by keeper. Stops at the first write that
// fails and returns its status. workers is WorkerCount() but for tests.
Status StreamBands(int32_t bandCount, size_t bandBytes, CBufferKeeper& keeper,
                   const std::function<void(int32_t band, uint8_t* buffer, int32_t worker)>& render,
                   const std::function<Status(int32_t band, const uint8_t* buffer)>& write,
                   int32_t workers = WorkerCount());
