// The substitute driver's answers to each control request: sizes, lists in ranking
// order, write-back of records, value checks and refusals while streaming.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "simdriver/CoreClient.h"

namespace {

struct SizeCase {
    std::uint32_t code;
    std::uint32_t inSize;
    std::uint32_t outSize;
};

// Every code with the sizes of its records.
const SizeCase kSizes[] = {
    {IOCTL_GET_DRIVER_VERSION, 0, 12},     {IOCTL_GET_INCLUDE_DEVICE_NAME, 0, 4},
    {IOCTL_SET_INCLUDE_DEVICE_NAME, 4, 0}, {IOCTL_REGISTER_NOTIFICATION_EVENT, 4, 0},
    {IOCTL_GET_NOTIFICATION, 0, 12},       {IOCTL_GET_DEVICE_LIST, 0, 260},
    {IOCTL_GET_CHANNEL_LISTS, 0, 2056},    {IOCTL_GET_CLOCK_MASTER, 0, 12},
    {IOCTL_SET_CLOCK_MASTER, 12, 0},       {IOCTL_GET_RATE_SELECTION_MODE, 0, 8},
    {IOCTL_SET_RATE_SELECTION_MODE, 8, 0}, {IOCTL_GET_SAMPLE_RATE_INFO, 0, 44},
    {IOCTL_SET_SAMPLE_RATE, 8, 0},         {IOCTL_GET_SYNC_MODE_INFO, 4, 824},
    {IOCTL_SET_SYNC_MODE, 12, 0},          {IOCTL_GET_DEVICE_PROPERTIES, 4, 512},
    {IOCTL_SET_DEVICE_PROPERTIES, 512, 0}, {IOCTL_GET_CHANNEL_PROPERTIES, 4, 92},
    {IOCTL_SET_CHANNEL_PROPERTIES, 92, 0}, {IOCTL_BUFFER_CHANGE_STEP2, 0, 0},
    {IOCTL_BUFFER_CHANGE_STEP1, 0, 0},     {IOCTL_GET_STREAM_BUFFER, 0, 16},
    {IOCTL_SET_STREAM_BUFFER, 16, 0},      {IOCTL_GET_ASIO_BUFFER, 0, 16},
    {IOCTL_SET_ASIO_BUFFER, 16, 0},        {IOCTL_GET_WDM_BUFFER, 0, 16},
    {IOCTL_SET_WDM_BUFFER, 16, 0},         {IOCTL_GET_STREAM_STATISTICS, 0, 60},
};

TEST_F(CoreTest, EveryCodeRefusesAnyOtherSizeAndUnknownCodesAreRejected) {
    std::vector<std::uint8_t> in(4096), out(4096);
    for (const SizeCase& c : kSizes) {
        SCOPED_TRACE(testing::Message() << std::hex << c.code);
        for (std::uint32_t wrongIn : {c.inSize + 1, c.inSize ? c.inSize - 1 : 8u})
            EXPECT_EQ(Call(c.code, in.data(), wrongIn, out.data(), c.outSize),
                      std::uint32_t(EINVAL));
        for (std::uint32_t wrongOut : {c.outSize + 1, c.outSize ? c.outSize - 1 : 4u})
            EXPECT_EQ(Call(c.code, in.data(), c.inSize, out.data(), wrongOut),
                      std::uint32_t(EINVAL));
    }
    EXPECT_EQ(Call(ZivuUsbControlCode(0xA02), nullptr, 0, nullptr, 0), std::uint32_t(ENOTTY));
    EXPECT_EQ(Call(0, nullptr, 0, nullptr, 0), std::uint32_t(ENOTTY));
}

TEST_F(CoreTest, GetsAnswerWithWholeRecordsOfTheRightSize) {
    Plug();
    std::uint32_t device = DeviceIds().at(0);
    std::uint32_t channel = ChannelLists().InputIds[0];
    for (const SizeCase& c : kSizes) {
        if (c.outSize == 0 || c.code == IOCTL_GET_NOTIFICATION) continue;
        std::uint32_t id = c.code == IOCTL_GET_CHANNEL_PROPERTIES ? channel : device;
        simdriver::Reply reply = core.Handle(connection, c.code, &id, c.inSize, c.outSize);
        EXPECT_EQ(reply.status, 0u) << std::hex << c.code;
        EXPECT_EQ(reply.out.size(), c.outSize) << std::hex << c.code;
    }
    EXPECT_EQ(Call(IOCTL_BUFFER_CHANGE_STEP1, nullptr, 0, nullptr, 0), 0u);
    EXPECT_EQ(Call(IOCTL_BUFFER_CHANGE_STEP2, nullptr, 0, nullptr, 0), 0u);
}

TEST_F(CoreTest, UnknownDeviceAndChannelIdsAreNoDevice) {
    Plug();
    std::uint32_t unknown = 0xDEADBEEF;
    _DEVICE_SYNC_MODE_INFO sync;
    _ZEL_USB_DEVICE_PROPERTIES device;
    _ZEL_USB_CHANNEL_PROPERTIES channel;
    EXPECT_EQ(GetById(IOCTL_GET_SYNC_MODE_INFO, unknown, sync), std::uint32_t(ENODEV));
    EXPECT_EQ(GetById(IOCTL_GET_DEVICE_PROPERTIES, unknown, device), std::uint32_t(ENODEV));
    EXPECT_EQ(GetById(IOCTL_GET_CHANNEL_PROPERTIES, unknown, channel), std::uint32_t(ENODEV));
    // A device id is not a channel id and the other way round.
    EXPECT_EQ(GetById(IOCTL_GET_CHANNEL_PROPERTIES, DeviceIds()[0], channel),
              std::uint32_t(ENODEV));
    EXPECT_EQ(GetById(IOCTL_GET_DEVICE_PROPERTIES, ChannelLists().InputIds[0], device),
              std::uint32_t(ENODEV));
    EXPECT_EQ(Set(IOCTL_SET_SYNC_MODE, _SYNC_MODE_SELECTION{unknown, 0, 1}), std::uint32_t(ENODEV));
    _ZEL_USB_DEVICE_PROPERTIES forged{};
    std::memcpy(forged.Preserved0, &unknown, 4);
    EXPECT_EQ(Set(IOCTL_SET_DEVICE_PROPERTIES, forged), std::uint32_t(ENODEV));
}

TEST_F(CoreTest, ListsFollowTheRankingAndIdsStayStable) {
    Plug({"A1", "Alpha", 2, 1, 3});
    Plug({"B1", "Beta", 1, 2, 3});
    std::vector<std::uint32_t> ids = DeviceIds();
    ASSERT_EQ(ids.size(), 2u);
    _ZEL_USB_DEVICE_PROPERTIES beta = Device(ids[1]);
    EXPECT_STREQ(beta.SerialNumber, "B1");
    EXPECT_EQ(beta.Ranking, 1u);

    beta.Ranking = 0;  // Beta to the top, then Alpha to the second place
    ASSERT_EQ(Set(IOCTL_SET_DEVICE_PROPERTIES, beta), 0u);
    _ZEL_USB_DEVICE_PROPERTIES alpha = Device(ids[0]);
    alpha.Ranking = 1;
    ASSERT_EQ(Set(IOCTL_SET_DEVICE_PROPERTIES, alpha), 0u);

    EXPECT_EQ(DeviceIds(), (std::vector<std::uint32_t>{ids[1], ids[0]}));
    _CHANNEL_LISTS lists = ChannelLists();
    ASSERT_EQ(lists.InputCount, 3u);
    ASSERT_EQ(lists.OutputCount, 3u);
    auto deviceOf = [&](std::uint32_t channel) { return Channel(channel).DeviceId; };
    EXPECT_EQ(deviceOf(lists.InputIds[0]), ids[1]);
    EXPECT_EQ(deviceOf(lists.InputIds[1]), ids[0]);
    EXPECT_EQ(deviceOf(lists.OutputIds[0]), ids[1]);
    EXPECT_EQ(deviceOf(lists.OutputIds[1]), ids[1]);
    EXPECT_EQ(deviceOf(lists.OutputIds[2]), ids[0]);
    EXPECT_STREQ(Channel(lists.InputIds[1]).HardwareName, "Line In 1");
}

// A client writes every device's new position one record after the other; whatever the
// permutation, the driver must end with exactly that order.
TEST_F(CoreTest, WritingEveryRankingInTurnGivesThatOrder) {
    const std::vector<std::vector<std::uint32_t>> permutations{
        {3, 2, 1, 0}, {1, 2, 3, 0}, {2, 0, 3, 1}, {0, 1, 2, 3}, {3, 0, 1, 2}};
    for (int i = 0; i < 4; ++i) Plug({"", "D" + std::to_string(i), 1, 1, 1});
    for (const auto& target : permutations) {
        std::vector<std::uint32_t> ids = DeviceIds();
        std::vector<_ZEL_USB_DEVICE_PROPERTIES> records;
        for (std::uint32_t id : ids) records.push_back(Device(id));
        for (std::size_t i = 0; i < records.size(); ++i) {
            records[i].Ranking = target[i];
            ASSERT_EQ(Set(IOCTL_SET_DEVICE_PROPERTIES, records[i]), 0u);
        }
        std::vector<std::uint32_t> expected(ids.size());
        for (std::size_t i = 0; i < ids.size(); ++i) expected[target[i]] = ids[i];
        EXPECT_EQ(DeviceIds(), expected);
        for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(Device(expected[i]).Ranking, i);
    }
}

TEST_F(CoreTest, CollidingRankingsKeepThePreviousOrder) {
    Plug({"", "First", 1, 1, 1});
    Plug({"", "Second", 1, 1, 1});
    Plug({"", "Third", 1, 1, 1});
    std::vector<std::uint32_t> ids = DeviceIds();
    _ZEL_USB_DEVICE_PROPERTIES third = Device(ids[2]);
    third.Ranking = 0;  // now First and Third both claim place 0
    ASSERT_EQ(Set(IOCTL_SET_DEVICE_PROPERTIES, third), 0u);
    EXPECT_EQ(DeviceNamesInListOrder(), (std::vector<std::string>{"First", "Third", "Second"}));
    ASSERT_EQ(Set(IOCTL_SET_DEVICE_PROPERTIES, third), 0u);  // the same again: no change
    EXPECT_EQ(DeviceNamesInListOrder(), (std::vector<std::string>{"First", "Third", "Second"}));
}

TEST_F(CoreTest, DeviceRecordsWriteBackNameAndRankingOnly) {
    Plug({"SER-9", "Old", 1, 1, 1});
    std::uint32_t id = DeviceIds()[0];
    _ZEL_USB_DEVICE_PROPERTIES record = Device(id);
    _ZEL_USB_DEVICE_PROPERTIES original = record;

    std::strcpy(record.DeviceName, "Renamed");
    std::memcpy(record.SerialNumber, "X", 2);  // read only: ignored
    ASSERT_EQ(Set(IOCTL_SET_DEVICE_PROPERTIES, record), 0u);
    _ZEL_USB_DEVICE_PROPERTIES after = Device(id);
    EXPECT_STREQ(after.DeviceName, "Renamed");
    EXPECT_STREQ(after.SerialNumber, "SER-9");
    EXPECT_EQ(std::memcmp(after.Preserved1, original.Preserved1, sizeof after.Preserved1), 0);

    // A field without its NUL is stored cut to 39 bytes.
    std::memset(record.DeviceName, 'n', sizeof record.DeviceName);
    ASSERT_EQ(Set(IOCTL_SET_DEVICE_PROPERTIES, record), 0u);
    EXPECT_EQ(std::string(Device(id).DeviceName), std::string(39, 'n'));

    for (std::size_t offset : {std::size_t{8}, std::size_t{95}, std::size_t{511}}) {
        _ZEL_USB_DEVICE_PROPERTIES changed = Device(id);
        reinterpret_cast<std::uint8_t*>(&changed)[offset] ^= 0xFF;
        EXPECT_EQ(Set(IOCTL_SET_DEVICE_PROPERTIES, changed), std::uint32_t(EINVAL)) << offset;
    }
}

TEST_F(CoreTest, ChannelRecordsWriteBackTheNameOnly) {
    Plug({"", "", 2, 2, 1});
    std::uint32_t id = ChannelLists().OutputIds[1];
    _ZEL_USB_CHANNEL_PROPERTIES record = Channel(id);
    EXPECT_STREQ(record.HardwareName, "Line Out 2");
    EXPECT_STREQ(record.ChannelName, "Out 2");

    std::strcpy(record.ChannelName, "Monitor L");
    std::strcpy(record.HardwareName, "ignored");
    ASSERT_EQ(Set(IOCTL_SET_CHANNEL_PROPERTIES, record), 0u);
    EXPECT_STREQ(Channel(id).ChannelName, "Monitor L");
    EXPECT_STREQ(Channel(id).HardwareName, "Line Out 2");

    for (std::size_t offset : {std::size_t{0}, std::size_t{4}, std::size_t{9}}) {
        _ZEL_USB_CHANNEL_PROPERTIES changed = Channel(id);
        reinterpret_cast<std::uint8_t*>(&changed)[offset] ^= 0x01;
        std::uint32_t status = Set(IOCTL_SET_CHANNEL_PROPERTIES, changed);
        EXPECT_TRUE(status == EINVAL || status == ENODEV) << offset << ": " << status;
    }
}

struct SettingCase {
    const char* what;
    std::function<std::uint32_t(CoreTest&)> apply;
    std::uint32_t expected;
};

// Each SET with a value the driver keeps, or refuses.
TEST_F(CoreTest, SettingsAcceptTheirRangeAndRefuseTheRest) {
    Plug({"", "", 1, 1, 3});
    auto setting = [](std::uint32_t code, std::uint32_t value) {
        return [=](CoreTest& t) { return t.Set(code, _SETTING_VALUE{0, value}); };
    };
    auto stream = [](std::function<void(_STREAM_BUFFER_INFO&)> change) {
        return [=](CoreTest& t) {
            _STREAM_BUFFER_INFO info;
            t.Get(IOCTL_GET_STREAM_BUFFER, info);
            change(info);
            return t.Set(IOCTL_SET_STREAM_BUFFER, info);
        };
    };
    auto audio = [](std::uint32_t get, std::uint32_t set,
                    std::function<void(_AUDIO_BUFFER_INFO&)> change) {
        return [=](CoreTest& t) {
            _AUDIO_BUFFER_INFO info;
            t.Get(get, info);
            change(info);
            return t.Set(set, info);
        };
    };
    auto master = [](std::function<void(_CLOCK_MASTER_INFO&)> change) {
        return [=](CoreTest& t) {
            _CLOCK_MASTER_INFO info;
            t.Get(IOCTL_GET_CLOCK_MASTER, info);
            change(info);
            return t.Set(IOCTL_SET_CLOCK_MASTER, info);
        };
    };
    const std::uint32_t ok = 0, invalid = EINVAL;
    const SettingCase cases[] = {
        {"rate 96000", setting(IOCTL_SET_SAMPLE_RATE, 96000), ok},
        {"rate 32000", setting(IOCTL_SET_SAMPLE_RATE, 32000), invalid},
        {"mode auto", setting(IOCTL_SET_RATE_SELECTION_MODE, 1), ok},
        {"mode 2", setting(IOCTL_SET_RATE_SELECTION_MODE, 2), invalid},
        {"stream 4000", stream([](auto& i) { i.CurrentUs = 4000; }), ok},
        {"stream 8000", stream([](auto& i) { i.CurrentUs = i.MaximumUs; }), ok},
        {"stream 2050", stream([](auto& i) { i.CurrentUs = 2050; }), invalid},
        {"stream 875", stream([](auto& i) { i.CurrentUs = i.MinimumUs - i.StepUs; }), invalid},
        {"stream max+step", stream([](auto& i) { i.CurrentUs = i.MaximumUs + i.StepUs; }), invalid},
        {"stream range", stream([](auto& i) { i.MinimumUs = 0; }), invalid},
        {"asio 1000",
         audio(IOCTL_GET_ASIO_BUFFER, IOCTL_SET_ASIO_BUFFER, [](auto& i) { i.CurrentUs = 1000; }),
         ok},
        {"asio 80000",
         audio(IOCTL_GET_ASIO_BUFFER, IOCTL_SET_ASIO_BUFFER, [](auto& i) { i.CurrentUs = 80000; }),
         ok},
        {"asio 999",
         audio(IOCTL_GET_ASIO_BUFFER, IOCTL_SET_ASIO_BUFFER, [](auto& i) { i.CurrentUs = 999; }),
         invalid},
        {"asio reserved",
         audio(IOCTL_GET_ASIO_BUFFER, IOCTL_SET_ASIO_BUFFER, [](auto& i) { i.Reserved2[3] ^= 1; }),
         invalid},
        {"wdm 80001",
         audio(IOCTL_GET_WDM_BUFFER, IOCTL_SET_WDM_BUFFER, [](auto& i) { i.CurrentUs = 80001; }),
         invalid},
        {"wdm granularity",
         audio(IOCTL_GET_WDM_BUFFER, IOCTL_SET_WDM_BUFFER,
               [](auto& i) { i.SampleGranularity = 7; }),
         invalid},
        {"wdm 20000",
         audio(IOCTL_GET_WDM_BUFFER, IOCTL_SET_WDM_BUFFER, [](auto& i) { i.CurrentUs = 20000; }),
         ok},
        {"master 1", master([](auto& i) { i.ClockMaster = 1; }), ok},
        {"master 2", master([](auto& i) { i.ClockMaster = 2; }), invalid},
        {"master reserved", master([](auto& i) { i.Reserved1[0] = 0; }), invalid},
    };
    for (const SettingCase& c : cases) {
        simdriver::SimState before = core.State();
        EXPECT_EQ(c.apply(*this), c.expected) << c.what;
        if (c.expected != 0) {
            EXPECT_EQ(core.State().currentRate, before.currentRate) << c.what;
            EXPECT_EQ(core.State().streamBuffer.currentUs, before.streamBuffer.currentUs) << c.what;
            EXPECT_EQ(core.State().asioBuffer.currentUs, before.asioBuffer.currentUs) << c.what;
        }
    }
    EXPECT_EQ(core.State().currentRate, 96000u);
    EXPECT_EQ(core.State().rateSelectionMode, 1u);
    EXPECT_EQ(core.State().streamBuffer.currentUs, 8000u);
    EXPECT_EQ(core.State().asioBuffer.currentUs, 80000u);
    EXPECT_EQ(core.State().wdmBuffer.currentUs, 20000u);
    EXPECT_EQ(core.State().clockMaster, 1u);
    // GET_RATE_SELECTION_MODE answers in the Value word.
    _SETTING_VALUE mode{7, 7};
    ASSERT_EQ(Get(IOCTL_GET_RATE_SELECTION_MODE, mode), 0u);
    EXPECT_EQ(mode.Value, 1u);
}

TEST_F(CoreTest, RateAndClockSourceChangesAreRefusedWhileStreaming) {
    Plug({"", "", 1, 1, 3});
    std::uint32_t device = DeviceIds()[0];
    _DEVICE_SYNC_MODE_INFO info;
    ASSERT_EQ(GetById(IOCTL_GET_SYNC_MODE_INFO, device, info), 0u);
    ASSERT_EQ(info.SourceCount, 3u);
    EXPECT_STREQ(info.CurrentSource.SourceName, "Internal");
    _SYNC_MODE_SELECTION spdif{device, info.Sources[1].SourceContext, info.Sources[1].SourceId};

    core.SetStreaming(true);
    EXPECT_EQ(Set(IOCTL_SET_SAMPLE_RATE, _SETTING_VALUE{0, 44100}), ZIVU_STATUS_STREAMING);
    EXPECT_EQ(Set(IOCTL_SET_SYNC_MODE, spdif), ZIVU_STATUS_STREAMING);
    EXPECT_EQ(core.State().currentRate, 48000u);
    EXPECT_EQ(core.State().devices[0].currentSource, 0u);
    // Other settings still work while streaming.
    EXPECT_EQ(Set(IOCTL_SET_INCLUDE_DEVICE_NAME, std::uint32_t{1}), 0u);

    core.SetStreaming(false);
    EXPECT_EQ(Set(IOCTL_SET_SAMPLE_RATE, _SETTING_VALUE{0, 44100}), 0u);
    EXPECT_EQ(Set(IOCTL_SET_SYNC_MODE, spdif), 0u);
    ASSERT_EQ(GetById(IOCTL_GET_SYNC_MODE_INFO, device, info), 0u);
    EXPECT_STREQ(info.CurrentSource.SourceName, "S/PDIF");
    // A source of another device, or an unknown one, is refused.
    EXPECT_EQ(Set(IOCTL_SET_SYNC_MODE, _SYNC_MODE_SELECTION{device, 0, 1}), std::uint32_t(EINVAL));
}

TEST_F(CoreTest, CountsBeyondARecordsCapacityAreCut) {
    simdriver::SimState& state = core.MutableState();
    state.rates = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 192000};
    Plug({"", "", 1, 1, 16});
    state.devices[0].sources.push_back({1, 99, "Seventeenth"});
    _SAMPLE_RATE_INFO rates;
    ASSERT_EQ(Get(IOCTL_GET_SAMPLE_RATE_INFO, rates), 0u);
    EXPECT_EQ(rates.RateCount, 8u);
    EXPECT_EQ(rates.Rates[7], 88200u);
    _DEVICE_SYNC_MODE_INFO sync;
    ASSERT_EQ(GetById(IOCTL_GET_SYNC_MODE_INFO, DeviceIds()[0], sync), 0u);
    EXPECT_EQ(sync.SourceCount, 16u);
    EXPECT_STREQ(sync.Sources[15].SourceName, "Source 16");
}

