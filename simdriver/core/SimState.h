// Everything the substitute driver knows: the simulated devices with their channels and
// clock sources, and the driver-wide settings. Plain data; SimDriverCore works on it and
// StateJson turns it into the state file and the dump.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace simdriver {

// One input or output channel of a device.
struct SimChannel {
    std::uint32_t id = 0;      // opaque channel id handed out in the channel lists
    std::string hardwareName;  // fixed, read only
    std::string name;          // user name, at most 39 bytes
};

// One clock source a device offers.
struct SimClockSource {
    std::uint32_t context = 0;  // SourceContext: travels with the source
    std::uint32_t id = 0;       // SourceId
    std::string name;
};

// One plugged device.
struct SimDevice {
    std::uint32_t id = 0;  // opaque device id
    std::string serial;
    std::string name;
    std::uint32_t ranking = 0;
    std::vector<SimChannel> inputs;
    std::vector<SimChannel> outputs;
    std::vector<SimClockSource> sources;
    std::uint32_t currentSource = 0;  // index into sources
};

struct SimStreamBuffer {
    std::uint32_t minimumUs = 1000;
    std::uint32_t maximumUs = 8000;
    std::uint32_t stepUs = 125;
    std::uint32_t currentUs = 2000;
};

// The ASIO and the WDM buffer: the reserved bytes are the driver's and must come back
// unchanged with every SET.
struct SimAudioBuffer {
    std::uint32_t currentUs = 0;
    std::array<std::uint8_t, 4> reserved1{};
    std::uint32_t sampleGranularity = 0;
    std::array<std::uint8_t, 4> reserved2{};
};

struct SimVersion {
    std::uint8_t interfaceMajor = 2;
    std::uint8_t interfaceMinor = 0;
    std::uint8_t driverMajor = 1;
    std::uint8_t driverMinor = 4;
    std::uint32_t driverBuild = 2100;
};

struct SimState {
    // Devices in ranking order (the order of the device and channel lists).
    std::vector<SimDevice> devices;
    std::uint32_t rateSelectionMode = 0;  // 1 automatic, 0 manual
    std::vector<std::uint32_t> rates{44100, 48000, 88200, 96000};
    std::uint32_t currentRate = 48000;
    std::uint32_t clockMaster = 0;
    std::array<std::uint8_t, 4> clockMasterReserved1{0xC1, 0xC2, 0xC3, 0xC4};
    std::array<std::uint8_t, 4> clockMasterReserved2{0xD1, 0xD2, 0xD3, 0xD4};
    SimStreamBuffer streamBuffer;
    SimAudioBuffer asioBuffer{4000, {0xA1, 0xA2, 0xA3, 0xA4}, 16, {0xA5, 0xA6, 0xA7, 0xA8}};
    SimAudioBuffer wdmBuffer{10000, {0xB1, 0xB2, 0xB3, 0xB4}, 0, {0xB5, 0xB6, 0xB7, 0xB8}};
    std::uint32_t includeDeviceName = 0;
    std::uint32_t dropouts = 0;
    bool streaming = false;
    SimVersion version;
    // Counters that keep ids and generated serials unique across unplug and restart.
    std::uint32_t nextDeviceId = 0x00D10001;
    std::uint32_t nextChannelId = 0x00C20001;
    std::uint32_t nextSerial = 1;
};

// Limits of the records: the lists cannot carry more.
constexpr std::size_t kMaxDevices = 64;
constexpr std::size_t kMaxChannelsPerDirection = 256;
constexpr std::size_t kMaxSources = 16;
constexpr std::size_t kMaxRates = 8;

// Notification codes the driver queues: 2 devices came, went or were re-ranked; 3 any
// other change of configuration.
constexpr std::int32_t kEventDevicesChanged = 2;
constexpr std::int32_t kEventConfigurationChanged = 3;

// The ASIO and WDM depths the driver accepts, microseconds.
constexpr std::uint32_t kAudioBufferMinimumUs = 1000;
constexpr std::uint32_t kAudioBufferMaximumUs = 80000;

}  // namespace simdriver
