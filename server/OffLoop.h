#pragma once

#include <asio.hpp>
#include <exception>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

// Runs `work` on another thread and resumes the awaiting coroutine on its own executor with
// what `work` returned, so the event loop never waits on slow work (a password hash, a large
// reply, main.db). `submit` hands a job to that thread (a pool, the database thread) and
// returns false when it refuses it (a full queue): the result is then a default one. An
// exception thrown by `work` is thrown again in the coroutine. The loop does not run out while
// the work is under way. Both are taken by reference: they are the caller's named locals, which
// outlive the wait.
template <class Submit, class Work>
asio::awaitable<std::invoke_result_t<Work&>> RunOffLoop(Submit& submit, Work& work) {
    using Result = std::invoke_result_t<Work&>;
    const auto loop =
        asio::prefer(co_await asio::this_coro::executor, asio::execution::outstanding_work.tracked);
    auto initiate = [&](auto handler) {
        auto shared = std::make_shared<decltype(handler)>(std::move(handler));
        std::function<void()> job = [shared, loop, work]() mutable {
            std::exception_ptr failure;
            Result result{};
            try {
                result = work();
            } catch (...) {
                failure = std::current_exception();
            }
            asio::post(loop, [shared, failure, result = std::move(result)]() mutable {
                (*shared)(failure, std::move(result));
            });
        };
        if (!submit(std::move(job))) {
            asio::post(loop, [shared] { (*shared)(nullptr, Result{}); });
        }
    };
    co_return co_await asio::async_initiate<decltype(asio::use_awaitable),
                                            void(std::exception_ptr, Result)>(initiate,
                                                                              asio::use_awaitable);
}
