#include "ctl/Password.h"

#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <iterator>

#include "ctl/Console.h"

namespace {

termios g_saved{};  // the terminal as it was, for the signal handler

// An interrupt while echo is off gives the terminal back before the program ends.
void RestoreAndDie(int signal) {
    tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Echo off for the life of the guard (restored on every path: a refusal, an interrupt).
class NoEcho {
public:
    NoEcho() : active_(tcgetattr(STDIN_FILENO, &g_saved) == 0) {
        if (!active_) return;
        for (size_t i = 0; i < std::size(kSignals); ++i)
            previous_[i] = std::signal(kSignals[i], RestoreAndDie);
        termios quiet = g_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    ~NoEcho() {
        if (!active_) return;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved);
        for (size_t i = 0; i < std::size(kSignals); ++i) std::signal(kSignals[i], previous_[i]);
    }
    NoEcho(const NoEcho&) = delete;
    NoEcho& operator=(const NoEcho&) = delete;

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    void (*previous_[std::size(kSignals)])(int) = {};
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
