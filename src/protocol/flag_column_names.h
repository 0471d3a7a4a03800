#pragma once
// The names the flag bits go by in machine-readable output (kelmora-history's
// CSV columns, the JSON a status publisher sends): lower case, one word,
// "bitN" for a bit with no lamp. Readers key on them, so they never change.

#include <cstdint>
#include <string>

// The status frame's switch byte: end_x, end_y, end_z, end_c, emergency.
const char* StatusSwitchColumnName(int bit);
// The status frame's auxiliary byte: spindle, cooling, sleep, boost (bits 4-7).
const char* StatusAuxiliaryColumnName(int bit);
// A switch command's signal bits: spindle, cooling.
const char* SignalColumnName(int bit);

// The names of the set bits joined by '+' ("end_x+emergency"), "" for none.
std::string StatusSwitchColumnNames(std::uint8_t flags);
std::string StatusAuxiliaryColumnNames(std::uint8_t flags);
std::string SignalColumnNames(std::uint8_t bits);
