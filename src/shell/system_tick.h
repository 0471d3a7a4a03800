#pragma once
#include <cstdint>

// Milliseconds since the system started, read as a signed 32-bit count: it
// turns negative after about 24.8 days and wraps after about 49.7.
std::int32_t SystemTickCount();
