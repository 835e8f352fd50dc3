#include <signal.h>
#include <sys/stat.h>

#include <future>

#include "Common/Database.h"
#include "Common/FileLock.h"
#include "Common/Global.h"
#include "tests/Common/TestSupport.h"

namespace {

using namespace std::chrono_literals;

bool LockIsFree() {  // another holder could take it right now
    return FileLock(Global::instance().dbLock().path()).TryLock();
}

TEST(DatabaseLock, ProcessesIncrementingOneRowLoseNoUpdate) {
    test::TempDir dir;
    const std::string db = dir.file("main.db");
    test::CreateSchemaDb(db, "insert into configuration (key, value) values ('counter', '0')");
    test::Probe first("increment '" + db + "' 150"), second("increment '" + db + "' 150");
    EXPECT_EQ(first.Close(), 0);
    EXPECT_EQ(second.Close(), 0);
    EXPECT_EQ(test::Rows(db, "select value from configuration where key='counter'"),
              std::vector<std::string>{"300"});
    // The lock file carries the lock's name and is open to every account despite the umask.
    const std::string path = Global::instance().dbLock().path();
    EXPECT_EQ(path, std::string(getenv(kLockDirectoryVariable)) + "/TPS_SQLITE_MUTEXT_NAME");
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0666u);
}

TEST(DatabaseLock, TheHoldingThreadTakesItAgainOtherThreadsWait) {
    DatabaseLock& lock = Global::instance().dbLock();
    lock.lock();
    lock.lock();  // would deadlock without the re-entrant hold
    auto other = std::async(std::launch::async, [&] { std::lock_guard<DatabaseLock> guard(lock); });
    lock.unlock();
    EXPECT_EQ(other.wait_for(100ms), std::future_status::timeout);
    EXPECT_FALSE(LockIsFree());
    lock.unlock();
    EXPECT_EQ(other.wait_for(5s), std::future_status::ready);
    EXPECT_TRUE(LockIsFree());
}

TEST(DatabaseLock, AKilledHolderDoesNotBlockTheNextTaker) {
    test::Probe holder("hold");
    const std::string said = holder.Read(1);
    ASSERT_EQ(said.rfind("held ", 0), 0u) << said;
    EXPECT_FALSE(LockIsFree());
    kill(std::stoi(said.substr(5)), SIGKILL);
    holder.Close();
    auto taker = std::async(std::launch::async, [] {
        std::lock_guard<DatabaseLock> guard(Global::instance().dbLock());
    });
    EXPECT_EQ(taker.wait_for(5s), std::future_status::ready);
}

TEST(UseDatabase, ReleasesTheLockWhateverTheWorkThrows) {
    test::TempDir dir;
    const DatabaseOptions options{dir.file("main.db"), 0};
    const auto fails = [](CppSQLite3DB& db) { db.execDML("insert into nowhere values (1)"); };
    EXPECT_FALSE(UseDatabase(fails, DbFailure::kSilent, options));
    const auto other = [](CppSQLite3DB&) { throw std::runtime_error("boom"); };
    EXPECT_THROW(UseDatabase(other, DbFailure::kSilent, options), std::runtime_error);
    EXPECT_TRUE(LockIsFree());
}

}  // namespace
