#include "service/SystemdServiceManager.h"

#include <fcntl.h>
#include <glog/logging.h>
#include <sys/stat.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Common/DatabaseLock.h"
#include "Common/PrivateFiles.h"
#include "service/DatabaseFiles.h"
#include "service/DetachedLaunch.h"
#include "service/LocalServiceFiles.h"
#include "service/UniqueFd.h"

namespace {

constexpr const char* kDestination = "org.freedesktop.systemd1";
constexpr const char* kManagerPath = "/org/freedesktop/systemd1";
constexpr const char* kManagerInterface = "org.freedesktop.systemd1.Manager";
constexpr const char* kUnitInterface = "org.freedesktop.systemd1.Unit";
constexpr const char* kServiceInterface = "org.freedesktop.systemd1.Service";

constexpr uint64_t kMethodCallTimeoutUs = 10 * 1000 * 1000;

constexpr const char* kDescriptionDropIn = "10-description.conf";
constexpr const char* kFailureActionsDropIn = "20-failure-actions.conf";

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using BusPtr = std::unique_ptr<sd_bus, BusCloser>;
// A further reference that leaves the connection open for its other holders.
struct BusUnref {
    void operator()(sd_bus* bus) const { sd_bus_unref(bus); }
};
using BusRef = std::unique_ptr<sd_bus, BusUnref>;

struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;

// sd_bus_error that frees itself.
class BusError {
public:
    BusError() = default;
    ~BusError() { sd_bus_error_free(&error_); }
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    sd_bus_error* get() { return &error_; }
    std::string_view name() const { return error_.name ? error_.name : ""; }
    const char* message() const { return error_.message ? error_.message : ""; }

private:
    sd_bus_error error_ = SD_BUS_ERROR_NULL;
};

class SystemdManager : public ServiceManager::Manager {
public:
    explicit SystemdManager(std::shared_ptr<sd_bus> bus) : bus(std::move(bus)) {}
    std::shared_ptr<sd_bus> bus;
};

class SystemdUnit : public ServiceManager::Service {
public:
    SystemdUnit(sd_bus* bus, std::string unitName, std::string objectPath)
        : bus(sd_bus_ref(bus)), unitName(std::move(unitName)), objectPath(std::move(objectPath)) {}
    BusRef bus;
    std::string unitName;
    std::string objectPath;
};

SystemdManager& AsManager(ServiceManager::Manager& manager) {
    return static_cast<SystemdManager&>(manager);
}
SystemdUnit& AsUnit(ServiceManager::Service& service) {
    return static_cast<SystemdUnit&>(service);
}

bool Fail(uint32_t code) {
    ServiceManager::SetLastError(code);
    return false;
}

bool FailFromBus(const char* what, const BusError& error, int result) {
    LOG(WARNING) << "systemd " << what << " failed: "
                 << (error.name().empty() ? std::string("errno ") + std::to_string(-result)
                                          : std::string(error.message()));
    if (!error.name().empty()) {
        ServiceManager::SetLastError(systemd_service::ErrorFromBusError(error.name()),
                                     error.message());
        return false;
    }
    return Fail(result == -EACCES || result == -EPERM ? service_error::kAccessDenied
                                                      : service_error::kManagerUnavailable);
}

std::string UnitName(const std::string& serviceName) {
    return serviceName + ".service";
}

bool ValidServiceName(const std::string& name) {
    return !name.empty() && name.find_first_of("/ \t\n") == std::string::npos;
}

// Calls a method of systemd's manager object; hands the reply back when asked for it.
template <typename... Args>
bool CallManager(sd_bus* bus, const char* method, MessagePtr* reply, const char* signature,
                 Args... args) {
    BusError error;
    sd_bus_message* raw = nullptr;
    const int result = sd_bus_call_method(bus, kDestination, kManagerPath, kManagerInterface,
                                          method, error.get(), &raw, signature, args...);
    MessagePtr message(raw);
    if (result < 0) return FailFromBus(method, error, result);
    if (reply) *reply = std::move(message);
    return true;
}

bool Reload(sd_bus* bus) {
    return CallManager(bus, "Reload", nullptr, "");
}

bool ReadUnitProperty(sd_bus* bus, const std::string& path, const char* property,
                      std::string& value, const char* interface = kUnitInterface) {
    BusError error;
    char* text = nullptr;
    const int result = sd_bus_get_property_string(bus, kDestination, path.c_str(), interface,
                                                  property, error.get(), &text);
    if (result < 0) return FailFromBus(property, error, result);
    value = text;
    std::free(text);
    return true;
}

// LoadUnit gives an object even for a unit without a file; its LoadState tells.
std::unique_ptr<SystemdUnit> LoadUnit(sd_bus* bus, const std::string& unitName) {
    MessagePtr reply;
    if (!CallManager(bus, "LoadUnit", &reply, "s", unitName.c_str())) return nullptr;
    const char* path = nullptr;
    if (sd_bus_message_read(reply.get(), "o", &path) < 0 || !path) {
        Fail(service_error::kIoFailure);
        return nullptr;
    }
    auto unit = std::make_unique<SystemdUnit>(bus, unitName, path);
    std::string loadState;
    if (!ReadUnitProperty(bus, unit->objectPath, "LoadState", loadState)) return nullptr;
    if (loadState == "not-found") {
        Fail(service_error::kServiceDoesNotExist);
        return nullptr;
    }
    return unit;
}

// Texts in unit files: one line, with the specifier and variable characters doubled.
std::string EscapeValue(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\n' || c == '\r') c = ' ';
        if (c == '%') escaped += '%';
        escaped += c;
    }
    return escaped;
}

