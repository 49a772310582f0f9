#include "platform/Workers.h"

#include "platform/Files.h"
#include "platform/LargeBuffers.h"

#include <algorithm>
#include <bit>
#include <utility>

#if defined(_WIN32)
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <windows.h>
#elif defined(__linux__)
#include <sched.h>
#endif

namespace
{

std::thread StartStdThread(std::function<void()> body)
{
    return std::thread(std::move(body));
}

// Processors the calling thread may run on; 0 when the system does not say.
int64_t UsableProcessors()
{
#if defined(_WIN32)
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) != 0 && process != 0)
        return std::popcount(static_cast<uint64_t>(process));
#elif defined(__linux__)
    cpu_set_t mask;
    if (sched_getaffinity(0, sizeof mask, &mask) == 0)
        return CPU_COUNT(&mask);
#endif
    return std::thread::hardware_concurrency();
}

}  // namespace

int32_t WorkerCountFor(int64_t processors)
{
    return static_cast<int32_t>(std::clamp<int64_t>(processors, 1, kMaxWorkers));
}

int32_t WorkerCount()
{
    return WorkerCountFor(UsableProcessors());
}

CWorkerPool::CWorkerPool(int32_t size, ThreadStarter start)
{
    if (start == nullptr)
        start = StartStdThread;
    platform::StartThreadsWithoutCleanupSignals([&] {
        // Whatever stops a thread from starting (std::system_error,
        // std::bad_alloc) leaves the ones started so far, each owned by
        // m_threads, which never grows past what was reserved.
        if (size <= 1)
            return;
        try
        {
            m_threads.reserve(static_cast<size_t>(size));
            for (int32_t worker = 0; worker < size; ++worker)
                m_threads.push_back(start([this, worker] { Serve(worker); }));
        }
        catch (...)
        {
        }
    });
}

CWorkerPool::~CWorkerPool()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void CWorkerPool::Serve(int32_t worker)
{
    uint64_t served = 0;
    for (;;)
    {
        const WorkerTask* task;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop || m_generation != served; });
            if (m_stop)
                return;
            served = m_generation;
            task = m_task;
        }
        try
        {
            (*task)(worker);
        }
        catch (...)
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_failure)
                m_failure = std::current_exception();
        }
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (--m_running == 0)
            m_done.notify_all();
    }
}

void CWorkerPool::Start(const WorkerTask& task)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_task = &task;
        m_running = Threads();
        m_failure = nullptr;
        ++m_generation;
    }
    m_wake.notify_all();
}

void CWorkerPool::Wait()
{
    std::exception_ptr failure;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [&] { return m_running == 0; });
        m_task = nullptr;
        failure = std::exchange(m_failure, nullptr);
    }
    if (failure)
        std::rethrow_exception(failure);
}

void CWorkerPool::Run(const WorkerTask& task)
{
    if (Threads() == 0)
    {
        task(0);
        return;
    }
    Start(task);
    Wait();
}

namespace
{

// The bands of one stream in flight. Every worker may hold a band in the
// making and one ready, and the writer one more: 2 * workers + 1 slots, band
// b in slot b % slots, which the writer frees once b is written.
class CBandQueue
{
public:
    CBandQueue(int32_t bandCount, int32_t slots) : m_bandCount(bandCount), m_slots(slots), m_ready(static_cast<size_t>(slots), 0) {}

    int32_t Slot(int32_t band) const { return band % m_slots; }

    // A worker's loop: takes the next band while its slot is free, renders
    // it and marks it ready, until every band is taken or the stream stops.
    template <typename Render>
    void Work(const Render& render)
    {
        for (;;)
        {
            int32_t band;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [&] { return m_stop || m_next >= m_bandCount || m_next < m_written + m_slots; });
                if (m_stop || m_next >= m_bandCount)
                    return;
                band = m_next++;
            }
            try
            {
                render(band);
            }
            catch (...)
            {
                Stop();
                throw;
            }
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_ready[static_cast<size_t>(Slot(band))] = 1;
            }
            m_changed.notify_all();
        }
    }

    // The writer's loop: writes the bands in order as they become ready.
    // Returns the first failed write's status, or kStatusOk also when a
    // worker failed (the pool throws what it threw).
    template <typename Write>
    Status WriteInOrder(const Write& write)
    {
        for (int32_t band = 0; band < m_bandCount; ++band)
        {
            const size_t slot = static_cast<size_t>(Slot(band));
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [&] { return m_stop || m_ready[slot] != 0; });
                if (m_ready[slot] == 0)
                    return kStatusOk;
            }
            const Status status = write(band);
            if (status != kStatusOk)
                return status;
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_ready[slot] = 0;
                m_written = band + 1;
            }
            m_changed.notify_all();
        }
        return kStatusOk;
    }

    void Stop()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
    }

private:
    const int32_t m_bandCount;
    const int32_t m_slots;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int32_t m_next = 0;          // the next band a worker takes
    int32_t m_written = 0;       // bands written so far; their slots are free
    std::vector<char> m_ready;   // per slot: its band is rendered
    bool m_stop = false;
};

}  // namespace

void RunOnShares(CWorkerPool& pool, int32_t rows, const std::function<void(int32_t first, int32_t count)>& task)
{
    const int32_t workers = pool.Size();
    pool.Run([&](int32_t worker) {
        const auto first = static_cast<int32_t>(int64_t{rows} * worker / workers);
        const auto end = static_cast<int32_t>(int64_t{rows} * (worker + 1) / workers);
        task(first, end - first);
    });
}

Status StreamBands(CWorkerPool& pool, int32_t bandCount, size_t bandBytes, CBufferKeeper& keeper,
                   const std::function<void(int32_t band, uint8_t* buffer, int32_t worker)>& render,
                   const std::function<Status(int32_t band, const uint8_t* buffer)>& write)
{
    if (bandCount <= 0)
        return kStatusOk;
    const int32_t slots = std::min(bandCount, 2 * pool.Size() + 1);
    const ScratchBuffer buffers = keeper.Lend(static_cast<size_t>(slots) * bandBytes);
    const auto bufferOf = [&](int32_t band) { return buffers.get() + static_cast<size_t>(band % slots) * bandBytes; };
    if (pool.Threads() == 0)
    {
        // No thread to render on: the calling thread renders each band itself.
        for (int32_t band = 0; band < bandCount; ++band)
        {
            render(band, bufferOf(band), 0);
            const Status status = write(band, bufferOf(band));
            if (status != kStatusOk)
                return status;
        }
        return kStatusOk;
    }

    CBandQueue queue(bandCount, slots);
    const WorkerTask worker = [&](int32_t index) {
        queue.Work([&](int32_t band) { render(band, bufferOf(band), index); });
    };
    pool.Start(worker);
    Status status = kStatusOk;
    try
    {
        status = queue.WriteInOrder([&](int32_t band) { return write(band, bufferOf(band)); });
    }
    catch (...)
    {
        queue.Stop();
        try
        {
            pool.Wait();
        }
        catch (...)
        {
        }
        throw;
    }
    queue.Stop();
    pool.Wait();
    return status;
}
