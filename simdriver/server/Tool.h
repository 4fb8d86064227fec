// The zel-usb-simdriver program: the daemon and the control subcommands.
#pragma once

#include <string>
#include <vector>

namespace simdriver {

// Runs the program with its arguments (without the program name); returns the exit
// code: 0 success, 1 refused or no daemon, 2 bad arguments.
int RunTool(const std::vector<std::string>& args);

}  // namespace simdriver
