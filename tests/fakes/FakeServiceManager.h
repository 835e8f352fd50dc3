#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "service/ServiceManager.h"

// A thread-safe service manager with one scripted service that counts its open handles.
class FakeServiceManager : public ServiceManager {
public:
    struct Calls {
        int create = 0, start = 0, stop = 0, remove = 0;
    };
    using Code = std::optional<uint32_t>;  // failure code (0: none); nullopt: works

    void SetInstalled(uint32_t rawState = raw_state::kStopped) { Reset(true, rawState); }
    void SetNotInstalled() { Reset(false, State()); }
    void SetState(uint32_t rawState) { Reset(Installed(), rawState); }
    void SetOpenManagerFailure(Code code) { Set(openManagerFailure_, code); }
    // Opening the service fails once `afterOpens` further opens have succeeded.
    void SetOpenServiceFailure(Code code, int afterOpens = 0) {
        Set(openServiceFailure_, code);
        Set(opensBeforeFailure_, afterOpens);
    }
    void SetStartRefused(uint32_t code) { Set(startRefused_, code); }  // 0: accepted
    void SetCreateFailure(Code code) { Set(createFailure_, code); }
    void SetDeleteFailure(Code code) { Set(deleteFailure_, code); }
    // The states queries report after an accepted start/stop, one per query; the last stays.
    void SetStartSequence(std::vector<uint32_t> states) { Set(startSequence_, states); }
    void SetStopSequence(std::vector<uint32_t> states) { Set(stopSequence_, states); }
    // What the server left as its reason when it ended.
    void SetExitReason(std::string reason) { Set(exitReason_, std::move(reason)); }

    Calls calls() const { return Get(calls_); }
    int OpenHandles() const { return openHandles_->load(); }
    bool Installed() const { return Get(installed_); }
    uint32_t State() const { return Get(state_); }

    std::unique_ptr<Manager> OpenManager() override {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (openManagerFailure_) return Fail<std::unique_ptr<Manager>>(*openManagerFailure_);
        return std::make_unique<Handle<Manager>>(openHandles_);
    }

    std::unique_ptr<Service> OpenService(Manager&, const std::string&) override {
        using Result = std::unique_ptr<Service>;
        const std::lock_guard<std::mutex> lock(mutex_);
        if (openServiceFailure_ && opensBeforeFailure_-- <= 0)
            return Fail<Result>(*openServiceFailure_);
        if (!installed_) return Fail<Result>(service_error::kServiceDoesNotExist);
        return std::make_unique<Handle<Service>>(openHandles_);
    }

    std::unique_ptr<Service> CreateService(Manager&, const ServiceDefinition&) override {
        using Result = std::unique_ptr<Service>;
        const auto lock = Count(calls_.create);
        if (createFailure_) return Fail<Result>(*createFailure_);
        if (installed_) return Fail<Result>(service_error::kServiceExists);
        installed_ = true;
        state_ = raw_state::kStopped;
        pending_.clear();
        return std::make_unique<Handle<Service>>(openHandles_);
    }
    // What an install writes is checked over the real backends.
    bool ChangeDescription(Service&, const std::string&) override { return true; }
    bool ChangeFailureActions(Service&, const FailureActions&) override { return true; }

    bool StartService(Service&) override {
        const auto lock = Count(calls_.start);
        if (startRefused_ != 0) return Fail(startRefused_);
        pending_.assign(startSequence_.begin(), startSequence_.end());
        return true;
    }

    bool ControlStop(Service&) override {
        const auto lock = Count(calls_.stop);
        pending_.assign(stopSequence_.begin(), stopSequence_.end());
        return true;
    }

    bool QueryServiceState(Service&, uint32_t& state) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!pending_.empty()) {
            state_ = pending_.front();
            pending_.pop_front();
        }
        state = state_;
        return true;
    }

    std::string ExitReason(Service&) override { return Get(exitReason_); }

    bool DeleteService(Service&) override {
        const auto lock = Count(calls_.remove);
        if (deleteFailure_) return Fail(*deleteFailure_);
        installed_ = false;
        pending_.clear();
        return true;
    }

private:
    template <typename T>
    T Get(const T& field) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return field;
    }
    template <typename T, typename V>
    void Set(T& field, V value) {
        std::lock_guard<std::mutex> lock(mutex_);
        field = std::move(value);
    }
    void Reset(bool installed, uint32_t rawState) {
        std::lock_guard<std::mutex> lock(mutex_);
        installed_ = installed;
        state_ = rawState;
        pending_.clear();
    }
    std::unique_lock<std::mutex> Count(int& counter) {
        std::unique_lock<std::mutex> lock(mutex_);
        ++counter;
        return lock;
    }
    // Handles only count themselves: the fake has a single service.
    template <typename Base>
    struct Handle : Base {
        explicit Handle(std::shared_ptr<std::atomic<int>> c) : counter(std::move(c)) { ++*counter; }
        ~Handle() override { --*counter; }
        std::shared_ptr<std::atomic<int>> counter;
    };
    template <typename Result = bool>  // false or nullptr, with the code recorded
    static Result Fail(uint32_t code) {
        SetLastError(code);
        return Result{};
    }

    mutable std::mutex mutex_;
    std::shared_ptr<std::atomic<int>> openHandles_ = std::make_shared<std::atomic<int>>(0);
    bool installed_ = false;
    std::string exitReason_;
    uint32_t state_ = raw_state::kStopped;
    std::deque<uint32_t> pending_;
    Code openManagerFailure_, openServiceFailure_, createFailure_, deleteFailure_;
    int opensBeforeFailure_ = 0;
    uint32_t startRefused_ = 0;
    std::vector<uint32_t> startSequence_{raw_state::kStartPending, raw_state::kRunning};
    std::vector<uint32_t> stopSequence_{raw_state::kStopPending, raw_state::kStopped};
    Calls calls_;
};
