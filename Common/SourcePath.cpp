#include "Common/SourcePath.h"

#include <string_view>

const char* SourcePath(const char* compiledPath) {
    std::string_view path = compiledPath;
    constexpr std::string_view kRoot = TORVO_SOURCE_ROOT_DIR "/";
    if (path.starts_with(kRoot)) path.remove_prefix(kRoot.size());
    while (path.starts_with("./") || path.starts_with("../"))
        path.remove_prefix(path.find('/') + 1);
    return path.data();  // a suffix of the compiled path: it ends where that one ends
}
