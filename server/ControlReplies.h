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
// `text` as a JSON string, for replies written directly: as Json::Value writes it (a NUL in it
// escaped, not ending it).
std::string QuotedText(const std::string& text);

// "data": onlineUsers, onlineDevices, totalAlarms, totalIOBytes.
std::string StatisticReply(const TrafficStats& stats, int64_t totalAlarms);
// "bytes" at the root: the average rate since the previous answer (RateWindow).
std::string BandwidthReply(uint64_t bytesPerSecond);
// One object per client address and user with live connections, by address, then user, built
// from a snapshot taken on the event loop: on another thread, so that ten thousand clients hold
// up nobody.
std::string FlowRealtimeReply(const TrafficStats::LiveFlowsSnapshot& flows);
// "user" at the root and its days in "data", as given (oldest first): day, bytes_up,
// bytes_down.
std::string TrafficReply(const std::string& user, const std::vector<DayTraffic>& days);

// Totals since the start, per client address (`nameKey` "ip") or per named user ("user"), in the
// names' order, from a snapshot taken on the event loop: built on another thread, so that a
// large one holds up nobody. The text is written directly, without a JSON tree (a hundred
// thousand rows would take 80 MB).
std::string TotalsReply(const TotalsSnapshot& snapshot, const char* nameKey);
