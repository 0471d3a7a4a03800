#pragma once
#include <cstdint>

// Milliseconds since the system started, read as a signed 32-bit count: it
// turns negative after about 24.8 days and wraps after about 49.7.
std::int32_t SystemTickCount();

// The real time now, in nanoseconds since 1970-01-01 00:00 UTC: when a
// frame was written or read, for a capture.
std::int64_t UnixNanosecondsNow();
