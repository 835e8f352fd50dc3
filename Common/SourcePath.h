#pragma once
// Log lines name their source file from the repository root ("Common/SystemConf.cpp"), whatever
// path the compiler was given for it: absolute, "./Common/..." under a package build's prefix
// map, or "../../Common/..." from a compiler cache that makes paths relative.
#include <glog/logging.h>

const char* SourcePath(const char* compiledPath);

// LOG(severity) with the file named as above.
#define LOG_FROM_ROOT(severity) \
    google::LogMessage(SourcePath(__FILE__), __LINE__, google::GLOG_##severity).stream()
