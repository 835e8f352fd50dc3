#pragma once
// Lowering the calling thread to the idle class, so slow background work never competes with
// the window thread.

enum class ThreadPriority {
    Normal,  // nothing could be lowered
    Idle,    // SCHED_IDLE
    Nice19,  // the fallback: the thread's nice value raised to 19
};

// Puts the calling thread into SCHED_IDLE, or, where that is refused, gives it nice 19.
// Returns what was applied.
ThreadPriority LowerCurrentThreadPriority();

// What the calling thread runs at now (for checks and logging).
ThreadPriority CurrentThreadPriority();
