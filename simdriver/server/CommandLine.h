// The command line of zel-usb-simdriver: `serve` runs the daemon, every other
// subcommand becomes one JSON control command for a running daemon.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace simdriver {

struct ParsedCommandLine {
    bool serve = false;
    bool help = false;
    std::string statePath;   // serve --state FILE
    nlohmann::json command;  // every other subcommand
};

// Returns false with the reason in `error` for an unknown subcommand or bad arguments.
bool ParseCommandLine(const std::vector<std::string>& args, ParsedCommandLine* parsed,
                      std::string* error);

// A number given as decimal or 0x-prefixed hex, within [minimum, maximum].
bool ParseNumber(const std::string& text, long long minimum, long long maximum, long long* value);

extern const char* const kUsage;

}  // namespace simdriver
