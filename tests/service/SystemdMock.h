#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A private D-Bus daemon with python-dbusmock's systemd template on it, standing in for the
// system bus and systemd's manager. The methods the template lacks (LoadUnit, Reload,
// EnableUnitFiles, DisableUnitFiles) are added so that Reload loads the unit files found
// in the given unit directory, as systemd would.
class SystemdMock {
public:
    SystemdMock() = default;
    ~SystemdMock();
    SystemdMock(const SystemdMock&) = delete;
    SystemdMock& operator=(const SystemdMock&) = delete;

    // Empty on success, else why the mock could not be set up.
    std::string Start(const std::string& workDir, const std::string& unitDir);
    void Stop();
    std::string Address() const { return address_; }

    // The unit's object path as the mock names it.
    static std::string UnitPath(const std::string& unitName);
    // Sets the unit's ActiveState and SubState.
    bool SetUnitState(const std::string& unitName, const std::string& active,
                      const std::string& sub);
    std::string UnitProperty(const std::string& unitName, const char* property);
    // Every recorded call of an added method, arguments as text ("[a b] false true").
    std::vector<std::string> MethodCalls(const std::string& method);
    bool ClearCalls();
    // Lets the mock load the unit directory again, as "systemctl daemon-reload" would.
    bool Reload();

private:
    bool AddMethod(const char* name, const char* in, const char* out, const std::string& code);

    pid_t daemon_ = -1;
    pid_t mock_ = -1;
    std::string address_;
};