TEST_F(CoreTest, VersionAndStatisticsComeFromTheState) {
    core.SetVersion(3, 1);
    core.SetDriverVersion(7, 8, 4000000000u);
    core.SetDropouts(4294967295u);
    _DRIVER_VERSION_INFO version;
    ASSERT_EQ(Get(IOCTL_GET_DRIVER_VERSION, version), 0u);
    EXPECT_EQ(version.InterfaceMajor, 3);
    EXPECT_EQ(version.InterfaceMinor, 1);
    EXPECT_EQ(version.DriverMajor, 7);
    EXPECT_EQ(version.DriverBuild, 4000000000u);
    _STREAM_STATISTICS statistics;
    ASSERT_EQ(Get(IOCTL_GET_STREAM_STATISTICS, statistics), 0u);
    EXPECT_EQ(statistics.DropOutCount, 4294967295u);
}

TEST(SimDevices, PlugRefusesBeyondTheRecordsCapacity) {
    simdriver::SimState state;
    std::string error;
    for (int i = 0; i < 64; ++i)
        ASSERT_FALSE(simdriver::PlugDevice(state, {"", "", 4, 4, 1}, &error).empty()) << error;
    EXPECT_TRUE(simdriver::PlugDevice(state, {"", "", 0, 0, 1}, &error).empty());
    EXPECT_NE(error.find("64"), std::string::npos);

    simdriver::SimState channels;
    ASSERT_FALSE(simdriver::PlugDevice(channels, {"", "", 200, 256, 1}, &error).empty());
    EXPECT_TRUE(simdriver::PlugDevice(channels, {"", "", 57, 0, 1}, &error).empty());
    EXPECT_TRUE(simdriver::PlugDevice(channels, {"", "", 0, 1, 1}, &error).empty());
    EXPECT_FALSE(simdriver::PlugDevice(channels, {"", "", 56, 0, 1}, &error).empty()) << error;

    for (const char* serial : {"has space", "a/b", "x#y", ""}) {
        simdriver::SimState fresh;
        std::string plugged = simdriver::PlugDevice(fresh, {serial, "", 1, 1, 1}, &error);
        EXPECT_EQ(plugged.empty(), *serial != '\0') << serial;
    }
    simdriver::SimState twice;
    ASSERT_FALSE(simdriver::PlugDevice(twice, {"S1", "", 1, 1, 1}, &error).empty());
    EXPECT_TRUE(simdriver::PlugDevice(twice, {"S1", "", 1, 1, 1}, &error).empty());
    EXPECT_TRUE(simdriver::PlugDevice(twice, {"S2", "", 1, 1, 17}, &error).empty());
}

}  // namespace
