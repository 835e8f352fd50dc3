#pragma once
// torvoproxyctl run for real: a copy beside a copy of the server in a throw-away install folder
// with its own main.db, the local service backend, a control port chosen by the test and
// English messages.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/FreePort.h"
#include "tests/support/Processes.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/TestDb.h"

namespace ctl_test {

struct Outcome {
    int status = -1;
    std::string out, err;
};

class CtlTest : public ::testing::Test {
protected:
    CtlTest() {
        namespace fs = std::filesystem;
        fs::copy_file(TORVO_CTL_PATH, dir_.file("torvoproxyctl"));
        fs::copy_file(TORVO_SERVER_PATH, dir_.file("TorvoProxyServer"));
        test::SweepWhenThisProgramEnds(dir_.file("TorvoProxyServer"), dir_.path());
        test::CreateSchemaDb(Db(), "insert into configuration values ('listen_port', '" +
                                       std::to_string(listenPort_) +
                                       "'), ('lang', 'en'), ('torvoagent_allow', '0'),"
                                       " ('anonymous_allow', '0');");
        ::chmod(Db().c_str(), 0600);
    }
    ~CtlTest() override {
        if (std::filesystem::exists(dir_.file("services/TorvoProxyServer"))) Ctl("uninstall");
    }

    // torvoproxyctl with `arguments` (shell words), `input` on its standard input, started
    // through `runner` when one is given.
    Outcome Ctl(const std::string& arguments, const std::string& input = "",
                const std::string& runner = "") const {
        test::WriteText(dir_.file("stdin"), input);
        const std::string command = "cd '" + dir_.path() + "' && " + runner + " ./torvoproxyctl " +
                                    arguments + " <stdin >stdout 2>stderr";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, test::ReadText(dir_.file("stdout")),
                test::ReadText(dir_.file("stderr"))};
    }
    // `start` (or `restart`) with time enough on a loaded machine; a failure shows torvoproxyctl's
    // message and what the server wrote, since the run leaves nothing else behind.
    ::testing::AssertionResult Started(const std::string& command = "start") const {
        const Outcome run = Ctl("--timeout 20 " + command);
        if (run.status == 0) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << command << " exited with " << run.status << ": " << run.err
               << "\nthe server's log:\n"
               << test::ReadText(dir_.file("services/TorvoProxyServer/server.log"));
    }
    std::string Db() const { return dir_.file("main.db"); }
    std::vector<std::string> Rows(const std::string& sql) const { return test::Rows(Db(), sql); }
    void Sql(const std::string& sql) const { test::Sql(Db(), sql); }
    // Everything an administrator can change, to show that a refused command changed nothing.
    std::vector<std::string> Everything() const {
        std::vector<std::string> all = Rows("select * from configuration order by key");
        for (const char* table : {"accounts", "account_limits", "account_passwords"}) {
            try {
                for (auto& row : Rows(std::string("select * from ") + table)) all.push_back(row);
            } catch (const CppSQLite3Exception&) {
            }
        }
        return all;
    }

    test::TempDir dir_;
    uint16_t listenPort_ = test::FreePort();
    uint16_t controlPort_ = test::FreePort(listenPort_);
    test::ScopedEnv backend_{"TORVO_SERVICE_BACKEND", "local"};
    test::ScopedEnv control_{"TORVO_CONTROL_PORT", std::to_string(controlPort_)};
    test::ScopedEnv english_{"LC_ALL", "C"};
};

}  // namespace ctl_test
