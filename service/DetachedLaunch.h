#pragma once

#include <optional>
#include <string>
#include <vector>

#include "service/ServerAccount.h"

// Splits a command line into words at blanks; double quotes keep blanks inside a word.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Starts a program detached from the caller (own session, not the caller's child, so it
// outlives the console and leaves no zombie). Before the program runs, the new process
// takes an exclusive flock on lockFd and writes its pid there; lockFd stays open across the
// exec, so the lock lives exactly as long as the program (or whatever keeps that
// descriptor). Standard input is /dev/null, standard output and error go to outputFd; the
// descriptors in passedFds stay open in the program too. With an account, the program runs as
// that account (BecomeAccount), after the lock was taken and the pid written.
struct DetachedLaunch {
    std::vector<std::string> argv;         // argv[0] is the program's path
    std::vector<std::string> environment;  // complete, "NAME=value"
    int lockFd = -1;
    int outputFd = -1;
    std::vector<int> passedFds;
    std::optional<ServerAccount> account;
};

// 0 once the program has been executed; otherwise the errno of what failed (fork, lock,
// the change of account, exec).
int LaunchDetached(const DetachedLaunch& launch);
