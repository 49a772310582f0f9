// The run's workers: one pool of threads, started once by the run's CRawX10
// and used by every stage that splits its work into bands of rows.
//
// A band is rendered by whichever worker takes it, into a buffer of its own,
// and every band is the same bytes whoever renders it, so the images do not
// depend on the number of workers. The calling thread does the writing, in
// band order, while the workers render the bands after it.
//
// Worker threads keep SIGINT, SIGTERM and SIGHUP blocked, so that those reach
// a thread that owns an output in flight (platform/Files.h). An exception
// that a worker's task throws (std::bad_alloc) stops the others and is thrown
// again in the calling thread once every worker has ended. A thread that the
// system cannot start, for whatever reason (out of threads, std::bad_alloc),
// means one worker fewer, never a failure.
#pragma once

#include "platform/Status.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class CBufferKeeper;

// Most workers a run starts by default. The workers render while one thread
// writes; past this many, the writer is the bottleneck and every further
// worker only costs memory (some 1 MB each: its band buffers and scratch).
// docs/performance.md, Workers, gives the measurement.
inline constexpr int32_t kMaxWorkers = 8;

// Workers for a machine on which the run may use processors processors: that
// many, at least one and at most kMaxWorkers.
int32_t WorkerCountFor(int64_t processors);

// Workers to use: WorkerCountFor the processors that the calling thread may
// run on (its affinity mask, which taskset and containers narrow).
int32_t WorkerCount();

using WorkerTask = std::function<void(int32_t worker)>;

// Starts a thread that runs body; the pool's seam for tests, which make it
// throw. The default is std::thread's constructor.
using ThreadStarter = std::thread (*)(std::function<void()> body);

// A fixed set of worker threads that run one task at a time. One caller at a
// time (the thread that owns the run); the threads end when it is destroyed.
class CWorkerPool
{
public:
    // Starts size threads; fewer when the system refuses some. A pool of one
    // worker starts none: the calling thread is that worker, which on a
    // single processor saves a switch between renderer and writer at every
    // band.
    explicit CWorkerPool(int32_t size = WorkerCount(), ThreadStarter start = nullptr);
    ~CWorkerPool();
    CWorkerPool(const CWorkerPool&) = delete;
    CWorkerPool& operator=(const CWorkerPool&) = delete;

    // Threads that run; 0 for a pool of one, or when none could be started.
    int32_t Threads() const { return static_cast<int32_t>(m_threads.size()); }

    // Workers that a task is run for, worker 0 to Size() - 1: Threads(), or 1
    // when no thread started (the caller then is the one worker). Per-worker
    // state is sized by this.
    int32_t Size() const { return Threads() > 0 ? Threads() : 1; }

    // Runs task(worker) for every worker at once and returns when all have
    // ended; throws what a task threw.
    void Run(const WorkerTask& task);

    // Run in two halves, for a caller that works while the workers do:
    // Start hands task to every thread (Threads() > 0; task must live until
    // Wait returns), Wait waits for them all and throws what a task threw.
    void Start(const WorkerTask& task);
    void Wait();

private:
    void Serve(int32_t worker);

    std::mutex m_mutex;
    std::condition_variable m_wake;  // a new task, or the end
    std::condition_variable m_done;  // the last worker finished its task
    const WorkerTask* m_task = nullptr;
    uint64_t m_generation = 0;       // counts the tasks handed out
    int32_t m_running = 0;           // workers still on the current task
    bool m_stop = false;
    std::exception_ptr m_failure;    // the first exception of the current task
    std::vector<std::thread> m_threads;
};

// Runs task(first, count) on every worker of pool at once, each for its own
// share of rows 0 to rows - 1, in order: worker k takes the rows from
// rows * k / Size() to rows * (k + 1) / Size() - 1.
void RunOnShares(CWorkerPool& pool, int32_t rows, const std::function<void(int32_t first, int32_t count)>& task);

// Renders the bands 0 to bandCount - 1 (each at most bandBytes) on the
// workers of pool, render(band, buffer, worker) filling buffer, and hands
// them in order to write(band, buffer) on the calling thread. A few bands are
// in flight at a time, in buffers lent by keeper. Stops at the first write
// that fails and returns its status.
Status StreamBands(CWorkerPool& pool, int32_t bandCount, size_t bandBytes, CBufferKeeper& keeper,
                   const std::function<void(int32_t band, uint8_t* buffer, int32_t worker)>& render,
                   const std::function<Status(int32_t band, const uint8_t* buffer)>& write);