// `variables`: an argument of a command line, where "$" would expand a variable (systemd takes
// the program path and other settings' paths as written).
std::string QuoteWord(const std::string& word, bool variables) {
    std::string quoted = "\"";
    for (char c : EscapeValue(word)) {
        if (c == '"' || c == '\\') quoted += '\\';
        if (c == '$' && variables) quoted += '$';
        quoted += c;
    }
    return quoted + "\"";
}

// The same for every install: the kernel, devices, clock, host name and other processes out
// of reach, no new namespaces, set-id files or real-time scheduling, and bounds that keep a
// runaway server from taking the machine down (2 GiB holds 1024 clients' tunnel buffers at
// their largest; the server runs a handful of threads). AF_NETLINK: the control channel asks
// the kernel's socket table who is connecting. @resources stays allowed: the server raises
// its descriptor limit; a refused system call fails with EPERM instead of killing it.
constexpr char kConfinement[] =
    "PrivateTmp=yes\nPrivateDevices=yes\nProtectKernelTunables=yes\nProtectKernelModules=yes\n"
    "ProtectKernelLogs=yes\nProtectControlGroups=yes\nProtectClock=yes\nProtectHostname=yes\n"
    "ProtectProc=invisible\nProcSubset=pid\nRestrictNamespaces=yes\nRestrictSUIDSGID=yes\n"
    "RestrictRealtime=yes\nLockPersonality=yes\nMemoryDenyWriteExecute=yes\nRemoveIPC=yes\n"
    "UMask=0077\nRestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX AF_NETLINK\n"
    "CapabilityBoundingSet=CAP_NET_BIND_SERVICE\nSystemCallFilter=@system-service\n"
    "SystemCallFilter=~@privileged\nSystemCallErrorNumber=EPERM\n"
    "SystemCallArchitectures=native\nMemoryMax=2G\nTasksMax=64\nLimitNOFILE=65536\n";

// The folders that ProtectHome= hides (a bind mount cannot bring one of their subfolders back).
bool UnderHomeFolders(const std::filesystem::path& folder) {
    for (const char* home : {"/home", "/root", "/run/user"}) {
        const std::filesystem::path base(home);
        if (std::mismatch(folder.begin(), folder.end(), base.begin(), base.end()).second ==
            base.end()) {
            return true;
        }
    }
    return false;
}

// What a proxy needs and no more. The whole system is read-only to the server, the install
// folder with everything an upgrade may put there or take away included (the folder's own
// mount stays when dpkg replaces the files in it); it writes only main.db, the journal SQLite
// keeps beside it and their lock, which exist before a start (see PrepareDatabaseFiles; "-":
// one missing never blocks a start). Where main.db belongs to an account of its own (the
// package's), the server runs as that account, with binding a port below 1024 as its one
// capability.
std::string Hardening(const std::vector<std::string>& commandWords) {
    std::string text = "NoNewPrivileges=yes\n";
    const std::filesystem::path program =
        std::filesystem::path(commandWords.empty() ? "" : commandWords.front()).lexically_normal();
    const std::filesystem::path folder = program.parent_path();
    if (program.is_absolute()) {
        text += "ProtectSystem=strict\n";
        for (const char* name : {kDatabaseFileName, kJournalFileName, kDatabaseLockName}) {
            text += "ReadWritePaths=" + QuoteWord("-" + (folder / name).string(), false) + "\n";
        }
        struct stat database {};
        if (::stat((folder / kDatabaseFileName).c_str(), &database) == 0 && database.st_uid != 0) {
            text += "User=" + std::to_string(database.st_uid) +
                    "\nGroup=" + std::to_string(database.st_gid) +
                    "\nAmbientCapabilities=CAP_NET_BIND_SERVICE\n";
        }
    }
    if (!program.is_absolute() || !UnderHomeFolders(folder)) {
        text += "ProtectHome=yes\n";
    }
    return text + kConfinement;
}

