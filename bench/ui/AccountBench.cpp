// The account page with 10 000 accounts: UserConf's load and the page's fill, and addAccount
// (which reloads the whole map), each next to a bare sqlite3_step read of the same rows in the
// same run. The table is built once per run in a temporary install directory.
#include <glog/logging.h>

#include <QApplication>
#include <string>

#include "Common/Database.h"
#include "Common/Paths.h"
#include "Common/UserConf.h"
#include "bench/BenchSupport.h"
#include "ui/pages/tabs/CAccountDlg.h"

namespace {

constexpr int kAccounts = 10'000;
constexpr char kAccountsQuery[] = "select rowid,username,password,create_time from accounts";

class AccountsDb {
public:
    AccountsDb() {
        OverrideModuleDirectory(dir_.path());
        CppSQLite3DB db;
        db.open(GetMainDbPath().c_str());
        db.execDML(
            "create table configuration (key text, value text);"
            "create table accounts (username text, password text, create_time text);"
            "insert into configuration values ('anonymous_allow', '1'); begin");
        for (int i = 0; i < kAccounts; ++i) {
            db.execDML(
                "insert into accounts values (?, ?, ?)",
                {"user" + std::to_string(i * 7919 % kAccounts), std::to_string(i * 2654435761u),
                 "2025-" + std::to_string(1 + i % 12) + "-1 8:0:" + std::to_string(i % 60)});
        }
        db.execDML("commit");
    }

private:
    bench::ScratchDir dir_;
};

void BareStepRead(benchmark::State& state) {
    bench::BareStepScan(state, GetMainDbPath(), kAccountsQuery, kAccounts,
                        [](sqlite3_stmt* statement) {
                            benchmark::DoNotOptimize(sqlite3_column_int64(statement, 0));
                            for (int column = 1; column < 4; ++column)
                                benchmark::DoNotOptimize(sqlite3_column_text(statement, column));
                        });
}

void UserConfLoad(benchmark::State& state) {
    for (auto _ : state) {
        UserConf::instance().load();
        if (UserConf::instance().accounts.size() != kAccounts) state.SkipWithError("wrong count");
    }
}

// What the user waits for when the page is filled: the load, then the list's rows.
void AccountPageFill(benchmark::State& state) {
    CAccountDlg page(nullptr);
    page.resize(800, 400);
    for (auto _ : state) {
        UserConf::instance().load();
        page.Fill();
        if (page.Model().rowCount() != kAccounts) state.SkipWithError("wrong row count");
    }
}

// One add on a table of 10 000 accounts; the added row is taken out again untimed.
void AddAccount(benchmark::State& state) {
    UserConf& users = UserConf::instance();
    for (auto _ : state) {
        if (users.addAccount("new account", "password") != AccountChange::kDone)
            state.SkipWithError("add failed");
        state.PauseTiming();
        users.deleteAccount(users.accounts.at("new account").rowid);
        state.ResumeTiming();
    }
}

BENCHMARK(BareStepRead)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(UserConfLoad)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(AccountPageFill)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(AddAccount)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    FLAGS_minloglevel = google::GLOG_ERROR;  // not two WARNING lines per load
    const AccountsDb db;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
