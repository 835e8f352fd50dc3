#pragma once

#include <glog/logging.h>
#include <sys/types.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "Common/CppSQLite3DB.h"

namespace test {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);

// Creates the database file with the tables of Common/schema/main.sql.
void CreateSchemaDb(const std::string& path);
// Rows of a query as "a|b|c" lines (NULL as "NULL"), read with a plain connection.
std::vector<std::string> Rows(const std::string& dbPath, const std::string& sql);

// Collects every glog line written while it lives.
class LogCapture : public google::LogSink {
public:
    struct Line {
        google::LogSeverity severity;
        std::string file;  // as the logging code names it, e.g. "Common/SystemConf.cpp"
        std::string text;
        bool operator==(const Line&) const = default;
    };

    LogCapture();
    ~LogCapture() override;

    void send(google::LogSeverity severity, const char* fullFilename, const char* baseFilename,
              int line, const google::LogMessageTime& time, const char* message,
              size_t length) override;

    std::vector<Line> lines() const;

private:
    mutable std::mutex mutex_;
    std::vector<Line> lines_;
};

// A child process running the probe program with the given arguments; its standard output is
// read through a pipe. Killed and reaped on destruction if still running.
class Child {
public:
    Child(const std::string& program, const std::vector<std::string>& arguments);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // One line of output (without the newline); empty on end of output or time-out.
    std::string ReadLine(std::chrono::milliseconds limit);
    // Everything until the child closes its output.
    std::string ReadAll();
    void Kill(int signal);
    // Exit status as from waitpid (WIFEXITED...); -1 on time-out.
    int Wait(std::chrono::milliseconds limit);

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string pending_;
};

// Runs the probe with the arguments and returns its output; fails the test on a bad exit.
std::string RunToEnd(const std::string& program, const std::vector<std::string>& arguments);

std::string ProbePath();

}  // namespace test
