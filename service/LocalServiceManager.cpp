#include "service/LocalServiceManager.h"

#include <glog/logging.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <utility>

#include "Common/PrivateFiles.h"
#include "service/DatabaseFiles.h"
#include "service/DetachedLaunch.h"
#include "service/LocalServiceFiles.h"
#include "service/UniqueFd.h"

extern char** environ;

namespace {

using local_service::Paths;
using local_service::Registration;

class LocalManager : public ServiceManager::Manager {};

class LocalService : public ServiceManager::Service {
public:
    LocalService(std::string name, std::string root, std::chrono::milliseconds lockLimit)
        : name(std::move(name)),
          root(std::move(root)),
          paths(this->root + "/" + this->name),
          lockLimit(lockLimit) {}
    std::string name;
    std::string root;
    Paths paths;
    std::chrono::milliseconds lockLimit;
};

LocalService& AsLocal(ServiceManager::Service& service) {
    return static_cast<LocalService&>(service);
}

bool ValidServiceName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

std::string FailureActionsText(const FailureActions& actions) {
    std::string text;
    for (const FailureActions::Action& action : actions.actions) {
        if (!text.empty()) text += ' ';
        text += std::to_string(static_cast<uint32_t>(action.type)) + ":" +
                std::to_string(action.delayMs);
    }
    return text;
}

// The console's environment, with the service's folder and the descriptors it hands over (the
// locked pid file, the state and failure files) for the server.
std::vector<std::string> ServerEnvironment(const Paths& paths, int lockFd, int stateFd,
                                           int failureFd) {
    const std::pair<const char*, std::string> added[] = {
        {local_service::kServiceDirVariable, paths.dir},
        {local_service::kLockFdVariable, std::to_string(lockFd)},
        {local_service::kStateFdVariable, std::to_string(stateFd)},
        {local_service::kFailureFdVariable, std::to_string(failureFd)},
    };
    std::vector<std::string> environment;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('='));
        if (std::none_of(std::begin(added), std::end(added),
                         [&](const auto& variable) { return name == variable.first; })) {
            environment.push_back(text);
        }
    }
    for (const auto& [name, value] : added) environment.push_back(std::string(name) + "=" + value);
    return environment;
}

// The program of the service's command line, when it has one.
std::optional<std::string> ServerProgram(const Paths& paths) {
    const auto registration = local_service::ReadRegistration(paths.registration);
    if (!registration) return std::nullopt;
    const auto commandLine = registration->find("command_line");
    if (commandLine == registration->end()) return std::nullopt;
    const auto words = SplitCommandLine(commandLine->second);
    if (words.empty()) return std::nullopt;
    return words.front();
}

// Root runs the server as the account main.db belongs to, when it has one of its own.
std::optional<ServerAccount> AccountForServer(const std::string& program) {
    auto account = DatabaseOwnerAccount(program);
    if (account) {
        LOG(INFO) << "the server runs as " << account->name << ", the owner of main.db";
    } else if (::geteuid() == 0) {
        LOG(INFO) << "the server runs as root: main.db beside " << program
                  << " is root's (or missing), no account of its own";
    }
    return account;
}

bool Fail(uint32_t code, std::string text = {}) {
    ServiceManager::SetLastError(code, std::move(text));
    return false;
}

// Another account's folder, or one open to others, may hold planted files: nothing in it is
// used.
bool TrustedFolders(const LocalService& service, bool make = false) {
    const std::string problem = local_service::CheckFolders(service.root, service.paths, make);
    if (problem.empty()) return true;
    LOG(ERROR) << "local service refused: " << problem;
    return Fail(service_error::kAccessDenied, problem);
}

// The control lock of a trusted service folder, waited for within the operation's limit.
class ControlLock {
public:
    explicit ControlLock(const LocalService& service)
        : trusted_(TrustedFolders(service)),
          lock_(trusted_ ? service.paths.controlLock : std::string(),
                trusted_ ? service.lockLimit : std::chrono::milliseconds(0)) {
        if (!trusted_) return;
        if (lock_.error() == ETIMEDOUT) {
            LOG(ERROR) << "local service: " << service.paths.controlLock << " held by another "
                       << "console for " << service.lockLimit.count() << " ms";
            Fail(service_error::kIoFailure, "another console is changing the service");
        } else if (!lock_.locked()) {
            Fail(service_error::FromErrno(lock_.error()),
                 service.paths.controlLock + ": " + std::strerror(lock_.error()));
        }
    }
    bool locked() const { return trusted_ && lock_.locked(); }

private:
    bool trusted_;
    ScopedFileLock lock_;
};

