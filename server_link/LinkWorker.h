#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>

// One thread that runs the pages' control-channel work (and the service-state queries that go
// with it) in the order it was asked for, so the window thread never waits on the server or the
// service manager. Each job carries a key, one per poll: a job is refused while an earlier one
// of its key is still queued or running, so a slow server never builds a queue.
class LinkWorker {
public:
    using Job = std::function<void()>;
    // Called with true when Close wants the running job to give up at once, with false once
    // the thread has ended (see MQClient::Interrupt).
    using Interrupt = std::function<void(bool)>;

    explicit LinkWorker(Interrupt interrupt = {});
    ~LinkWorker();
    LinkWorker(const LinkWorker&) = delete;
    LinkWorker& operator=(const LinkWorker&) = delete;

    // Queues `job`; the thread starts on the first one. False, with nothing queued, while a job
    // of the same key waits or runs, after Close, or when no thread can be started.
    bool Post(const std::string& key, Job job);

    // Drops the queued jobs, interrupts the running one and waits for the thread to end; later
    // posts are refused until Open. Returns at once when nothing runs.
    void Close();
    // Accepts posts again (a new window after the old one closed).
    void Open();

    // For tests: waits until nothing is queued or running; false when `limit` passed first.
    bool WaitUntilIdle(std::chrono::milliseconds limit);

private:
    void Run();

    Interrupt interrupt_;
    std::mutex mutex_;  // guards everything below
    std::condition_variable changed_;
    std::deque<std::pair<std::string, Job>> queue_;
    std::set<std::string> pending_;  // keys queued or running
    bool closed_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

// The process's worker for the control channel; Close interrupts the command in progress on
// MQClientSingleton, so it ends within MQClient::kInterruptCheck of its receive.
LinkWorker& TheLinkWorker();
