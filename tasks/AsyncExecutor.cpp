#include "tasks/AsyncExecutor.h"

#include <glog/logging.h>

#include <exception>
#include <thread>

AsyncExecutor::AsyncExecutor(std::chrono::milliseconds jobDelay) : jobDelay_(jobDelay) {}

// The worker uses the callables below, so it must end before they go.
AsyncExecutor::~AsyncExecutor() {
    JoinWorker();
}

void AsyncExecutor::SetJob(std::function<void()> job) {
    std::lock_guard lock(callablesMutex_);
    job_ = std::move(job);
}

void AsyncExecutor::SetCompletion(std::function<void()> completion) {
    std::lock_guard lock(callablesMutex_);
    completion_ = std::move(completion);
}

bool AsyncExecutor::Start() {
    return StartThread();
}

std::function<void()> AsyncExecutor::TakeCopy(const std::function<void()>& callable) const {
    std::lock_guard lock(callablesMutex_);
    return callable;
}

int AsyncExecutor::Run() {
    std::this_thread::sleep_for(jobDelay_);
    if (auto job = TakeCopy(job_)) {
        try {
            job();
        } catch (const std::exception& error) {
            LOG(ERROR) << "background job failed with an exception: " << error.what();
        } catch (...) {
            LOG(ERROR) << "background job failed with an unknown exception";
        }
    }
    // The completion closes the busy box, so it runs whatever became of the job. Once it is
    // taken, work set for a new run belongs to a fresh worker.
    auto completion = TakeCopy(completion_);
    StopTakingWork();
    if (completion) {
        completion();
    }
    return 0;
}

AsyncExecutor& TheAsyncExecutor() {
    static AsyncExecutor executor;
    return executor;
}