// Runs a change of the registration under the service's control lock.
bool ChangeRegistration(LocalService& service, const std::function<void(Registration&)>& change) {
    ControlLock control(service);
    if (!control.locked()) return false;
    auto registration = local_service::ReadRegistration(service.paths.registration);
    if (!registration) return Fail(service_error::kServiceDoesNotExist);
    change(*registration);
    if (!local_service::WriteRegistration(service.paths.registration, *registration)) {
        return Fail(service_error::FromErrno(errno));
    }
    return true;
}

}  // namespace

LocalServiceManager::LocalServiceManager() : LocalServiceManager(local_service::DefaultRoot()) {}

LocalServiceManager::LocalServiceManager(std::string root) : root_(std::move(root)) {}

void LocalServiceManager::SetLockLimit(std::chrono::milliseconds limit) {
    lockLimit_ = limit;
}

std::unique_ptr<ServiceManager::Manager> LocalServiceManager::OpenManager() {
    return std::make_unique<LocalManager>();
}

std::unique_ptr<ServiceManager::Service> LocalServiceManager::OpenService(Manager&,
                                                                          const std::string& name) {
    if (!ValidServiceName(name)) {
        SetLastError(service_error::kServiceDoesNotExist);
        return nullptr;
    }
    auto service = std::make_unique<LocalService>(name, root_, lockLimit_);
    struct stat info;
    if (::lstat(service->paths.dir.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
        SetLastError(service_error::kServiceDoesNotExist);
        return nullptr;
    }
    if (!TrustedFolders(*service)) return nullptr;
    if (::lstat(service->paths.registration.c_str(), &info) != 0) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? service_error::kServiceDoesNotExist
                                                         : service_error::FromErrno(errno));
        return nullptr;
    }
    return service;
}

std::unique_ptr<ServiceManager::Service> LocalServiceManager::CreateService(
    Manager&, const ServiceDefinition& definition) {
    if (!ValidServiceName(definition.name)) {
        SetLastError(service_error::kIoFailure);
        return nullptr;
    }
    auto service = std::make_unique<LocalService>(definition.name, root_, lockLimit_);
    if (!TrustedFolders(*service, true)) return nullptr;
    ControlLock control(*service);
    if (!control.locked()) return nullptr;
    struct stat info;
    if (::lstat(service->paths.registration.c_str(), &info) == 0) {
        SetLastError(service_error::kServiceExists);
        return nullptr;
    }
    const Registration registration{
        {"name", definition.name},
        {"display_name", definition.displayName},
        {"command_line", definition.commandLine},
        {"start_type", definition.autoStart ? "auto" : "demand"},
    };
    if (!local_service::WriteRegistration(service->paths.registration, registration)) {
        SetLastError(service_error::FromErrno(errno));
        return nullptr;
    }
    return service;
}

bool LocalServiceManager::ChangeDescription(Service& service, const std::string& description) {
    return ChangeRegistration(AsLocal(service),
                              [&](Registration& r) { r["description"] = description; });
}

bool LocalServiceManager::ChangeFailureActions(Service& service, const FailureActions& actions) {
    // Kept for the record: without a supervisor nobody restarts a failed server here.
    return ChangeRegistration(AsLocal(service), [&](Registration& r) {
        r["failure_reset_sec"] = std::to_string(actions.resetPeriodSec);
        r["failure_actions"] = FailureActionsText(actions);
    });
}

