// The database lock: beside each main.db, shared by processes of every account that may open
// that database, and by nobody else; links and FIFOs in its place are refused, a held lock is
// waited for within its limit.
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <system_error>

#include "Common/Database.h"
#include "Common/FileLock.h"
#include "Common/Global.h"
#include "tests/Common/TestSupport.h"
#include "tests/support/ScopedOverrides.h"

namespace {

using namespace std::chrono_literals;

bool LockIsFree(const std::string& db) {  // another holder could take it right now
    return FileLock(DatabaseLockPathFor(db)).TryLock();
}

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

TEST(DatabaseLock, ProcessesIncrementingOneRowLoseNoUpdate) {
    test::TempDir dir;
    const std::string db = dir.file("main.db");
    test::CreateSchemaDb(db, "insert into configuration (key, value) values ('counter', '0')");
    ASSERT_EQ(chmod(db.c_str(), 0640), 0);
    const test::ScopedUmask mask(077);  // the lock file takes the database's mode all the same
    test::Probe first("increment '" + db + "' 150"), second("increment '" + db + "' 150");
    EXPECT_EQ(first.Close(), 0);
    EXPECT_EQ(second.Close(), 0);
    EXPECT_EQ(test::Rows(db, "select value from configuration where key='counter'"),
              std::vector<std::string>{"300"});
    EXPECT_EQ(DatabaseLockPathFor(db), dir.file("TPS_SQLITE_MUTEXT_NAME"));
    EXPECT_EQ(ModeOf(dir.file("TPS_SQLITE_MUTEXT_NAME")), 0640u);
}

TEST(DatabaseLock, ANewDatabaseAndItsLockAreTheOwnersAlone) {
    test::TempDir dir;
    const test::ScopedUmask mask(0);
    EXPECT_TRUE(UseDatabase([](CppSQLite3DB& db) { db.execDML("create table t (x)"); },
                            DbFailure::kSilent, {dir.file("main.db"), 0}));
    EXPECT_EQ(ModeOf(dir.file("main.db")), 0600u);
    EXPECT_EQ(ModeOf(dir.file("TPS_SQLITE_MUTEXT_NAME")), 0600u);
}

TEST(DatabaseLock, TheHoldingThreadTakesItAgainOtherThreadsWait) {
    test::TempDir dir;
    const std::string db = dir.file("main.db");
    DatabaseLock& lock = Global::instance().dbLock();
    lock.lock(db);
    lock.lock(db);  // would deadlock without the re-entrant hold
    auto other = std::async(std::launch::async, [&] {
        lock.lock(db);
        lock.unlock();
    });
    lock.unlock();
    EXPECT_EQ(other.wait_for(100ms), std::future_status::timeout);
    EXPECT_FALSE(LockIsFree(db));
    lock.unlock();
    EXPECT_EQ(other.wait_for(5s), std::future_status::ready);
    EXPECT_TRUE(LockIsFree(db));
}

TEST(DatabaseLock, AKilledHolderDoesNotBlockAndALiveOneIsWaitedForWithinTheLimit) {
    test::TempDir dir;
    const std::string db = dir.file("main.db");
    const DatabaseOptions options{db, 0};
    test::Probe holder("hold '" + db + "'");
    const std::string said = holder.Read(1);
    ASSERT_EQ(said.rfind("held ", 0), 0u) << said;
    {
        const test::ScopedOverride limit(DatabaseLock::SetWaitLimit, 300ms,
                                         std::chrono::milliseconds(60s));
        const auto begin = std::chrono::steady_clock::now();
        const std::string message = test::MessageOf([&] { DatabaseSession session(options); });
        EXPECT_LT(std::chrono::steady_clock::now() - begin, 3s);
        EXPECT_NE(message.find("held by another process"), std::string::npos) << message;
        EXPECT_NE(message.find(dir.file("TPS_SQLITE_MUTEXT_NAME")), std::string::npos);
    }
    kill(std::stoi(said.substr(5)), SIGKILL);
    holder.Close();
    auto taker = std::async(std::launch::async, [&] { DatabaseSession session(options); });
    EXPECT_EQ(taker.wait_for(5s), std::future_status::ready);
}

// A link (to a file or nowhere) or a FIFO planted where the lock belongs is refused at once;
// nothing it points to is created, opened or changed.
TEST(DatabaseLock, PlantedLinksAndFifosAreRefusedAndNothingIsTouched) {
    test::TempDir dir;
    const std::string db = dir.file("main.db");
    const std::string lock = DatabaseLockPathFor(db);
    const std::string victim = dir.file("victim");
    test::WriteText(victim, "secret");
    ASSERT_EQ(chmod(victim.c_str(), 0600), 0);
    const auto work = [](CppSQLite3DB&) {};
    const auto refusedQuickly = [&](const char* what) {
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_FALSE(UseDatabase(work, DbFailure::kSilent, {db, 0})) << what;
        EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s) << what;
        EXPECT_THROW(FileLock(lock).TryLock(), std::system_error) << what;
    };
    ASSERT_EQ(symlink(victim.c_str(), lock.c_str()), 0);
    refusedQuickly("link to a file");
    EXPECT_EQ(ModeOf(victim), 0600u);
    ASSERT_EQ(unlink(lock.c_str()), 0);
    ASSERT_EQ(symlink(dir.file("made").c_str(), lock.c_str()), 0);
    refusedQuickly("dangling link");
    EXPECT_EQ(access(dir.file("made").c_str(), F_OK), -1);
    ASSERT_EQ(unlink(lock.c_str()), 0);
    ASSERT_EQ(mkfifo(lock.c_str(), 0600), 0);
    refusedQuickly("FIFO");
}

