// Plugging and unplugging simulated devices, and keeping the device list in ranking
// order. Works on SimState alone; SimDriverCore adds the notifications.
#pragma once

#include <cstdint>
#include <string>

#include "simdriver/core/SimState.h"

namespace simdriver {

// What `plug` creates; empty or negative fields take the defaults.
struct PlugOptions {
    std::string serial;  // default: a generated "SIM000001"-style serial
    std::string name;    // default: "USB Audio <n>"
    int inputs = 8;
    int outputs = 8;
    int sources = 3;  // "Internal", "S/PDIF", "Word Clock", then "Source <n>"
};

// Adds a device at the end of the ranking. Returns its serial, or an empty string and
// the reason in `error` (bad or duplicate serial, more than 64 devices or 256 channels
// per direction, too many sources).
std::string PlugDevice(SimState& state, const PlugOptions& options, std::string* error);

// Removes the device with that serial; false when there is none.
bool UnplugDevice(SimState& state, const std::string& serial);

// A serial may travel in a file name and an interface path: 1 to 64 characters of
// letters, digits, '-', '_' and '.'.
bool IsValidSerial(const std::string& serial);

// Orders the devices by ranking; devices with equal rankings keep their current order.
void SortByRanking(SimState& state);

// Sets the rankings to the positions 0..n-1 of the current order.
void RenumberRankings(SimState& state);

SimDevice* FindDevice(SimState& state, std::uint32_t id);
SimDevice* FindDeviceBySerial(SimState& state, const std::string& serial);

// Where a channel id points to: its device and channel, and its direction and index.
struct ChannelRef {
    SimDevice* device = nullptr;
    SimChannel* channel = nullptr;
    bool output = false;
    std::uint32_t index = 0;
};
ChannelRef FindChannel(SimState& state, std::uint32_t id);

std::size_t TotalInputs(const SimState& state);
std::size_t TotalOutputs(const SimState& state);

}  // namespace simdriver
