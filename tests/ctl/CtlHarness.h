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

#include "tests/support/Processes.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/TestDb.h"

namespace ctl_test {

inline uint16_t FreePort() {  // nobody listens on it right now
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

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
    uint16_t listenPort_ = FreePort();
    uint16_t controlPort_ = FreePort();
    test::ScopedEnv backend_{"TORVO_SERVICE_BACKEND", "local"};
    test::ScopedEnv control_{"TORVO_CONTROL_PORT", std::to_string(controlPort_)};
    test::ScopedEnv english_{"LC_ALL", "C"};
};

}  // namespace ctl_test
