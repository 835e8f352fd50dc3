#pragma once

#include <string>

class CppSQLite3DB;

// The allowed client networks are one row of the configuration table, beside the other
// settings the server reads: key "allowed_networks", the entries joined by ",".
inline constexpr char kAllowedNetworksKey[] = "allowed_networks";

// The stored list. A missing or null row (a new or older main.db) is stored with the
// defaults first; no other row changes. Throws CppSQLite3Exception.
std::string LoadAllowedNetworks(CppSQLite3DB& db);
// Replaces the stored list.
void SaveAllowedNetworks(CppSQLite3DB& db, const std::string& list);
