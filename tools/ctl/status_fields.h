#pragma once
// The fields of a status by the names scripts use: in "expect FIELD OP
// VALUE" and as the keys of a status in --json. Switches and lamps are 1
// when their bit is set.

#include <status_report.h>

#include <string>
#include <vector>

// x, y, z, c, mode, fill, error, counter, end_x, end_y, end_z, end_c,
// emergency, spindle, cooling, sleep, boost.
const std::vector<std::string>& StatusFieldNames();

// The field's value; 0 for a name not in the list.
double StatusField(const StatusReport& status, const std::string& name);

// Whether the field is a switch or lamp (a bit), not a number.
bool IsStatusBit(const std::string& name);
