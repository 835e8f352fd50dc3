#pragma once
// Guards for the process-wide settings tests change: each restores them on every path out.
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <optional>
#include <string>
#include <utility>

namespace test {

// An environment variable set (or, with nullopt, removed) for the guard's life.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
        if (const char* old = getenv(name_.c_str())) previous_ = old;
        Apply(value);
    }
    ~ScopedEnv() { Apply(previous_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Apply(const std::optional<std::string>& value) {
        value ? setenv(name_.c_str(), value->c_str(), 1) : unsetenv(name_.c_str());
    }
    std::string name_;
    std::optional<std::string> previous_;
};

// TZ set for the guard's life; the C library reads it again on the way in and on the way out.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const std::string& zone) : zone_("TZ", zone) { tzset(); }

private:
    struct Reread {
        ~Reread() { tzset(); }
    } reread_;  // destroyed last: after TZ is put back
    ScopedEnv zone_;
};

class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : old_(umask(mask)) {}
    ~ScopedUmask() { umask(old_); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    mode_t old_;
};

// A process-wide override with a setter (module directory, message sink, service manager...):
// set for the guard's life, then set back to `restore` (the setter's "no override" value).
template <typename Value, typename Setter>
class ScopedOverride {
public:
    ScopedOverride(Setter set, Value value, Value restore)
        : set_(set), restore_(std::move(restore)) {
        set_(std::move(value));
    }
    ~ScopedOverride() { set_(restore_); }
    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

private:
    Setter set_;
    Value restore_;
};

}  // namespace test
