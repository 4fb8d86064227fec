// The substitute driver's state as JSON: the state file and the `dump` output share this
// one format. Names that are not valid UTF-8 travel as {"hex": "..."} so no byte is lost.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "simdriver/core/SimState.h"

namespace simdriver {

nlohmann::json StateToJson(const SimState& state);

// Reads a state written by StateToJson. Returns false with the reason in `error` for a
// document that is not such a state (wrong types, duplicate ids or serials, a current
// source out of range); `state` is then untouched.
bool StateFromJson(const nlohmann::json& json, SimState* state, std::string* error);

std::string ToHex(const std::uint8_t* bytes, std::size_t size);
// Accepts upper and lower case, ignores blanks; false on odd length or other characters.
bool FromHex(const std::string& text, std::vector<std::uint8_t>* bytes);

}  // namespace simdriver
