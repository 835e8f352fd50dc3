#include "tasks/ThreadPriority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr int kLowestNice = 19;

// On Linux, setpriority with a thread id changes that one thread only.
bool SetOwnNice(int value) {
    return setpriority(PRIO_PROCESS, gettid(), value) == 0;
}

int OwnNice() {
    errno = 0;
    const int value = getpriority(PRIO_PROCESS, gettid());
    return errno == 0 ? value : 0;
}

}  // namespace

ThreadPriority LowerCurrentThreadPriority() {
    sched_param param{};
    param.sched_priority = 0;
    if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &param) == 0) {
        return ThreadPriority::Idle;
    }
    if (SetOwnNice(kLowestNice)) {
        return ThreadPriority::Nice19;
    }
    return ThreadPriority::Normal;
}

ThreadPriority CurrentThreadPriority() {
    int policy = 0;
    sched_param param{};
    if (pthread_getschedparam(pthread_self(), &policy, &param) == 0 && policy == SCHED_IDLE) {
        return ThreadPriority::Idle;
    }
    return OwnNice() >= kLowestNice ? ThreadPriority::Nice19 : ThreadPriority::Normal;
}