// Unit files and drop-ins hold no secret; systemd warns about ones others cannot read.
constexpr mode_t kUnitFileMode = 0644;

// The ExecStart line of a unit text, empty when it has none.
std::string ExecStartLine(const std::string& text) {
    const size_t at = text.find("\nExecStart=");
    if (at == std::string::npos) return "";
    const size_t end = text.find('\n', at + 1);
    return text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
}

}  // namespace

namespace systemd_service {

uint32_t RawStateFromUnit(std::string_view activeState, std::string_view subState) {
    if (activeState == "active" || activeState == "reloading" || activeState == "refreshing") {
        return raw_state::kRunning;
    }
    if (activeState == "activating") {
        return subState == "auto-restart" ? raw_state::kStopped : raw_state::kStartPending;
    }
    if (activeState == "deactivating") return raw_state::kStopPending;
    if (activeState == "inactive" || activeState == "failed") return raw_state::kStopped;
    return 0;
}

uint32_t ErrorFromBusError(std::string_view name) {
    if (name == "org.freedesktop.systemd1.NoSuchUnit" ||
        name == "org.freedesktop.DBus.Error.FileNotFound") {
        return service_error::kServiceDoesNotExist;
    }
    if (name == "org.freedesktop.DBus.Error.AccessDenied" ||
        name == "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired" ||
        name == "org.freedesktop.systemd1.UnitMasked") {
        return service_error::kAccessDenied;
    }
    if (name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
        name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
        name == "org.freedesktop.DBus.Error.NoReply" ||
        name == "org.freedesktop.DBus.Error.Disconnected") {
        return service_error::kManagerUnavailable;
    }
    return service_error::kIoFailure;
}

std::string UnitFileText(const ServiceDefinition& definition) {
    std::string execStart;
    const std::vector<std::string> words = SplitCommandLine(definition.commandLine);
    for (const std::string& word : words) {
        execStart += (execStart.empty() ? "" : " ") + QuoteWord(word, !execStart.empty());
    }
    // Type=notify: the start job ends when the server reports itself ready (sd_notify), and
    // fails when the program cannot be executed or ends first (Type=simple would report
    // success and leave systemd retrying).
    std::string text = "[Unit]\nDescription=" + EscapeValue(definition.displayName) +
                       "\nAfter=network.target\n\n[Service]\nType=notify\nExecStart=" + execStart +
                       "\n";
    text += Hardening(words);
    if (definition.autoStart) text += "\n[Install]\nWantedBy=multi-user.target\n";
    return text;
}

std::string DescriptionDropIn(const std::string& description) {
    return "[Unit]\nDescription=" + EscapeValue(description) + "\n";
}

// Restart actions become Restart=on-failure after the first action's delay; systemd's start
// limit caps them: one start plus one per action within a window that holds them all.
std::string FailureActionsDropIn(const FailureActions& actions) {
    size_t restarts = 0;
    uint32_t delayMs = 0;
    for (const FailureActions::Action& action : actions.actions) {
        if (action.type != FailureActions::Type::kRestart) continue;
        if (restarts++ == 0) delayMs = action.delayMs;
    }
    if (restarts == 0) return "[Service]\nRestart=no\n";
    const uint64_t windowSec = (restarts + 1) * (delayMs / 1000 + 1);
    return "[Unit]\nStartLimitIntervalSec=" + std::to_string(windowSec) +
           "\nStartLimitBurst=" + std::to_string(restarts + 1) +
           "\n\n[Service]\nRestart=on-failure\nRestartSec=" + std::to_string(delayMs) + "ms\n";
}

bool SystemdReachable() {
    sd_bus* raw = nullptr;
    if (sd_bus_open_system(&raw) < 0) return false;
    BusPtr bus(raw);
    sd_bus_set_method_call_timeout(bus.get(), 2 * 1000 * 1000);
    BusError error;
    char* version = nullptr;
    if (sd_bus_get_property_string(bus.get(), kDestination, kManagerPath, kManagerInterface,
                                   "Version", error.get(), &version) < 0) {
        return false;
    }
    std::free(version);
    return true;
}

}  // namespace systemd_service

