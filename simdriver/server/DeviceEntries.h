// The device-interface directory <rundir>/<class GUID>/: one empty file per plugged
// device, named like an interface path, which the panel watches to hear of arrivals
// and removals.
#pragma once

#include <set>
#include <string>

#include "simdriver/core/SimState.h"

namespace simdriver {

class DeviceEntries {
public:
    explicit DeviceEntries(std::string runDir);

    // usb#vid_0000&pid_0000#<serial>#{9c16e615-a7ac-458f-819f-718a8a11ef08}
    static std::string EntryName(const std::string& serial);
    const std::string& Directory() const { return m_dir; }

    // Creates the directory (0700) and removes entries left behind by a crashed daemon.
    bool Prepare(std::string* error);
    // Creates the entries of plugged devices and removes those of unplugged ones.
    void Sync(const SimState& state);
    void RemoveAll();

private:
    std::string m_dir;
    std::set<std::string> m_present;  // serials with an entry
};

}  // namespace simdriver
