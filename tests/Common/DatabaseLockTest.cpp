// The database lock: beside each main.db, shared by every account that may open it, nobody else.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <system_error>

#include "Common/Database.h"
#include "Common/FileLock.h"
#include "Common/Global.h"
#include "tests/Common/TestSupport.h"
#include "tests/support/Processes.h"

namespace {

using namespace std::chrono_literals;

bool LockIsFree(const std::string& db) {  // another holder could take it right now
    return FileLock(DatabaseLockPathFor(db)).TryLock();
}

class DatabaseLockTest : public testing::Test {
protected:
    test::TempDir dir;
    const std::string db = dir.file("main.db");
};

// The lock file takes the database's mode whatever the umask; a new database is 0600, and its
// journal too.
TEST_F(DatabaseLockTest, ProcessesLoseNoUpdateAndTheLockTakesTheDatabasesMode) {
    test::CreateSchemaDb(db, "insert into configuration (key, value) values ('counter', '0')");
    ASSERT_EQ(chmod(db.c_str(), 0640), 0);
    const test::ScopedUmask mask(077);
    test::Probe first("increment '" + db + "' 150"), second("increment '" + db + "' 150");
    EXPECT_EQ(first.Close(), 0);
    EXPECT_EQ(second.Close(), 0);
    EXPECT_EQ(test::Rows(db, "select value from configuration where key='counter'"),
              std::vector<std::string>{"300"});
    EXPECT_EQ(test::ModeOf(dir.file("TPS_SQLITE_MUTEXT_NAME")), 0640u);
    const test::ScopedUmask open(0);
    test::TempDir other;
    EXPECT_TRUE(UseDatabase([](CppSQLite3DB& db) { db.execDML("create table t (x)"); },
                            DbFailure::kSilent, {other.file("main.db"), 0}));
    EXPECT_EQ(test::ModeOf(other.file("main.db")), 0600u);
    EXPECT_EQ(test::ModeOf(other.file("TPS_SQLITE_MUTEXT_NAME")), 0600u);
    // The journal stays, emptied, after the write: a sandboxed server may write the database's
    // files but create none beside them.
    EXPECT_EQ(test::ModeOf(other.file("main.db-journal")), 0600u);
    EXPECT_EQ(test::ReadText(other.file("main.db-journal")), "");
}

// UseDatabase lets it go whatever its work throws.
TEST_F(DatabaseLockTest, TheHoldingThreadTakesItAgainOtherThreadsWaitAndUseDatabaseReleasesIt) {
    const test::ScopedOverride limit(DatabaseLock::SetWaitLimit, 50ms,
                                     std::chrono::milliseconds(60s));
    DatabaseLock& lock = Global::instance().dbLock();
    const auto fromOtherThread = [&] {
        std::async(std::launch::async, [&] {
            lock.lock(db);
            lock.unlock();
        }).get();
    };
    lock.lock(db);
    lock.lock(db);  // would time out without the re-entrant hold
    lock.unlock();
    EXPECT_THROW(fromOtherThread(), std::system_error);
    EXPECT_FALSE(LockIsFree(db));
    lock.unlock();
    EXPECT_NO_THROW(fromOtherThread());
    const auto fails = [](CppSQLite3DB& db) { db.execDML("insert into nowhere values (1)"); };
    EXPECT_FALSE(UseDatabase(fails, DbFailure::kSilent, {db, 0}));
    const auto other = [](CppSQLite3DB&) { throw std::runtime_error("boom"); };
    EXPECT_THROW(UseDatabase(other, DbFailure::kSilent, {db, 0}), std::runtime_error);
    EXPECT_TRUE(LockIsFree(db));
}

TEST_F(DatabaseLockTest, ALiveHolderIsWaitedForWithinTheLimitAndAKilledOneDoesNotBlock) {
    const DatabaseOptions options{db, 0};
    const test::ScopedOverride limit(DatabaseLock::SetWaitLimit, 300ms,
                                     std::chrono::milliseconds(60s));
    auto holder = std::make_unique<test::LockHolder>(DatabaseLockPathFor(options.path));
    ASSERT_TRUE(holder->held());
    const std::string message = test::MessageOf([&] { DatabaseSession session(options); });
    EXPECT_NE(message.find("held by another process"), std::string::npos) << message;
    EXPECT_NE(message.find(dir.file("TPS_SQLITE_MUTEXT_NAME")), std::string::npos);
    holder.reset();
    EXPECT_NO_THROW(DatabaseSession session(options));
}

// A link (to a file or nowhere) or a FIFO where the lock belongs: refused, its target untouched.
TEST_F(DatabaseLockTest, PlantedLinksAndFifosAreRefusedAndNothingIsTouched) {
    const std::string lock = DatabaseLockPathFor(db);
    const std::string victim = dir.file("victim");
    test::WriteText(victim, "secret");
    ASSERT_EQ(chmod(victim.c_str(), 0600), 0);
    const auto refused = [&](const char* what) {
        EXPECT_FALSE(UseDatabase([](CppSQLite3DB&) {}, DbFailure::kSilent, {db, 0})) << what;
        EXPECT_THROW(FileLock(lock).TryLock(), std::system_error) << what;
        EXPECT_EQ(unlink(lock.c_str()), 0) << what;
    };
    ASSERT_EQ(symlink(victim.c_str(), lock.c_str()), 0);
    refused("link to a file");
    EXPECT_EQ(test::ModeOf(victim), 0600u);
    ASSERT_EQ(symlink(dir.file("made").c_str(), lock.c_str()), 0);
    refused("dangling link");
    EXPECT_EQ(access(dir.file("made").c_str(), F_OK), -1);
    ASSERT_EQ(mkfifo(lock.c_str(), 0600), 0);
    refused("FIFO");  // a FIFO waited on would hang here
}

// The console (root here) and a server of another account exclude each other on one main.db;
// a third account that may not read main.db cannot hold its lock at all.
TEST_F(DatabaseLockTest, ConsoleAndAnotherAccountExcludeEachOtherOnOneDatabase) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second account";
    constexpr uid_t kServer = 65534, kStranger = 65533;
    test::WriteText(db, "");
    ASSERT_EQ(chmod(dir.path().c_str(), 0711), 0);
    ASSERT_EQ(chown(db.c_str(), kServer, kServer), 0);
    ASSERT_EQ(chmod(db.c_str(), 0600), 0);
    const std::string lockPath = DatabaseLockPathFor(db);
    {  // made by root for the server's database: the server's, with the database's mode
        DatabaseLock& console = Global::instance().dbLock();
        console.lock(db);
        std::lock_guard<DatabaseLock> hold(console, std::adopt_lock);
        struct stat status {};
        ASSERT_EQ(stat(lockPath.c_str(), &status), 0);
        EXPECT_EQ(std::pair(status.st_uid, status.st_mode & 0777), std::pair(kServer, 0600u));
        EXPECT_FALSE(test::LockHolder(lockPath, "", kServer).held())
            << "the server must wait while the console holds the lock";
    }
    {
        test::LockHolder server(lockPath, "", kServer);
        ASSERT_TRUE(server.held());
        EXPECT_FALSE(LockIsFree(db)) << "the console must not get in while the server holds it";
    }
    EXPECT_TRUE(LockIsFree(db));
    EXPECT_FALSE(test::LockHolder(lockPath, "", kStranger).held());
}

}  // namespace
