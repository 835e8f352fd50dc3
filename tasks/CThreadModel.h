#pragma once
// A small wrapper around one worker thread at a time. A subclass gives the thread body (Run);
// StartThread makes a worker only when none runs and returns once that worker has begun.
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>

#include "tasks/ThreadPriority.h"

class CThreadModel {
public:
    CThreadModel() = default;
    // Waits for a running worker; a subclass whose Run uses its own members must call
    // JoinWorker() in its own destructor, before those members go.
    virtual ~CThreadModel();

    CThreadModel(const CThreadModel&) = delete;
    CThreadModel& operator=(const CThreadModel&) = delete;

    // True from a successful start until the worker's OnThreadExit.
    bool IsRunning() const;

    // Waits until no worker runs; false when the limit passed first.
    bool WaitUntilIdle(std::chrono::milliseconds limit) const;

    // Whether new workers lower themselves to idle priority (on by default).
    void SetLowPriority(bool low);

    // How many worker threads have been made so far.
    std::size_t WorkersCreated() const;

    // What the last worker applied to itself when it began.
    ThreadPriority LastWorkerPriority() const;

protected:
    // Makes a worker when none runs and waits until it has begun. Returns true when a worker
    // runs (a new one, or the one that was running already), false when none could be made.
    bool StartThread();

    // Joins the worker thread if there is one; waits for a running worker to end.
    void JoinWorker();

    // Called by the worker once it takes no new work (its last callables are taken): a start
    // from here on waits for it to end and makes a fresh worker instead of leaving the new work
    // to a worker that will never run it.
    void StopTakingWork();
    // The worker's first action: releases StartThread.
    virtual void OnThreadStart();
    // The thread body.
    virtual int Run() = 0;
    // The worker's last action: from here on a new run may make a fresh worker.
    virtual void OnThreadExit();

    // Makes the thread; a test seam (a subclass may simulate a platform that refuses one).
    // Throws std::system_error when no thread can be made.
    virtual std::thread CreateWorker(std::function<void()> body);

private:
    void ThreadMain();

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::thread worker_;
    bool running_ = false;    // a worker exists and has not yet reached OnThreadExit
    bool started_ = false;    // the started hand-over of the current run
    bool finishing_ = false;  // the running worker takes no new work
    bool lowPriority_ = true;
    std::size_t workersCreated_ = 0;
    ThreadPriority lastPriority_ = ThreadPriority::Normal;
};
