// The file in which the substitute driver keeps its state across restarts, as a real
// driver keeps names and rankings in the system.
#pragma once

#include <string>

#include "simdriver/core/SimState.h"

namespace simdriver {

// $XDG_DATA_HOME/zel-usb-simdriver/state.json, or ~/.local/share/... where it is unset.
std::string DefaultStatePath();

enum class LoadResult { Loaded, Missing, Corrupt };

// A missing file is a fresh driver; a file that is not a state is Corrupt with the
// reason in `error` (and is left alone).
LoadResult LoadStateFile(const std::string& path, SimState* state, std::string* error);

// Writes the state atomically (a temporary file in the same directory, then rename),
// mode 0600; missing directories are created with mode 0700.
bool SaveStateFile(const std::string& path, const SimState& state, std::string* error);

// Creates `dir` and its missing parents with mode 0700.
bool MakePrivateDirs(const std::string& dir, std::string* error);

}  // namespace simdriver
