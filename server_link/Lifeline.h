#pragma once

#include <mutex>
#include <utility>

// Lets a worker thread reach an object that another thread may destroy: the owner severs the
// line before it goes, and a worker only touches the object inside IfAlive. Severing waits for
// a touch in progress, so none can outlive the owner.
class Lifeline {
public:
    // Runs `touch` and returns true unless the line was severed.
    template <typename Touch>
    bool IfAlive(Touch&& touch) {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!alive_) return false;
        std::forward<Touch>(touch)();
        return true;
    }
    void Sever() {
        std::lock_guard<std::mutex> guard(mutex_);
        alive_ = false;
    }

private:
    std::mutex mutex_;
    bool alive_ = true;
};
