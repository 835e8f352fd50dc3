#pragma once

#include <json/value.h>

#include <cstdint>
#include <string>

#include "server/TrafficStats.h"

// The JSON bodies of the control channel's replies: an envelope of "err_code", "err_msg" and
// "data". Traffic totals and rates are texts with their unit, times DateTime texts.

std::string Envelope(const Json::Value& data);
std::string ErrorReply(int code, const std::string& message);

// "data": onlineUsers, onlineDevices, totalAlarms, totalIOBytes.
std::string StatisticReply(const TrafficStats& stats, int64_t totalAlarms);
// "bytes" at the root: bytes moved during the last whole second.
std::string BandwidthReply(const TrafficStats& stats);
// One object per client address and user with live connections.
std::string FlowRealtimeReply(const TrafficStats& stats);
// Totals since the start, per client address and per named user.
std::string FlowIpReply(const TrafficStats& stats);
std::string FlowUserReply(const TrafficStats& stats);
