// The client side of the control socket: sends one JSON command to a running daemon and
// reads its answer.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace simdriver {

std::string ControlSocketPath(const std::string& runDir);

// False with the reason in `error` when no daemon answers (none running, or no answer
// within `timeoutMs`).
bool SendControlCommand(const std::string& runDir, const nlohmann::json& command,
                        nlohmann::json* answer, std::string* error, int timeoutMs = 10000);

}  // namespace simdriver
