#pragma once
// Runs one slow job on a worker thread, then its completion, while the window thread shows a
// busy box. The completion tells the window thread (by a posted event) that the job is done.
#include <chrono>
#include <functional>
#include <mutex>

#include "tasks/CThreadModel.h"

class AsyncExecutor : public CThreadModel {
public:
    // Time the worker waits before the job, so the busy box exists before the completion can
    // close it.
    static constexpr std::chrono::milliseconds kJobDelay{500};

    explicit AsyncExecutor(std::chrono::milliseconds jobDelay = kJobDelay);
    ~AsyncExecutor() override;

    // Each call replaces the previous callable. Both run on the worker thread: the job, then,
    // in every case, the completion.
    void SetJob(std::function<void()> job);
    void SetCompletion(std::function<void()> completion);

    // Starts a worker and returns once it has begun (or at once when one runs already; that
    // one picks up the callables stored last). False: no worker could be made, nothing will
    // run, and the caller must report the failure instead of showing a busy box.
    bool Start();

protected:
    int Run() override;

private:
    std::function<void()> TakeCopy(const std::function<void()>& callable) const;

    const std::chrono::milliseconds jobDelay_;
    mutable std::mutex callablesMutex_;
    std::function<void()> job_;
    std::function<void()> completion_;
};

// The one process-wide executor (made on first use, joined at process exit).
AsyncExecutor& TheAsyncExecutor();
