// Where the running instance's channel lives on POSIX: a datagram socket in the private
// runtime directory, named after the main window's title.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// "<rundir>/<title with every byte outside [A-Za-z0-9._-] as '_'>-<hash>.window"; the
// hash of the whole title keeps titles apart that differ only in such bytes. Empty when
// the runtime directory is unusable.
std::string InstanceChannelPath(const std::string& windowTitle);

// The longest request a listener accepts; longer datagrams are dropped whole.
constexpr std::size_t kMaxInstanceRequestSize = 32;

}  // namespace platform
