#include "tests/fakes/FakeServiceManager.h"

#include <atomic>
#include <utility>

namespace {
// Handles only count themselves: the fake has a single service.
template <typename Base>
class FakeHandle : public Base {
public:
    explicit FakeHandle(std::shared_ptr<std::atomic<int>> counter) : counter_(std::move(counter)) {
        ++*counter_;
    }
    ~FakeHandle() override { --*counter_; }

private:
    std::shared_ptr<std::atomic<int>> counter_;
};
}  // namespace

FakeServiceManager::FakeServiceManager()
    : openHandles_(std::make_shared<std::atomic<int>>(0)),
      startSequence_{raw_state::kStartPending, raw_state::kRunning},
      stopSequence_{raw_state::kStopPending, raw_state::kStopped} {}

template <typename Handle>
std::unique_ptr<Handle> FakeServiceManager::MakeHandle() {
    return std::make_unique<FakeHandle<Handle>>(openHandles_);
}

bool FakeServiceManager::Fail(uint32_t code) {
    SetLastError(code);
    return false;
}

void FakeServiceManager::SetInstalled(uint32_t rawState) {
    std::lock_guard<std::mutex> lock(mutex_);
    installed_ = true;
    state_ = rawState;
    pending_.clear();
}

void FakeServiceManager::SetNotInstalled() {
    std::lock_guard<std::mutex> lock(mutex_);
    installed_ = false;
    pending_.clear();
}

void FakeServiceManager::SetState(uint32_t rawState) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = rawState;
    pending_.clear();
}

void FakeServiceManager::SetOpenManagerFailure(std::optional<uint32_t> code) {
    std::lock_guard<std::mutex> lock(mutex_);
    openManagerFailure_ = code;
}

void FakeServiceManager::SetOpenServiceFailure(std::optional<uint32_t> code, int afterOpens) {
    std::lock_guard<std::mutex> lock(mutex_);
    openServiceFailure_ = code;
    opensBeforeFailure_ = afterOpens;
}

void FakeServiceManager::SetQueryFails(bool fails) {
    std::lock_guard<std::mutex> lock(mutex_);
    queryFails_ = fails;
}

void FakeServiceManager::SetStartRefused(uint32_t code) {
    std::lock_guard<std::mutex> lock(mutex_);
    startRefused_ = code;
}

void FakeServiceManager::SetCreateFailure(std::optional<uint32_t> code) {
    std::lock_guard<std::mutex> lock(mutex_);
    createFailure_ = code;
}

void FakeServiceManager::SetDeleteFailure(std::optional<uint32_t> code) {
    std::lock_guard<std::mutex> lock(mutex_);
    deleteFailure_ = code;
}

void FakeServiceManager::SetStartSequence(std::vector<uint32_t> states) {
    std::lock_guard<std::mutex> lock(mutex_);
    startSequence_ = std::move(states);
}

void FakeServiceManager::SetStopSequence(std::vector<uint32_t> states) {
    std::lock_guard<std::mutex> lock(mutex_);
    stopSequence_ = std::move(states);
}

FakeServiceManager::Calls FakeServiceManager::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

int FakeServiceManager::OpenHandles() const {
    return openHandles_->load();
}

bool FakeServiceManager::Installed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return installed_;
}

uint32_t FakeServiceManager::State() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

std::optional<ServiceDefinition> FakeServiceManager::LastCreated() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return created_;
}

std::string FakeServiceManager::Description() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return description_;
}

FailureActions FakeServiceManager::LastFailureActions() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failureActions_;
}

std::unique_ptr<ServiceManager::Manager> FakeServiceManager::OpenManager() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_.openManager;
    if (openManagerFailure_) {
        SetLastError(*openManagerFailure_);
        return nullptr;
    }
    return MakeHandle<Manager>();
}

std::unique_ptr<ServiceManager::Service> FakeServiceManager::OpenService(Manager&,
                                                                         const std::string&) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_.openService;
    if (openServiceFailure_) {
        if (opensBeforeFailure_ == 0) {
            SetLastError(*openServiceFailure_);
            return nullptr;
        }
        --opensBeforeFailure_;
    }
    if (!installed_) {
        SetLastError(service_error::kServiceDoesNotExist);
        return nullptr;
    }
    return MakeHandle<Service>();
}

std::unique_ptr<ServiceManager::Service> FakeServiceManager::CreateService(
    Manager&, const ServiceDefinition& definition) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_.create;
    if (createFailure_) {
        SetLastError(*createFailure_);
        return nullptr;
    }
    if (installed_) {
        SetLastError(service_error::kServiceExists);
        return nullptr;
    }
    installed_ = true;
    state_ = raw_state::kStopped;
    pending_.clear();
    created_ = definition;
    return MakeHandle<Service>();
}

bool FakeServiceManager::ChangeDescription(Service&, const std::string& description) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_.description;
    description_ = description;
    return true;
}

bool FakeServiceManager::ChangeFailureActions(Service&, const FailureActions& actions) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_.failureActions;
    failureActions_ = actions;
    return true;
}

bool FakeServiceManager::StartService(Service&) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_.start;
    if (startRefused_ != 0) return Fail(startRefused_);
    pending_.assign(startSequence_.begin(), startSequence_.end());
    return true;
}

bool FakeServiceManager::ControlStop(Service&) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_.stop;
    pending_.assign(stopSequence_.begin(), stopSequence_.end());
    return true;
}

bool FakeServiceManager::QueryServiceState(Service&, uint32_t& state) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_.query;
    if (queryFails_) return Fail(service_error::kAccessDenied);
    if (!pending_.empty()) {
        state_ = pending_.front();
        pending_.pop_front();
    }
    state = state_;
    return true;
}

bool FakeServiceManager::DeleteService(Service&) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_.remove;
    if (deleteFailure_) return Fail(*deleteFailure_);
    installed_ = false;
    pending_.clear();
    return true;
}