SystemdServiceManager::SystemdServiceManager() : SystemdServiceManager(kSystemUnitDirectory) {}

SystemdServiceManager::SystemdServiceManager(std::string unitDirectory)
    : unitDirectory_(std::move(unitDirectory)) {}

namespace {

// The system bus: one connection per thread (a connection serves one thread), kept for the
// next question (the console asks the service's state before every control command). It is
// opened again when it was closed or the bus's address changed.
std::shared_ptr<sd_bus> ThreadSystemBus(int& result) {
    thread_local std::shared_ptr<sd_bus> bus;
    thread_local std::string address;
    const char* current = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const std::string wanted = current ? current : "";
    result = 0;
    if (bus && wanted == address && sd_bus_is_open(bus.get()) > 0) return bus;
    bus.reset();
    sd_bus* raw = nullptr;
    result = sd_bus_open_system(&raw);
    if (result < 0) return nullptr;
    // A hung systemd must not hold a caller (the window thread asks for the state) for long.
    sd_bus_set_method_call_timeout(raw, kMethodCallTimeoutUs);
    bus.reset(raw, BusCloser{});
    address = wanted;
    return bus;
}

}  // namespace

std::unique_ptr<ServiceManager::Manager> SystemdServiceManager::OpenManager() {
    int result = 0;
    std::shared_ptr<sd_bus> bus = ThreadSystemBus(result);
    if (!bus) {
        SetLastError(result == -EACCES || result == -EPERM ? service_error::kAccessDenied
                                                           : service_error::kManagerUnavailable);
        return nullptr;
    }
    return std::make_unique<SystemdManager>(std::move(bus));
}

std::unique_ptr<ServiceManager::Service> SystemdServiceManager::OpenService(
    Manager& manager, const std::string& name) {
    if (!ValidServiceName(name)) {
        SetLastError(service_error::kServiceDoesNotExist);
        return nullptr;
    }
    sd_bus* bus = AsManager(manager).bus.get();
    const std::string unitName = UnitName(name);
    auto unit = LoadUnit(bus, unitName);
    // A unit file written while systemd was not told: reload once and look again.
    if (!unit && LastError() == service_error::kServiceDoesNotExist &&
        ::access((unitDirectory_ + "/" + unitName).c_str(), F_OK) == 0 && Reload(bus)) {
        unit = LoadUnit(bus, unitName);
    }
    return unit;
}

std::unique_ptr<ServiceManager::Service> SystemdServiceManager::CreateService(
    Manager& manager, const ServiceDefinition& definition) {
    if (!ValidServiceName(definition.name)) {
        SetLastError(service_error::kIoFailure);
        return nullptr;
    }
    sd_bus* bus = AsManager(manager).bus.get();
    const std::string unitName = UnitName(definition.name);
    const std::string unitFile = unitDirectory_ + "/" + unitName;
    if (::access(unitFile.c_str(), F_OK) == 0) {
        SetLastError(service_error::kServiceExists);
        return nullptr;
    }
    if (!local_service::WriteFileAtomically(unitFile, systemd_service::UnitFileText(definition),
                                            kUnitFileMode)) {
        SetLastError(service_error::FromErrno(errno));
        return nullptr;
    }
    std::unique_ptr<SystemdUnit> unit;
    if (Reload(bus) && (!definition.autoStart || CallManager(bus, "EnableUnitFiles", nullptr,
                                                             "asbb", 1, unitName.c_str(), 0, 1))) {
        unit = LoadUnit(bus, unitName);
    }
    if (!unit) {
        // Not half-installed: the file goes again when systemd would not take it.
        const uint32_t error = LastError();
        ::unlink(unitFile.c_str());
        Reload(bus);
        SetLastError(error);
    }
    return unit;
}

namespace {
bool WriteDropIn(sd_bus* bus, const std::string& dropInDir, const char* name,
                 const std::string& text) {
    std::error_code error;
    std::filesystem::create_directories(dropInDir, error);
    if (error) return Fail(service_error::FromErrno(error.value()));
    if (!local_service::WriteFileAtomically(dropInDir + "/" + name, text, kUnitFileMode)) {
        return Fail(service_error::FromErrno(errno));
    }
    return Reload(bus);
}
}  // namespace

