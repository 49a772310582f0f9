#include "platform/Workers.h"

#include "platform/Files.h"
#include "platform/LargeBuffers.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace
{

// Threads that run one task each and are joined before the object goes; the
// first exception a task throws is kept for Join to throw again. A thread
// that the system cannot start (it is out of memory or of threads) is not an
// error: Started says how many run, and the caller does the rest itself.
class CThreads
{
public:
    CThreads(int32_t count, std::function<void(int32_t worker)> task) : m_task(std::move(task))
    {
        m_threads.reserve(static_cast<size_t>(count));
        platform::StartThreadsWithoutCleanupSignals([&] {
            try
            {
                for (int32_t worker = 0; worker < count; ++worker)
                    m_threads.emplace_back([this, worker] { Run(worker); });
            }
            catch (const std::system_error&)
            {
            }
        });
    }
    ~CThreads() { WaitForAll(); }
    CThreads(const CThreads&) = delete;
    CThreads& operator=(const CThreads&) = delete;

    int32_t Started() const { return static_cast<int32_t>(m_threads.size()); }

    // Runs the task of one worker on the calling thread.
    void Run(int32_t worker)
    {
        try
        {
            m_task(worker);
        }
        catch (...)
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_failure)
                m_failure = std::current_exception();
        }
    }

    void WaitForAll()
    {
        for (std::thread& thread : m_threads)
            if (thread.joinable())
                thread.join();
    }

    // Waits for every thread, then throws what a task threw, if any.
    void Join()
    {
        WaitForAll();
        if (m_failure)
            std::rethrow_exception(m_failure);
    }

private:
    std::function<void(int32_t worker)> m_task;  // kept here for the threads' whole life
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::exception_ptr m_failure;
};

}  // namespace

int32_t WorkerCount()
{
    const unsigned threads = std::thread::hardware_concurrency();
    return threads == 0 ? 1 : static_cast<int32_t>(std::min(threads, 256u));
}

void RunOnWorkers(int32_t count, const std::function<void(int32_t worker)>& task)
{
    CThreads threads(count, task);
    for (int32_t worker = threads.Started(); worker < count; ++worker)
        threads.Run(worker);
    threads.Join();
}

Status StreamBands(int32_t bandCount, size_t bandBytes, CBufferKeeper& keeper,
                   const std::function<void(int32_t band, uint8_t* buffer, int32_t worker)>& render,
                   const std::function<Status(int32_t band, const uint8_t* buffer)>& write, int32_t workerCount)
{
    if (bandCount <= 0)
        return kStatusOk;
    // Every worker may hold a band in the making and one ready, and the
    // writer one more.
    const int32_t workers = std::max(1, std::min(workerCount, bandCount));
    const int32_t slots = std::min(bandCount, 2 * workers + 1);
    const ScratchBuffer buffers = keeper.Lend(static_cast<size_t>(slots) * bandBytes);
    const auto bufferOf = [&](int32_t band) { return buffers.get() + static_cast<size_t>(band % slots) * bandBytes; };

    std::mutex mutex;
    std::condition_variable changed;
    int32_t nextBand = 0;  // the next band a worker takes
    int32_t written = 0;   // bands written so far; their slots are free
    std::vector<char> ready(static_cast<size_t>(slots), 0);
    bool stop = false;

    CThreads threads(workers, [&](int32_t worker) {
        for (;;)
        {
            int32_t band;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return stop || nextBand >= bandCount || nextBand < written + slots; });
                if (stop || nextBand >= bandCount)
                    return;
                band = nextBand++;
            }
            try
            {
                render(band, bufferOf(band), worker);
            }
            catch (...)
            {
                {
                    const std::lock_guard<std::mutex> lock(mutex);
                    stop = true;
                }
                changed.notify_all();
                throw;
            }
            {
                const std::lock_guard<std::mutex> lock(mutex);
                ready[static_cast<size_t>(band % slots)] = 1;
            }
            changed.notify_all();
        }
    });
    if (threads.Started() == 0)
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
    const auto stopWorkers = [&] {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        changed.notify_all();
    };

    Status status = kStatusOk;
    try
    {
        for (int32_t band = 0; band < bandCount && status == kStatusOk; ++band)
        {
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return stop || ready[static_cast<size_t>(band % slots)] != 0; });
                if (ready[static_cast<size_t>(band % slots)] == 0)
                    break;  // a worker failed; Join throws what it threw
            }
            status = write(band, bufferOf(band));
            {
                const std::lock_guard<std::mutex> lock(mutex);
                ready[static_cast<size_t>(band % slots)] = 0;
                written = band + 1;
            }
            changed.notify_all();
        }
    }
    catch (...)
    {
        stopWorkers();
        threads.WaitForAll();
        throw;
    }
    stopWorkers();
    threads.Join();
    return status;
}
