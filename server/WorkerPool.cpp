#include "server/WorkerPool.h"

WorkerPool::WorkerPool(size_t threads, size_t maxWaiting) : maxWaiting_(maxWaiting) {
    for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Run(); });
}

WorkerPool::~WorkerPool() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

bool WorkerPool::TrySubmit(std::function<void()> job) {
    {
        const std::lock_guard lock(mutex_);
        if (stopping_ || waiting_.size() >= maxWaiting_) return false;
        waiting_.push_back(std::move(job));
    }
    wake_.notify_one();
    return true;
}

void WorkerPool::Run() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
            if (waiting_.empty()) return;  // stopping, and nothing left
            job = std::move(waiting_.front());
            waiting_.pop_front();
        }
        job();
    }
}
