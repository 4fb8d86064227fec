// The control commands of the substitute driver as JSON documents: the daemon's control
// socket and the in-process test fixture both run them through here, so both behave
// alike. A command is {"command": "plug", ...}; the answer {"ok": true, "result": ...}
// or {"ok": false, "error": "..."}.
#pragma once

#include <nlohmann/json.hpp>

#include "simdriver/core/SimDriverCore.h"

namespace simdriver {

// Runs one command on the core. Sets *quit for "quit" (the caller ends the server).
nlohmann::json ExecuteCommand(SimDriverCore& core, const nlohmann::json& command, bool* quit);

nlohmann::json LogToJson(const std::deque<LogEntry>& log);

}  // namespace simdriver
