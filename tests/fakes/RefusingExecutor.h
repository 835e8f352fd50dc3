#pragma once
// A task runner on a platform that refuses to make a thread.
#include <functional>
#include <system_error>
#include <thread>

#include "tasks/AsyncExecutor.h"

struct RefusingExecutor : AsyncExecutor {
    std::thread CreateWorker(std::function<void()>) override {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
};
