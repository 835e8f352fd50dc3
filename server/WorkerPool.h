#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A few threads for work too slow for the event loop (password checks). Bounded: at most
// `maxWaiting` jobs wait for a thread; more are refused, never queued without limit.
class WorkerPool {
public:
    WorkerPool(size_t threads, size_t maxWaiting);
    // Runs the jobs still waiting, then joins the threads.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // False (and `job` dropped) when `maxWaiting` jobs wait already.
    bool TrySubmit(std::function<void()> job);

private:
    void Run();

    const size_t maxWaiting_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> waiting_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;  // last: they start once the rest exists
};
