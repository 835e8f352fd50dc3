#include "server_link/LinkWorker.h"

#include <system_error>
#include <utility>

#include "server_link/MQClient.h"

LinkWorker::LinkWorker(Interrupt interrupt) : interrupt_(std::move(interrupt)) {}

LinkWorker::~LinkWorker() {
    Close();
}

bool LinkWorker::Post(const std::string& key, Job job) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (closed_ || pending_.count(key) != 0) return false;
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            return false;
        }
    }
    pending_.insert(key);
    queue_.emplace_back(key, std::move(job));
    changed_.notify_all();
    return true;
}

void LinkWorker::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        auto [key, job] = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        try {
            job();
        } catch (...) {
            // A job that throws has no reply to hand over; the worker goes on with the next.
        }
        job = nullptr;  // whatever the job holds goes before it counts as done
        lock.lock();
        pending_.erase(key);
        changed_.notify_all();
    }
}

void LinkWorker::Close() {
    std::thread ending;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        closed_ = true;
        for (const auto& queued : queue_) pending_.erase(queued.first);
        queue_.clear();
        if (!thread_.joinable()) return;
        stopping_ = true;
        ending = std::move(thread_);
        changed_.notify_all();
    }
    if (interrupt_) interrupt_(true);
    ending.join();
    if (interrupt_) interrupt_(false);
    std::lock_guard<std::mutex> guard(mutex_);
    stopping_ = false;
    pending_.clear();
    changed_.notify_all();
}

void LinkWorker::Open() {
    std::lock_guard<std::mutex> guard(mutex_);
    closed_ = false;
}

bool LinkWorker::WaitUntilIdle(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return pending_.empty(); });
}

LinkWorker& TheLinkWorker() {
    // The client is made here, before the worker's thread starts.
    static LinkWorker worker([client = MQClientSingleton::instance()](bool interrupted) {
        client->Interrupt(interrupted);
    });
    return worker;
}
