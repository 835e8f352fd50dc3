#pragma once

#include <string>

#include "Common/Singleton.h"

// What version.ini (beside the executable, section "TorvoProxy") says about the product.
class Version : public Singleton<Version> {
public:
    // Reads "platform" and "version"; a missing key keeps its field. 1 when the file exists,
    // 0 (silently) when it does not.
    int load();

    std::string platform = "x64";
    std::string version = "3.0.0";

private:
    friend class Singleton<Version>;
    Version() = default;
};

// Reads `key` of section "TorvoProxy" in an INI file as the console does (buffer of 256, "#"
// comments cut); false when it is missing.
bool ReadVersionFileKey(const std::string& path, const char* key, std::string& value);
