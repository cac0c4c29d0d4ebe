#pragma once
// The keys under which a flow's observers hear of its changes (QFFlow.h
// lists them all), named once for the files that make up QFFlow.

inline constexpr const char* QFFlowStatusKey = "status";
inline constexpr const char* QFFlowHasChangesToRunKey = "hasChangesToRun";
inline constexpr const char* QFFlowLastRunDateKey = "lastRunDate";
inline constexpr const char* QFFlowLastRunErrorKey = "lastRunError";
inline constexpr const char* QFFlowEncodedStateChangeTokenKey = "_encodedStateChangeToken";
