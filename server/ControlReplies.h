#pragma once

#include <json/value.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Common/AccountDays.h"
#include "server/TrafficStats.h"

// The JSON bodies of the control channel's replies: an envelope of "err_code", "err_msg" and
// "data". Traffic totals and rates are texts with their unit, times DateTime texts.

std::string Envelope(const Json::Value& data);
std::string ErrorReply(int code, const std::string& message);
// A success whose fields stand at the root, beside err_code and err_msg.
std::string SuccessReply(Json::Value root);

// "data": onlineUsers, onlineDevices, totalAlarms, totalIOBytes.
std::string StatisticReply(const TrafficStats& stats, int64_t totalAlarms);
// "bytes" at the root: the average rate since the previous answer (RateWindow).
std::string BandwidthReply(uint64_t bytesPerSecond);
// One object per client address and user with live connections.
std::string FlowRealtimeReply(const TrafficStats& stats);
// "user" at the root and its days in "data", as given (oldest first): day, bytes_up,
// bytes_down.
std::string TrafficReply(const std::string& user, const std::vector<DayTraffic>& days);

// A copy of the totals per client address or per named user, taken on the event loop; the
// reply is built from it on another thread, so that a large one holds up nobody.
using TotalsSnapshot = std::vector<std::pair<std::string, TrafficStats::Totals>>;
TotalsSnapshot SnapshotTotals(const std::map<std::string, TrafficStats::Totals>& totals);
// Totals since the start, per client address (`nameKey` "ip") or per named user ("user"): the
// text written directly, without a JSON tree (a hundred thousand rows would take 80 MB).
std::string TotalsReply(const TotalsSnapshot& rows, const char* nameKey);
