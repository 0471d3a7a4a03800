#include "system_tick.h"

#include <chrono>

std::int32_t SystemTickCount() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    // Keep the low 32 bits, as the system's tick counter does.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms));
}

std::int64_t UnixNanosecondsNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}
