#include "tests/Common/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

namespace test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base ? base : "/tmp") + "/torvo-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = std::filesystem::canonical(pattern).string();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
}

void CreateSchemaDb(const std::string& path) {
    CppSQLite3DB db;
    db.open(path.c_str());
    db.execDML(ReadText(TORVO_SCHEMA_FILE).c_str());
    db.close();
}

std::vector<std::string> Rows(const std::string& dbPath, const std::string& sql) {
    CppSQLite3DB db;
    db.open(dbPath.c_str());
    std::vector<std::string> rows;
    for (CppSQLite3Query query = db.execQuery(sql.c_str()); !query.eof(); query.nextRow()) {
        std::string row;
        for (int i = 0; i < query.numFields(); ++i) {
            if (i > 0) row += "|";
            row += query.getStringField(i, "NULL");
        }
        rows.push_back(row);
    }
    return rows;
}

LogCapture::LogCapture() {
    google::AddLogSink(this);
}

LogCapture::~LogCapture() {
    google::RemoveLogSink(this);
}

void LogCapture::send(google::LogSeverity severity, const char* fullFilename, const char*, int,
                      const google::LogMessageTime&, const char* message, size_t length) {
    std::lock_guard<std::mutex> guard(mutex_);
    lines_.push_back({severity, fullFilename, std::string(message, length)});
}

std::vector<LogCapture::Line> LogCapture::lines() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return lines_;
}

Child::Child(const std::string& program, const std::vector<std::string>& arguments) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    out_ = pipeEnds[0];
    if (pid_ < 0) throw std::runtime_error("fork failed");
}

Child::~Child() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
}

std::string Child::ReadLine(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (const size_t end = pending_.find('\n'); end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return {};
        pollfd ready{out_, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[256];
        const ssize_t got = read(out_, buffer, sizeof buffer);
        if (got <= 0) return {};
        pending_.append(buffer, static_cast<size_t>(got));
    }
}

std::string Child::ReadAll() {
    char buffer[4096];
    for (ssize_t got; (got = read(out_, buffer, sizeof buffer)) > 0;) {
        pending_.append(buffer, static_cast<size_t>(got));
    }
    return std::exchange(pending_, {});
}

void Child::Kill(int signal) {
    if (pid_ > 0) kill(pid_, signal);
}

int Child::Wait(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (pid_ > 0) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            return status;
        }
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

std::string RunToEnd(const std::string& program, const std::vector<std::string>& arguments) {
    Child child(program, arguments);
    std::string output = child.ReadAll();
    const int status = child.Wait(std::chrono::seconds(60));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    return output;
}

std::string ProbePath() {
    return TORVO_COMMON_PROBE;
}

}  // namespace test
