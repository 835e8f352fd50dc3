#pragma once

// Base of the process-wide objects (Global, SystemConf, UserConf, Version): one instance, made
// on first use (thread-safe) and kept until the process ends, so no exit-time destructor can
// run while another thread still uses it. A derived class keeps its constructor private and
// befriends Singleton<Derived>.
template <class T>
class Singleton {
public:
    static T& instance() {
        static T* const object = new T;
        return *object;
    }

    virtual ~Singleton() = default;
    Singleton(const Singleton&) = delete;
    Singleton& operator=(const Singleton&) = delete;

protected:
    Singleton() = default;
};
