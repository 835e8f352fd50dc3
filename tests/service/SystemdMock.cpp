#include "tests/service/SystemdMock.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>

extern char** environ;

namespace {

constexpr const char* kSystemd = "org.freedesktop.systemd1";
constexpr const char* kManagerPath = "/org/freedesktop/systemd1";
constexpr const char* kMockInterface = "org.freedesktop.DBus.Mock";

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using BusPtr = std::unique_ptr<sd_bus, BusCloser>;
struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;

BusPtr Connect(const std::string& address) {
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0) return nullptr;
    BusPtr owned(bus);
    if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
        sd_bus_start(bus) < 0) {
        return nullptr;
    }
    return owned;
}

pid_t Spawn(const std::vector<std::string>& words, const std::string& logFile) {
    std::vector<char*> argv;
    for (const auto& w : words) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const int result = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

bool Exited(pid_t pid) {
    int status;
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

void EndProcess(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    int status;
    ::waitpid(pid, &status, 0);
    pid = -1;
}

// One argument of a recorded call, as text; enough for strings, booleans and string arrays.
std::string ReadValue(sd_bus_message* m) {
    char type;
    const char* contents = nullptr;
    if (sd_bus_message_peek_type(m, &type, &contents) <= 0) return "?";
    if (type == SD_BUS_TYPE_VARIANT) {
        sd_bus_message_enter_container(m, SD_BUS_TYPE_VARIANT, contents);
        std::string text = ReadValue(m);
        sd_bus_message_exit_container(m);
        return text;
    }
    if (type == SD_BUS_TYPE_STRING || type == SD_BUS_TYPE_OBJECT_PATH) {
        const char* s = nullptr;
        sd_bus_message_read_basic(m, type, &s);
        return s ? s : "";
    }
    if (type == SD_BUS_TYPE_BOOLEAN) {
        int b = 0;
        sd_bus_message_read_basic(m, type, &b);
        return b ? "true" : "false";
    }
    if (type == SD_BUS_TYPE_ARRAY) {
        sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, contents);
        std::string text = "[";
        while (sd_bus_message_at_end(m, 0) == 0) {
            if (text.size() > 1) text += ' ';
            text += ReadValue(m);
        }
        sd_bus_message_exit_container(m);
        return text + "]";
    }
    sd_bus_message_skip(m, nullptr);
    return "?";
}

// The mock's added methods are Python code that dbusmock runs with `self`, `args` and
// `objects`. A unit (re)loaded from its file starts out inactive.
std::string UnitPathCode() {
    return "def unit_path(name):\n"
           "    return '/org/freedesktop/systemd1/unit/' + name.replace('.', '_').replace('-', "
           "'_')\n";
}

}  // namespace

SystemdMock::~SystemdMock() {
    Stop();
}

std::string SystemdMock::UnitPath(const std::string& unitName) {
    std::string escaped = unitName;
    for (char& c : escaped) {
        if (c == '.' || c == '-') c = '_';
    }
    return std::string(kManagerPath) + "/unit/" + escaped;
}

std::string SystemdMock::Start(const std::string& workDir, const std::string& unitDir) {
    if (::access("/usr/bin/dbus-daemon", X_OK) != 0) return "/usr/bin/dbus-daemon is missing";
    if (::access("/usr/bin/python3", X_OK) != 0) return "/usr/bin/python3 is missing";

    const std::string socket = workDir + "/system_bus_socket";
    address_ = "unix:path=" + socket;
    const std::string config = workDir + "/bus.conf";
    std::ofstream(config)
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
           "Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n  <listen>"
        << address_
        << "</listen>\n  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"*\"/>\n    <allow receive_sender=\"*\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n</busconfig>\n";
    daemon_ = Spawn({"/usr/bin/dbus-daemon", "--nofork", "--config-file=" + config},
                    workDir + "/dbus-daemon.log");
    if (daemon_ < 0) return "cannot run dbus-daemon";

    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
    mock_ = Spawn({"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "systemd"},
                  workDir + "/dbusmock.log");
    if (mock_ < 0) return "cannot run python3 -m dbusmock";

    // Wait (bounded) until the mock owns systemd's name.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        if (Exited(mock_)) {
            mock_ = -1;
            return "python3 -m dbusmock ended; see " + workDir + "/dbusmock.log";
        }
        if (BusPtr bus = Connect(address_)) {
            sd_bus_error error = SD_BUS_ERROR_NULL;
            sd_bus_message* reply = nullptr;
            int owned = 0;
            if (sd_bus_call_method(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                   "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s",
                                   kSystemd) >= 0) {
                sd_bus_message_read(reply, "b", &owned);
            }
            sd_bus_message_unref(reply);
            sd_bus_error_free(&error);
            if (owned) break;
        }
        if (std::chrono::steady_clock::now() > end) return "the mock did not appear on the bus";
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    const std::string unitKnown = UnitPathCode();
    const std::string addUnit =
        "def add_unit(name, load_state):\n"
        "    path = unit_path(name)\n"
        "    if path not in objects:\n"
        "        mock_self.AddObject(path, 'org.freedesktop.systemd1.Unit', {'Id': name, "
        "'Names': [name], 'LoadState': load_state, 'ActiveState': 'inactive', "
        "'SubState': 'dead'}, [])\n"
        "    else:\n"
        "        objects[path].UpdateProperties('org.freedesktop.systemd1.Unit', "
        "{'LoadState': load_state, 'ActiveState': 'inactive', 'SubState': 'dead'})\n"
        "    return path\n";
    // Functions defined in the exec'd code see module globals only: they are made global,
    // and reach the mock object through mock_self.
    const std::string prelude =
        "global unit_path, add_unit, mock_self\nmock_self = self\n" + unitKnown + addUnit;
    const bool added =
        AddMethod("LoadUnit", "s", "o",
                  prelude +
                      "name = str(args[0])\n"
                      "ret = self.units[name] if name in self.units else add_unit(name, "
                      "'not-found')\n") &&
        AddMethod("Reload", "", "",
                  prelude +
                      "import os\n"
                      "present = []\n"
                      "for f in os.listdir('" +
                      unitDir +
                      "'):\n"
                      "    if f.endswith('.service'):\n"
                      "        present.append(f)\n"
                      "for name in present:\n"
                      "    if name not in self.units:\n"
                      "        self.units[name] = add_unit(name, 'loaded')\n"
                      "for name in list(self.units.keys()):\n"
                      "    if name not in present:\n"
                      "        add_unit(name, 'not-found')\n"
                      "        del self.units[name]\n") &&
        AddMethod("EnableUnitFiles", "asbb", "ba(sss)", "ret = (False, [])") &&
        AddMethod("DisableUnitFiles", "asb", "a(sss)", "ret = []");
    return added ? std::string() : "cannot add methods to the mock";
}

