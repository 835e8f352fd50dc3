#pragma once

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
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

// A `submit` for RunOffLoop that hands the job to `pool`, which takes every job.
inline auto PostTo(asio::thread_pool& pool) {
    return [&pool](std::function<void()> job) {
        asio::post(pool, std::move(job));
        return true;
    };
}

namespace off_loop_detail {

template <class Result>
struct Race {
    explicit Race(const asio::any_io_executor& executor) : timer(executor) {}
    asio::steady_timer timer;
    std::optional<Result> result;
    std::exception_ptr failure;
};

// Its own copies of `submit` and `work`: it may outlive the one who gave up waiting.
template <class Result, class Submit, class Work>
asio::awaitable<void> Finish(std::shared_ptr<Race<Result>> race, Submit submit, Work work) {
    try {
        race->result = co_await RunOffLoop(submit, work);
    } catch (...) {
        race->failure = std::current_exception();
    }
    race->timer.cancel();
}

}  // namespace off_loop_detail

// As RunOffLoop, but the wait ends after `limit` whatever the work does: nullopt then, and the
// work's result is dropped when it comes (a failure within the time is thrown here). For an
// answer owed within a time (a client gives up after a few seconds) while the slow side (a
// locked main.db) takes what it takes.
template <class Submit, class Work>
asio::awaitable<std::optional<std::invoke_result_t<Work&>>> RunOffLoopWithin(
    Submit& submit, Work& work, std::chrono::steady_clock::duration limit) {
    using Result = std::invoke_result_t<Work&>;
    const auto executor = co_await asio::this_coro::executor;
    const auto race = std::make_shared<off_loop_detail::Race<Result>>(executor);
    race->timer.expires_after(limit);
    asio::co_spawn(executor, off_loop_detail::Finish<Result>(race, submit, work), asio::detached);
    co_await race->timer.async_wait(asio::experimental::as_tuple(asio::use_awaitable));
    if (race->failure) std::rethrow_exception(race->failure);
    co_return std::move(race->result);
}
