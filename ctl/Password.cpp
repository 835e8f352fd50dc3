#include "ctl/Password.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "ctl/Console.h"

namespace {

// Echo off for the life of the guard (restored on every path, also after a refusal).
class NoEcho {
public:
    NoEcho() : active_(tcgetattr(STDIN_FILENO, &saved_) == 0) {
        if (!active_) return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    ~NoEcho() {
        if (active_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
    }
    NoEcho(const NoEcho&) = delete;
    NoEcho& operator=(const NoEcho&) = delete;

private:
    termios saved_{};
    bool active_;
};

std::string ReadLine() {
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::string Ask(res::Ctl prompt) {
    std::cerr << Text(prompt) << std::flush;
    const NoEcho quiet;
    return ReadLine();
}

}  // namespace

TypedPassword ReadPassword(bool fromStdin) {
    if (fromStdin) {
        std::string line = ReadLine();
        return {line, line};
    }
    if (!isatty(STDIN_FILENO)) Refuse(res::IDS_CTL_PASSWORD_STDIN);
    TypedPassword typed;
    typed.password = Ask(res::Ctl::AccountPassword);
    typed.repeat = Ask(res::Ctl::AccountRepeatPassword);
    return typed;
}
