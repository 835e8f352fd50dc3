// Work handed off the event loop: what comes back, and where.
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <thread>

#include "server/OffLoop.h"

namespace {

// The result comes back on the loop's thread, a job the other side refuses yields no result,
// and a failure of the work is thrown where it is awaited.
TEST(OffLoop, TheResultOrTheFailureComesBackOnTheLoop) {
    asio::io_context io;
    asio::thread_pool pool(1);
    auto submit = [&](std::function<void()> job) {
        asio::post(pool, std::move(job));
        return true;
    };
    auto refuse = [](std::function<void()>) { return false; };
    std::thread::id workedOn, resumedOn;
    auto work = [&] {
        workedOn = std::this_thread::get_id();
        return std::optional<int>(7);
    };
    auto fail = []() -> std::optional<int> { throw std::runtime_error("main.db is locked"); };
    std::optional<int> done, refused = 0;
    std::string failure;
    auto run = [&]() -> asio::awaitable<void> {
        done = co_await RunOffLoop(submit, work);
        resumedOn = std::this_thread::get_id();
        refused = co_await RunOffLoop(refuse, work);
        try {
            co_await RunOffLoop(submit, fail);
        } catch (const std::runtime_error& error) {
            failure = error.what();
        }
    };
    asio::co_spawn(io, run, asio::detached);
    io.run();
    EXPECT_EQ(done, 7);
    EXPECT_NE(workedOn, std::this_thread::get_id());
    EXPECT_EQ(resumedOn, std::this_thread::get_id());
    EXPECT_EQ(refused, std::nullopt);
    EXPECT_EQ(failure, "main.db is locked");
}

}  // namespace
