// Test helper: one connection to an in-memory SimDriverCore, with typed GET and SET calls.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/ZivuUsbRecords.h"
#include "simdriver/core/SimDriverCore.h"

class CoreTest : public ::testing::Test {
public:  // the table-driven cases call these from lambdas
    simdriver::SimDriverCore core;
    simdriver::ConnectionId connection = core.OpenConnection();

    // Sends `inSize` bytes and copies the answer into `out` (left as it was on failure).
    std::uint32_t Call(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                       std::uint32_t outSize, int eventFd = -1, simdriver::ConnectionId on = 0) {
        simdriver::Reply reply =
            core.Handle(on ? on : connection, code, in, inSize, outSize, eventFd);
        if (reply.status == 0 && out) std::memcpy(out, reply.out.data(), reply.out.size());
        return reply.status;
    }
    template <typename Out>
    std::uint32_t Get(std::uint32_t code, Out& out) {
        return Call(code, nullptr, 0, &out, sizeof out);
    }
    template <typename Out>
    std::uint32_t GetById(std::uint32_t code, std::uint32_t id, Out& out) {
        return Call(code, &id, sizeof id, &out, sizeof out);
    }
    template <typename In>
    std::uint32_t Set(std::uint32_t code, const In& in) {
        return Call(code, &in, sizeof in, nullptr, 0);
    }

    std::string Plug(simdriver::PlugOptions options = {}) {
        std::string serial, error;
        EXPECT_TRUE(core.Plug(options, &serial, &error)) << error;
        return serial;
    }
    std::vector<std::uint32_t> DeviceIds() {
        _DEVICE_LIST list{};
        EXPECT_EQ(Get(IOCTL_GET_DEVICE_LIST, list), 0u);
        return {list.DeviceIds, list.DeviceIds + list.DeviceCount};
    }
    _CHANNEL_LISTS ChannelLists() {
        _CHANNEL_LISTS lists{};
        EXPECT_EQ(Get(IOCTL_GET_CHANNEL_LISTS, lists), 0u);
        return lists;
    }
    _ZEL_USB_DEVICE_PROPERTIES Device(std::uint32_t id) {
        _ZEL_USB_DEVICE_PROPERTIES record{};
        EXPECT_EQ(GetById(IOCTL_GET_DEVICE_PROPERTIES, id, record), 0u);
        return record;
    }
    _ZEL_USB_CHANNEL_PROPERTIES Channel(std::uint32_t id) {
        _ZEL_USB_CHANNEL_PROPERTIES record{};
        EXPECT_EQ(GetById(IOCTL_GET_CHANNEL_PROPERTIES, id, record), 0u);
        return record;
    }
    std::vector<std::string> DeviceNamesInListOrder() {
        std::vector<std::string> names;
        for (std::uint32_t id : DeviceIds()) names.push_back(Device(id).DeviceName);
        return names;
    }
};
