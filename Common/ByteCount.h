#pragma once

#include <cstdint>
#include <string>

// "512 B", "1.50 KB", "2.00 MB", ... (1024 per step), as the server's replies and the account
// page write amounts of traffic.
std::string FormatBytes(uint64_t bytes);
