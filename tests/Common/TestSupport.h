#pragma once
#include <glog/logging.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TestDb.h"

namespace test {

// Every glog line written on the test's thread while it lives, as "<I|W|E|F> <file>: <text>".
class LogCapture : public google::LogSink {
public:
    LogCapture() { google::AddLogSink(this); }
    ~LogCapture() override { google::RemoveLogSink(this); }
    void send(google::LogSeverity severity, const char* file, const char*, int,
              const google::LogMessageTime&, const char* message, size_t length) override {
        lines.push_back(std::string(1, "IWEF"[severity]) + " " + file + ": " +
                        std::string(message, length));
    }
    std::vector<std::string> lines;
};

// The probe program started with `arguments`; Close waits for it to end.
class Probe {
public:
    explicit Probe(const std::string& arguments)
        : pipe_(popen(("exec '" TORVO_COMMON_PROBE "' " + arguments).c_str(), "r")) {}
    ~Probe() { Close(); }
    int Close() { return pipe_ != nullptr ? pclose(std::exchange(pipe_, nullptr)) : -1; }  // 0: ok

private:
    FILE* pipe_;
};

}  // namespace test
