#pragma once
// Kinds of notification the serial connection raises, read back through
// SerialConnection::commEvent(). Data received keeps the value 2 that the
// receive handler tests for; the error kinds sit from 1000 on.

namespace CommEvent {
inline constexpr int None = 0;
inline constexpr int Receive = 2;
inline constexpr int ReadError = 1001;
inline constexpr int WriteError = 1002;
inline constexpr int OtherError = 1003;
} // namespace CommEvent
