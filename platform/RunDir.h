// The per-user runtime directory in which the driver's control device object, the
// device-interface entries and the single-instance lock live.
#pragma once

#include <string>

namespace platform {

// $XDG_RUNTIME_DIR, or /tmp/zel-usb-<uid> created with mode 0700 where it is unset.
// Returns an empty string and fills `error` when the directory cannot be made or is
// owned by another user.
std::string RuntimeDir(std::string* error = nullptr);

}  // namespace platform
