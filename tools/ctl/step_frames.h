#pragma once
// A frame step's bytes, built with the protocol core's builders exactly as
// the console builds them from its boxes; numbers always take the decimal
// point, whatever the locale.

#include "ctl_steps.h"

// The frame's hex text, or the first input that did not convert. A
// reference run gives its 64 characters of text instead of hex digits.
BuiltFrame BuildStepFrame(const FrameCommand& command, std::uint8_t frameCounter);

// Why the command is refused whatever the counter (checked before a job's
// first frame), or nothing.
std::optional<std::string> RefusalOf(const FrameCommand& command);