// Runs `body` in a child that has dropped to `uid`/`gid` (no account needs to exist); the
// child's exit code (0 = its checks passed).
int AsOtherAccount(uid_t uid, const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(uid, uid, uid) != 0 ||
            setresuid(uid, uid, uid) != 0) {
            _exit(90);
        }
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

// The console (root here) and a server of another account exclude each other on one main.db;
// a third account that may not read main.db cannot hold its lock at all.
TEST(DatabaseLock, ConsoleAndAnotherAccountExcludeEachOtherOnOneDatabase) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second account";
    constexpr uid_t kServer = 65534, kStranger = 65533;
    test::TempDir dir;
    const std::string db = dir.file("main.db");
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
        EXPECT_EQ(status.st_uid, kServer);
        EXPECT_EQ(status.st_mode & 0777, 0600u);
        EXPECT_EQ(AsOtherAccount(kServer, [&] { return FileLock(lockPath).TryLock() ? 1 : 0; }), 0)
            << "the server must wait while the console holds the lock";
    }
    int toParent[2], toChild[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toChild), 0);
    const pid_t server = fork();
    if (server == 0) {  // the server: holds the lock until told to let it go
        if (setresgid(kServer, kServer, kServer) != 0 || setresuid(kServer, kServer, kServer) != 0)
            _exit(90);
        FileLock lock(lockPath);
        const char held = lock.TryLock() ? 'y' : 'n';
        (void)!write(toParent[1], &held, 1);
        char go;
        (void)!read(toChild[0], &go, 1);
        _exit(0);
    }
    char held = 0;
    ASSERT_EQ(read(toParent[0], &held, 1), 1);
    EXPECT_EQ(held, 'y');
    EXPECT_FALSE(LockIsFree(db)) << "the console must not get in while the server holds it";
    (void)!write(toChild[1], "x", 1);
    waitpid(server, nullptr, 0);
    EXPECT_TRUE(LockIsFree(db));
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);
    EXPECT_EQ(AsOtherAccount(kStranger,
                             [&] {
                                 try {
                                     FileLock(lockPath).TryLock();
                                     return 1;
                                 } catch (const std::system_error& e) {
                                     return e.code().value() == EACCES ? 0 : 2;
                                 }
                             }),
              0);
}

TEST(UseDatabase, ReleasesTheLockWhateverTheWorkThrows) {
    test::TempDir dir;
    const DatabaseOptions options{dir.file("main.db"), 0};
    const auto fails = [](CppSQLite3DB& db) { db.execDML("insert into nowhere values (1)"); };
    EXPECT_FALSE(UseDatabase(fails, DbFailure::kSilent, options));
    const auto other = [](CppSQLite3DB&) { throw std::runtime_error("boom"); };
    EXPECT_THROW(UseDatabase(other, DbFailure::kSilent, options), std::runtime_error);
    EXPECT_TRUE(LockIsFree(options.path));
}

}  // namespace
