#include "Common/Version.h"

#include <unistd.h>

#include "Common/IniFile.h"
#include "Common/Paths.h"

bool ReadVersionFileKey(const std::string& path, const char* key, std::string& value) {
    CIniFile file(path.c_str());
    char buffer[256];
    uint32_t size = sizeof buffer;
    if (!IniSucceeded(file.GetString(key, buffer, size, ""))) return false;
    value.assign(buffer, size);
    return true;
}

int Version::load() {
    const std::string path = GetVersionFilePath();
    if (access(path.c_str(), F_OK) != 0) return 0;
    ReadVersionFileKey(path, "platform", platform);
    ReadVersionFileKey(path, "version", version);
    return 1;
}
