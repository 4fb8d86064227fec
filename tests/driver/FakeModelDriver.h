// A driver handler for the fake socket that serves a small, fixed set of devices and
// channels and fails chosen items, so the device model's first-failure and clamping rules
// can be driven item by item. Records carry their id in fields the tests can read back.
#pragma once

#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "driver/ZivuUsbRecords.h"
#include "platform/FakeDriverSocket.h"

struct FakeModel {
    std::vector<std::uint32_t> deviceIds;
    std::vector<std::uint32_t> inputIds;
    std::vector<std::uint32_t> outputIds;
    // Counts the driver reports instead of the true ones (beyond a record's capacity).
    std::optional<std::uint32_t> deviceCount;
    std::optional<std::uint32_t> inputCount;
    // Status of a request for (code, id); the id of a SET is the one its record carries.
    // Id 0 of a list request fails the list itself.
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> failures;
};

// The id a property request asks for, or the id a SET record carries.
inline std::uint32_t RequestedId(const FakeDriverSocket::Request& request) {
    // An id is the first input word: the id itself, a selection's DeviceId, or the
    // identity that a device record carries in its first preserved bytes.
    std::uint32_t id = 0;
    if (request.input.size() >= sizeof id) std::memcpy(&id, request.input.data(), sizeof id);
    return id;
}

template <typename Record>
std::vector<std::uint8_t> BytesOf(const Record& record) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&record);
    return std::vector<std::uint8_t>(p, p + sizeof record);
}

inline std::vector<std::uint8_t> FakeModelAnswer(const FakeModel& model, std::uint32_t code,
                                                 std::uint32_t id) {
    if (code == IOCTL_GET_DEVICE_LIST) {
        _DEVICE_LIST list{};
        list.DeviceCount = model.deviceCount.value_or(model.deviceIds.size());
        for (std::size_t i = 0; i < model.deviceIds.size() && i < ZIVU_MAX_DEVICES; ++i)
            list.DeviceIds[i] = model.deviceIds[i];
        return BytesOf(list);
    }
    if (code == IOCTL_GET_CHANNEL_LISTS) {
        _CHANNEL_LISTS lists{};
        lists.InputCount = model.inputCount.value_or(model.inputIds.size());
        for (std::size_t i = 0; i < model.inputIds.size() && i < ZIVU_MAX_CHANNELS; ++i)
            lists.InputIds[i] = model.inputIds[i];
        lists.OutputCount = model.outputIds.size();
        for (std::size_t i = 0; i < model.outputIds.size() && i < ZIVU_MAX_CHANNELS; ++i)
            lists.OutputIds[i] = model.outputIds[i];
        return BytesOf(lists);
    }
    if (code == IOCTL_GET_DEVICE_PROPERTIES) {
        _ZEL_USB_DEVICE_PROPERTIES device{};
        std::memcpy(device.Preserved0, &id, sizeof id);
        device.Ranking = id + 1000;
        std::snprintf(device.DeviceName, sizeof device.DeviceName, "Device %u", id);
        return BytesOf(device);
    }
    if (code == IOCTL_GET_SYNC_MODE_INFO) {
        _DEVICE_SYNC_MODE_INFO info{};
        info.DeviceId = id;
        info.CurrentSource.SourceContext = id * 10;
        info.CurrentSource.SourceId = id * 10 + 1;
        info.SourceCount = 1;
        info.Sources[0] = info.CurrentSource;
        return BytesOf(info);
    }
    if (code == IOCTL_GET_CHANNEL_PROPERTIES) {
        _ZEL_USB_CHANNEL_PROPERTIES channel{};
        channel.DeviceId = id;  // the channel's own id, so the test can read it back
        std::snprintf(channel.ChannelName, sizeof channel.ChannelName, "Channel %u", id);
        return BytesOf(channel);
    }
    return {};
}

inline FakeDriverSocket::Handler ServeModel(FakeModel model) {
    return FakeDriverSocket::Standard(
        2, [model = std::move(model)](const FakeDriverSocket::Request& request,
                                      FakeDriverSocket::Peer& peer, int&) {
            const std::uint32_t id = RequestedId(request);
            const auto failure = model.failures.find({request.code, id});
            if (failure != model.failures.end()) {
                peer.Reply(request.sequence, failure->second);
                return;
            }
            peer.Reply(request.sequence, 0, FakeModelAnswer(model, request.code, id));
        });
}