void SystemdMock::Stop() {
    EndProcess(mock_);
    EndProcess(daemon_);
}

bool SystemdMock::AddMethod(const char* name, const char* in, const char* out,
                            const std::string& code) {
    BusPtr bus = Connect(address_);
    if (!bus) return false;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int result = sd_bus_call_method(
        bus.get(), kSystemd, kManagerPath, kMockInterface, "AddMethod", &error, nullptr, "sssss",
        "org.freedesktop.systemd1.Manager", name, in, out, code.c_str());
    sd_bus_error_free(&error);
    return result >= 0;
}

bool SystemdMock::SetUnitState(const std::string& unitName, const std::string& active,
                               const std::string& sub) {
    BusPtr bus = Connect(address_);
    if (!bus) return false;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int result = sd_bus_call_method(
        bus.get(), kSystemd, UnitPath(unitName).c_str(), kMockInterface, "UpdateProperties", &error,
        nullptr, "sa{sv}", "org.freedesktop.systemd1.Unit", 2, "ActiveState", "s", active.c_str(),
        "SubState", "s", sub.c_str());
    sd_bus_error_free(&error);
    return result >= 0;
}

std::string SystemdMock::UnitProperty(const std::string& unitName, const char* property) {
    BusPtr bus = Connect(address_);
    if (!bus) return "?";
    sd_bus_error error = SD_BUS_ERROR_NULL;
    char* value = nullptr;
    const int result =
        sd_bus_get_property_string(bus.get(), kSystemd, UnitPath(unitName).c_str(),
                                   "org.freedesktop.systemd1.Unit", property, &error, &value);
    sd_bus_error_free(&error);
    std::string text = result >= 0 && value ? value : "?";
    std::free(value);
    return text;
}

std::vector<std::string> SystemdMock::MethodCalls(const std::string& method) {
    std::vector<std::string> calls;
    BusPtr bus = Connect(address_);
    if (!bus) return calls;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* raw = nullptr;
    const int result = sd_bus_call_method(bus.get(), kSystemd, kManagerPath, kMockInterface,
                                          "GetMethodCalls", &error, &raw, "s", method.c_str());
    sd_bus_error_free(&error);
    MessagePtr reply(raw);
    if (result < 0) return calls;
    // a(tav): time stamp, arguments
    sd_bus_message_enter_container(raw, SD_BUS_TYPE_ARRAY, "(tav)");
    while (sd_bus_message_enter_container(raw, SD_BUS_TYPE_STRUCT, "tav") > 0) {
        uint64_t stamp = 0;
        sd_bus_message_read(raw, "t", &stamp);
        sd_bus_message_enter_container(raw, SD_BUS_TYPE_ARRAY, "v");
        std::string text;
        while (sd_bus_message_at_end(raw, 0) == 0) {
            if (!text.empty()) text += ' ';
            text += ReadValue(raw);
        }
        sd_bus_message_exit_container(raw);
        sd_bus_message_exit_container(raw);
        calls.push_back(text);
    }
    return calls;
}

bool SystemdMock::ClearCalls() {
    BusPtr bus = Connect(address_);
    if (!bus) return false;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int result = sd_bus_call_method(bus.get(), kSystemd, kManagerPath, kMockInterface,
                                          "ClearCalls", &error, nullptr, "");
    sd_bus_error_free(&error);
    return result >= 0;
}

bool SystemdMock::Reload() {
    BusPtr bus = Connect(address_);
    if (!bus) return false;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int result =
        sd_bus_call_method(bus.get(), kSystemd, kManagerPath, "org.freedesktop.systemd1.Manager",
                           "Reload", &error, nullptr, "");
    sd_bus_error_free(&error);
    return result >= 0;
}
