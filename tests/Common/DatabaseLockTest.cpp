#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <stdexcept>
#include <system_error>

#include "Common/Database.h"
#include "Common/FileLock.h"
#include "Common/Global.h"
#include "tests/Common/TestSupport.h"

namespace {

using namespace std::chrono_literals;

std::string LockFilePath() {
    return Global::instance().dbLock().path();
}

// True when another holder could take the database lock right now.
bool LockIsFree() {
    FileLock probe(LockFilePath());
    return probe.TryLock();
}

TEST(DatabaseLock, LivesInTheChosenDirectoryUnderItsName) {
    EXPECT_EQ(LockFilePath(),
              std::string(std::getenv(kLockDirectoryVariable)) + "/TPS_SQLITE_MUTEXT_NAME");
    EXPECT_EQ(&Global::instance(), &Global::instance());
}

TEST(DatabaseLock, ProcessesIncrementingOneRowLoseNoUpdate) {
    test::TempDir dir;
    const std::string db = dir.file("main.db");
    test::CreateSchemaDb(db);
    UseDatabase(
        [](CppSQLite3DB& c) {
            c.execDML("insert into configuration (key, value) values ('counter', '0')");
        },
        DbFailure::kSilent, {db, 0});

    constexpr int kCycles = 150;
    test::Child first(test::ProbePath(), {"increment", db, std::to_string(kCycles)});
    test::Child second(test::ProbePath(), {"increment", db, std::to_string(kCycles)});
    for (test::Child* child : {&first, &second}) {
        const int status = child->Wait(120s);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(test::Rows(db, "select value from configuration where key='counter'"),
              std::vector<std::string>{std::to_string(2 * kCycles)});
}

TEST(DatabaseLock, TheHoldingThreadTakesItAgainOtherThreadsWait) {
    DatabaseLock& lock = Global::instance().dbLock();
    lock.lock();
    lock.lock();  // would deadlock without the re-entrant hold
    EXPECT_FALSE(LockIsFree());
    auto other = std::async(std::launch::async, [&] { std::lock_guard<DatabaseLock> guard(lock); });
    lock.unlock();
    EXPECT_EQ(other.wait_for(100ms), std::future_status::timeout);
    EXPECT_FALSE(LockIsFree());
    lock.unlock();
    EXPECT_EQ(other.wait_for(5s), std::future_status::ready);
    EXPECT_TRUE(LockIsFree());
}

TEST(DatabaseLock, AKilledHolderDoesNotBlockTheNextTaker) {
    test::Child holder(test::ProbePath(), {"hold"});
    ASSERT_EQ(holder.ReadLine(10s), "held");
    EXPECT_FALSE(LockIsFree());
    holder.Kill(SIGKILL);
    holder.Wait(10s);
    auto taker = std::async(std::launch::async, [] {
        std::lock_guard<DatabaseLock> guard(Global::instance().dbLock());
    });
    EXPECT_EQ(taker.wait_for(5s), std::future_status::ready);
}

TEST(UseDatabase, ReleasesLockAndConnectionWhenTheWorkThrows) {
    test::TempDir dir;
    const std::string db = dir.file("main.db");
    test::CreateSchemaDb(db);
    bool nestedDone = false;
    EXPECT_FALSE(UseDatabase(
        [&](CppSQLite3DB& c) {
            // The holding thread may nest a second piece of work.
            nestedDone = UseDatabase(
                [](CppSQLite3DB& inner) {
                    inner.execDML("insert into configuration (key, value) values ('k', 'v')");
                },
                DbFailure::kSilent, {db, 0});
            EXPECT_FALSE(LockIsFree());
            c.execDML("insert into nowhere values (1)");
        },
        DbFailure::kSilent, {db, 0}));
    EXPECT_TRUE(nestedDone);
    EXPECT_TRUE(LockIsFree());
    EXPECT_EQ(test::Rows(db, "select key, value from configuration"),
              std::vector<std::string>{"k|v"});
}

TEST(UseDatabase, OtherErrorsPassThroughAndStillRelease) {
    test::TempDir dir;
    EXPECT_THROW(UseDatabase([](CppSQLite3DB&) { throw std::runtime_error("boom"); },
                             DbFailure::kSilent, {dir.file("main.db"), 0}),
                 std::runtime_error);
    EXPECT_TRUE(LockIsFree());
}

TEST(FileLock, TwoHoldersOfOnePathExcludeEachOtherAndTheFileIsOpenToAll) {
    test::TempDir dir;
    const std::string path = dir.file("TORVOPROXY_ONEINSTANCE_MUTEX");
    const mode_t previous = umask(022);
    FileLock first(path);
    FileLock second(path);
    EXPECT_TRUE(first.TryLock());
    umask(previous);
    EXPECT_FALSE(second.TryLock());
    first.Unlock();
    EXPECT_TRUE(second.TryLock());
    {
        FileLock scoped(dir.file("scoped"));
        scoped.Lock();
    }
    FileLock after(dir.file("scoped"));
    EXPECT_TRUE(after.TryLock());  // the destructor released it
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0666u);
    FileLock nowhere(dir.file("missing/dir/lock"));
    EXPECT_THROW(nowhere.Lock(), std::system_error);
}

}  // namespace
