#include "simdriver/core/SimDevices.h"

#include <algorithm>
#include <cstdio>

#include "driver/RecordText.h"
#include "driver/ZivuUsbRecords.h"

namespace simdriver {
namespace {

const char* const kSourceNames[] = {"Internal", "S/PDIF", "Word Clock"};

std::vector<SimChannel> MakeChannels(SimState& state, int count, const char* hardwarePrefix,
                                     const char* namePrefix) {
    std::vector<SimChannel> channels;
    for (int i = 1; i <= count; ++i) {
        channels.push_back({state.nextChannelId++, hardwarePrefix + std::to_string(i),
                            namePrefix + std::to_string(i)});
    }
    return channels;
}

}  // namespace

bool IsValidSerial(const std::string& serial) {
    if (serial.empty() || serial.size() > 64) return false;
    return std::all_of(serial.begin(), serial.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_' || c == '.';
    });
}

std::size_t TotalInputs(const SimState& state) {
    std::size_t total = 0;
    for (const SimDevice& device : state.devices) total += device.inputs.size();
    return total;
}

std::size_t TotalOutputs(const SimState& state) {
    std::size_t total = 0;
    for (const SimDevice& device : state.devices) total += device.outputs.size();
    return total;
}

std::string PlugDevice(SimState& state, const PlugOptions& options, std::string* error) {
    auto fail = [error](std::string message) {
        if (error) *error = std::move(message);
        return std::string();
    };
    if (state.devices.size() >= kMaxDevices)
        return fail("the driver already has " + std::to_string(kMaxDevices) + " devices");
    if (options.inputs < 0 || options.outputs < 0)
        return fail("channel counts must not be negative");
    if (TotalInputs(state) + static_cast<std::size_t>(options.inputs) > kMaxChannelsPerDirection)
        return fail("more than 256 input channels in total");
    if (TotalOutputs(state) + static_cast<std::size_t>(options.outputs) > kMaxChannelsPerDirection)
        return fail("more than 256 output channels in total");
    if (options.sources < 1 || static_cast<std::size_t>(options.sources) > kMaxSources)
        return fail("a device offers 1 to 16 clock sources");

    std::uint32_t number = state.nextSerial;
    std::string serial = options.serial;
    if (serial.empty()) {
        // Skip generated serials that a device plugged by name already uses.
        do {
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, "SIM%06u", number++ % 1000000u);
            serial = buffer;
        } while (FindDeviceBySerial(state, serial));
    } else {
        if (!IsValidSerial(serial))
            return fail("serial '" + serial + "' must be 1 to 64 letters, digits, '-', '_', '.'");
        if (FindDeviceBySerial(state, serial))
            return fail("a device with serial " + serial + " is already plugged");
        ++number;
    }
    state.nextSerial = number;

    SimDevice device;
    device.id = state.nextDeviceId++;
    device.serial = serial;
    device.name = options.name.empty() ? "USB Audio " + std::to_string(number - 1) : options.name;
    device.name = std::string(CutAtCharacterBoundary(device.name, ZIVU_NAME_SIZE - 1));
    device.inputs = MakeChannels(state, options.inputs, "Line In ", "In ");
    device.outputs = MakeChannels(state, options.outputs, "Line Out ", "Out ");
    for (int i = 0; i < options.sources; ++i) {
        std::string name = i < 3 ? kSourceNames[i] : "Source " + std::to_string(i + 1);
        // The context is the driver's own value; tie it to the device so that a selection
        // sent for the wrong device is noticed.
        device.sources.push_back(
            {device.id ^ 0x5C000000u, static_cast<std::uint32_t>(i + 1), name});
    }
    RenumberRankings(state);
    device.ranking = static_cast<std::uint32_t>(state.devices.size());
    state.devices.push_back(std::move(device));
    return serial;
}

bool UnplugDevice(SimState& state, const std::string& serial) {
    auto it = std::find_if(state.devices.begin(), state.devices.end(),
                           [&](const SimDevice& d) { return d.serial == serial; });
    if (it == state.devices.end()) return false;
    state.devices.erase(it);
    RenumberRankings(state);
    return true;
}

void SortByRanking(SimState& state) {
    std::stable_sort(state.devices.begin(), state.devices.end(),
                     [](const SimDevice& a, const SimDevice& b) { return a.ranking < b.ranking; });
}

void RenumberRankings(SimState& state) {
    SortByRanking(state);
    for (std::size_t i = 0; i < state.devices.size(); ++i)
        state.devices[i].ranking = static_cast<std::uint32_t>(i);
}

SimDevice* FindDevice(SimState& state, std::uint32_t id) {
    for (SimDevice& device : state.devices)
        if (device.id == id) return &device;
    return nullptr;
}

SimDevice* FindDeviceBySerial(SimState& state, const std::string& serial) {
    for (SimDevice& device : state.devices)
        if (device.serial == serial) return &device;
    return nullptr;
}

ChannelRef FindChannel(SimState& state, std::uint32_t id) {
    for (SimDevice& device : state.devices) {
        for (std::uint32_t i = 0; i < device.inputs.size(); ++i)
            if (device.inputs[i].id == id) return {&device, &device.inputs[i], false, i};
        for (std::uint32_t i = 0; i < device.outputs.size(); ++i)
            if (device.outputs[i].id == id) return {&device, &device.outputs[i], true, i};
    }
    return {};
}

}  // namespace simdriver