bool SystemdServiceManager::RefreshService(Service& service, const ServiceDefinition& definition) {
    SystemdUnit& unit = AsUnit(service);
    const std::string unitFile = unitDirectory_ + "/" + unit.unitName;
    const auto current = ReadRegularFile(unitFile);
    if (const auto words = SplitCommandLine(definition.commandLine); !words.empty()) {
        PrepareDatabaseFiles(words.front());
    }
    if (!current) return true;  // not a file of ours (a package's unit, say)
    const std::string wanted = systemd_service::UnitFileText(definition);
    // Another program's unit of the same name is left as it is.
    if (*current == wanted || ExecStartLine(*current) != ExecStartLine(wanted)) return true;
    LOG(INFO) << unitFile << " no longer matches the install folder; rewriting it";
    if (!local_service::WriteFileAtomically(unitFile, wanted, kUnitFileMode)) {
        return Fail(service_error::FromErrno(errno));
    }
    return Reload(unit.bus.get());
}

bool SystemdServiceManager::ChangeDescription(Service& service, const std::string& description) {
    SystemdUnit& unit = AsUnit(service);
    return WriteDropIn(unit.bus.get(), unitDirectory_ + "/" + unit.unitName + ".d",
                       kDescriptionDropIn, systemd_service::DescriptionDropIn(description));
}

bool SystemdServiceManager::ChangeFailureActions(Service& service, const FailureActions& actions) {
    SystemdUnit& unit = AsUnit(service);
    return WriteDropIn(unit.bus.get(), unitDirectory_ + "/" + unit.unitName + ".d",
                       kFailureActionsDropIn, systemd_service::FailureActionsDropIn(actions));
}

bool SystemdServiceManager::StartService(Service& service) {
    SystemdUnit& unit = AsUnit(service);
    return CallManager(unit.bus.get(), "StartUnit", nullptr, "ss", unit.unitName.c_str(),
                       "replace");
}

bool SystemdServiceManager::ControlStop(Service& service) {
    SystemdUnit& unit = AsUnit(service);
    return CallManager(unit.bus.get(), "StopUnit", nullptr, "ss", unit.unitName.c_str(), "replace");
}

bool SystemdServiceManager::QueryServiceState(Service& service, uint32_t& state) {
    SystemdUnit& unit = AsUnit(service);
    std::string active;
    if (!ReadUnitProperty(unit.bus.get(), unit.objectPath, "ActiveState", active)) return false;
    // The sub state only refines "activating"; a unit without one still has a state.
    std::string sub;
    if (!ReadUnitProperty(unit.bus.get(), unit.objectPath, "SubState", sub)) sub.clear();
    state = systemd_service::RawStateFromUnit(active, sub);
    return true;
}

std::string SystemdServiceManager::ExitReason(Service& service) {
    // The server's own words (sd_notify STATUS=), else how systemd saw the end ("exit-code").
    SystemdUnit& unit = AsUnit(service);
    std::string words;
    if (ReadUnitProperty(unit.bus.get(), unit.objectPath, "StatusText", words, kServiceInterface) &&
        !words.empty()) {
        return words;
    }
    std::string result;
    if (ReadUnitProperty(unit.bus.get(), unit.objectPath, "Result", result, kServiceInterface) &&
        !result.empty() && result != "success") {
        return "systemd: " + result;
    }
    return {};
}

bool SystemdServiceManager::DeleteService(Service& service) {
    SystemdUnit& unit = AsUnit(service);
    sd_bus* bus = unit.bus.get();
    if (!CallManager(bus, "DisableUnitFiles", nullptr, "asb", 1, unit.unitName.c_str(), 0)) {
        return false;
    }
    const std::string unitFile = unitDirectory_ + "/" + unit.unitName;
    if (::unlink(unitFile.c_str()) != 0) {
        if (errno != ENOENT) return Fail(service_error::FromErrno(errno));
        // A unit whose file lives elsewhere (a package's) is not ours to remove; one whose
        // file was ours and is gone only needs the reload.
        std::string fragment;
        if (ReadUnitProperty(bus, unit.objectPath, "FragmentPath", fragment) && !fragment.empty() &&
            fragment != unitFile) {
            return Fail(service_error::kAccessDenied);
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(unitFile + ".d", ignored);
    return Reload(bus);
}
