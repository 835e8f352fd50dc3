#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "service/ServiceManager.h"

// A service manager with one scripted service, for tests of the service logic and of
// anything that asks for the service state. Thread-safe; every handle it gives out is
// counted so tests can check that all were closed.
class FakeServiceManager : public ServiceManager {
public:
    struct Calls {
        int openManager = 0;
        int openService = 0;
        int create = 0;
        int description = 0;
        int failureActions = 0;
        int start = 0;
        int stop = 0;
        int query = 0;
        int remove = 0;
    };

    FakeServiceManager();

    // --- script ---
    // Installs the service in the given raw state (raw_state::..., or any number).
    void SetInstalled(uint32_t rawState = raw_state::kStopped);
    void SetNotInstalled();
    void SetState(uint32_t rawState);
    // Opening the manager fails with this code (0: fails without a code); nullopt: it opens.
    void SetOpenManagerFailure(std::optional<uint32_t> code);
    // Opening the service fails with this code (0: without a code) once `afterOpens`
    // further opens have succeeded; nullopt: it opens (when installed).
    void SetOpenServiceFailure(std::optional<uint32_t> code, int afterOpens = 0);
    void SetQueryFails(bool fails);
    // A start request is refused with this code (0: accepted).
    void SetStartRefused(uint32_t code);
    void SetCreateFailure(std::optional<uint32_t> code);
    void SetDeleteFailure(std::optional<uint32_t> code);
    // The states queries report after an accepted start/stop request, one per query; the
    // last one stays. Defaults: start pending then running; stop pending then stopped.
    void SetStartSequence(std::vector<uint32_t> states);
    void SetStopSequence(std::vector<uint32_t> states);

    // --- observations ---
    Calls calls() const;
    int OpenHandles() const;
    bool Installed() const;
    uint32_t State() const;
    std::optional<ServiceDefinition> LastCreated() const;
    std::string Description() const;
    FailureActions LastFailureActions() const;

    // --- ServiceManager ---
    std::unique_ptr<Manager> OpenManager() override;
    std::unique_ptr<Service> OpenService(Manager& manager, const std::string& name) override;
    std::unique_ptr<Service> CreateService(Manager& manager,
                                           const ServiceDefinition& definition) override;
    bool ChangeDescription(Service& service, const std::string& description) override;
    bool ChangeFailureActions(Service& service, const FailureActions& actions) override;
    bool StartService(Service& service) override;
    bool ControlStop(Service& service) override;
    bool QueryServiceState(Service& service, uint32_t& state) override;
    bool DeleteService(Service& service) override;

private:
    template <typename Handle>
    std::unique_ptr<Handle> MakeHandle();
    bool Fail(uint32_t code);

    mutable std::mutex mutex_;
    std::shared_ptr<std::atomic<int>> openHandles_;
    bool installed_ = false;
    uint32_t state_ = raw_state::kStopped;
    std::deque<uint32_t> pending_;
    std::optional<uint32_t> openManagerFailure_;
    std::optional<uint32_t> openServiceFailure_;
    int opensBeforeFailure_ = 0;
    bool queryFails_ = false;
    uint32_t startRefused_ = 0;
    std::optional<uint32_t> createFailure_;
    std::optional<uint32_t> deleteFailure_;
    std::vector<uint32_t> startSequence_;
    std::vector<uint32_t> stopSequence_;
    Calls calls_;
    std::optional<ServiceDefinition> created_;
    std::string description_;
    FailureActions failureActions_;
};
