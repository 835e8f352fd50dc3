#include "tasks/CThreadModel.h"

#include <glog/logging.h>

#include <system_error>

CThreadModel::~CThreadModel() {
    JoinWorker();
}

bool CThreadModel::IsRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

bool CThreadModel::WaitUntilIdle(std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return !running_; });
}

void CThreadModel::SetLowPriority(bool low) {
    std::lock_guard lock(mutex_);
    lowPriority_ = low;
}

std::size_t CThreadModel::WorkersCreated() const {
    std::lock_guard lock(mutex_);
    return workersCreated_;
}

ThreadPriority CThreadModel::LastWorkerPriority() const {
    std::lock_guard lock(mutex_);
    return lastPriority_;
}

bool CThreadModel::StartThread() {
    std::unique_lock lock(mutex_);
    // A worker past its last work only has its exit left (an idle-priority thread may wait a
    // while for it on a busy machine): wait for it rather than hand new work to nobody.
    changed_.wait(lock, [this] { return !(running_ && finishing_); });
    // The previous worker has passed OnThreadExit; collect its thread before making a new one.
    // The join runs unlocked, so look again afterwards: another caller may have started one.
    while (!running_ && worker_.joinable()) {
        std::thread finished = std::move(worker_);
        lock.unlock();
        finished.join();
        lock.lock();
    }
    if (running_) {
        return true;  // one worker at a time; the running one carries on
    }
    started_ = false;
    finishing_ = false;
    try {
        worker_ = CreateWorker([this] { ThreadMain(); });
    } catch (const std::system_error& error) {
        LOG(ERROR) << "cannot create a worker thread: " << error.what();
        return false;
    }
    running_ = true;
    ++workersCreated_;
    changed_.wait(lock, [this] { return started_; });
    started_ = false;
    return true;
}

void CThreadModel::JoinWorker() {
    std::thread finished;
    {
        std::lock_guard lock(mutex_);
        finished = std::move(worker_);
    }
    if (finished.joinable() && finished.get_id() != std::this_thread::get_id()) {
        finished.join();
    } else if (finished.joinable()) {
        finished.detach();  // a worker that ends its own owner: nothing left to wait for
    }
}

void CThreadModel::OnThreadStart() {
    std::lock_guard lock(mutex_);
    started_ = true;
    changed_.notify_all();
}

void CThreadModel::StopTakingWork() {
    std::lock_guard lock(mutex_);
    finishing_ = true;
}

void CThreadModel::OnThreadExit() {
    std::lock_guard lock(mutex_);
    running_ = false;
    changed_.notify_all();
}

std::thread CThreadModel::CreateWorker(std::function<void()> body) {
    return std::thread(std::move(body));
}

void CThreadModel::ThreadMain() {
    bool low = false;
    {
        std::lock_guard lock(mutex_);
        low = lowPriority_;
    }
    const ThreadPriority applied = low ? LowerCurrentThreadPriority() : ThreadPriority::Normal;
    {
        std::lock_guard lock(mutex_);
        lastPriority_ = applied;
    }
    if (low && applied == ThreadPriority::Normal) {
        LOG(WARNING) << "worker thread runs at normal priority: idle priority was refused";
    }
    OnThreadStart();
    try {
        Run();
    } catch (const std::exception& error) {
        LOG(ERROR) << "worker thread ended by an exception: " << error.what();
    } catch (...) {
        LOG(ERROR) << "worker thread ended by an unknown exception";
    }
    OnThreadExit();
}