bool LocalServiceManager::StartService(Service& service) {
    const Paths& paths = AsLocal(service).paths;
    ControlLock control(AsLocal(service));
    if (!control.locked()) return false;
    const auto registration = local_service::ReadRegistration(paths.registration);
    if (!registration) return Fail(service_error::kServiceDoesNotExist);
    if (local_service::ServerAlive(paths)) {
        return Fail(service_error::kAlreadyRunning);
    }
    const auto commandLine = registration->find("command_line");
    DetachedLaunch launch;
    if (commandLine != registration->end()) launch.argv = SplitCommandLine(commandLine->second);
    if (launch.argv.empty()) return Fail(service_error::kStartFailed, "no command line");

    if (!local_service::WriteStateWord(paths, local_service::kStarting)) {
        return Fail(service_error::FromErrno(errno));
    }
    // The pid file is emptied first, so that no old pid is ever taken for the new server's.
    // The server gets its files open: it may run as an account that cannot open them. What
    // the new server leaves behind is told apart from what an earlier one did.
    UniqueFd lock = MoveHigh(UniqueFd(OpenRegularFile(paths.pidFile, O_RDWR | O_CREAT)));
    UniqueFd output =
        MoveHigh(UniqueFd(OpenRegularFile(paths.logFile, O_WRONLY | O_CREAT | O_APPEND)));
    UniqueFd state = MoveHigh(UniqueFd(OpenRegularFile(paths.stateFile, O_WRONLY)));
    UniqueFd failure =
        MoveHigh(UniqueFd(OpenRegularFile(paths.failureFile, O_WRONLY | O_CREAT | O_TRUNC)));
    if (!lock.valid() || !output.valid() || !state.valid() || !failure.valid() ||
        ::ftruncate(lock.get(), 0) != 0) {
        return Fail(service_error::FromErrno(errno), std::strerror(errno));
    }
    PrepareDatabaseFiles(launch.argv[0]);
    const std::string marker = std::string(local_service::kLaunchMarker) + "\n";
    if (::write(output.get(), marker.data(), marker.size()) < 0) {
        LOG(WARNING) << "cannot write to " << paths.logFile << ": " << std::strerror(errno);
    }
    launch.environment = ServerEnvironment(paths, lock.get(), state.get(), failure.get());
    launch.lockFd = lock.get();
    launch.outputFd = output.get();
    launch.passedFds = {state.get(), failure.get()};
    launch.account = AccountForServer(launch.argv[0]);
    if (const int error = LaunchDetached(launch); error != 0) {
        const std::string why = "cannot start " + launch.argv[0] + ": " + std::strerror(error);
        LOG(ERROR) << why;
        // Nothing runs: the state must not keep saying "starting".
        local_service::WriteStateWord(paths, local_service::kStopped);
        return Fail(service_error::kStartFailed, why);
    }
    return true;
}

bool LocalServiceManager::ControlStop(Service& service) {
    const Paths& paths = AsLocal(service).paths;
    ControlLock control(AsLocal(service));
    if (!control.locked()) return false;
    // Only the process that holds the lock is ever signalled: the pid written in the file may
    // be stale or name anyone.
    if (const int error = local_service::SignalLockHolder(paths, SIGTERM); error != 0) {
        return Fail(error == EPERM ? service_error::kAccessDenied
                                   : service_error::kServiceNotActive);
    }
    // Reads as stop pending at once, also with a server that does not say so itself.
    local_service::WriteStateWord(paths, local_service::kStopping);
    return true;
}

bool LocalServiceManager::QueryServiceState(Service& service, uint32_t& state) {
    const Paths& paths = AsLocal(service).paths;
    if (!TrustedFolders(AsLocal(service))) return false;
    struct stat info;
    if (::lstat(paths.registration.c_str(), &info) != 0) {
        return Fail(service_error::kServiceDoesNotExist);
    }
    state = local_service::ReadRawState(paths);
    // A journal deleted under a running server (SQLite's command line does that after a write)
    // is made again for it: the server may not create files in its folder.
    if (state == raw_state::kRunning) {
        if (const auto program = ServerProgram(paths)) PrepareDatabaseFiles(*program);
    }
    return true;
}

std::string LocalServiceManager::ExitReason(Service& service) {
    const Paths& paths = AsLocal(service).paths;
    ControlLock control(AsLocal(service));
    if (!control.locked()) return {};
    // A server that ended before it could say so leaves "starting" behind.
    if (!local_service::ServerAlive(paths) &&
        local_service::ReadStateWord(paths) != local_service::kStopped) {
        local_service::WriteStateWord(paths, local_service::kStopped);
    }
    return local_service::ReadExitReason(paths);
}

bool LocalServiceManager::DeleteService(Service& service) {
    const Paths& paths = AsLocal(service).paths;
    ControlLock control(AsLocal(service));
    if (!control.locked()) return false;
    if (local_service::ServerAlive(paths)) {
        return Fail(service_error::kAlreadyRunning);
    }
    if (::unlink(paths.registration.c_str()) != 0) {
        return Fail(errno == ENOENT ? service_error::kServiceDoesNotExist
                                    : service_error::FromErrno(errno));
    }
    for (const std::string* file : {&paths.stateFile, &paths.pidFile, &paths.logFile,
                                    &paths.failureFile, &paths.controlLock}) {
        ::unlink(file->c_str());
    }
    ::rmdir(paths.dir.c_str());  // stays when someone left other files in it
    return true;
}
