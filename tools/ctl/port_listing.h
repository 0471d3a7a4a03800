#pragma once
// The ports subcommand: each serial port the system has, with its stable
// names (/dev/serial/by-id/...), description, USB vendor and product id,
// and the program that holds it, if any.

#include "ctl_output.h"

ExitStatus ListPorts(CtlOutput& output);
