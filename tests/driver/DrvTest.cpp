#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "driver/Drv.h"
#include "driver/FakeModelDriver.h"

namespace {

using Ids = std::vector<std::uint32_t>;

constexpr std::uint32_t kRefused = 31;  // ERROR_GEN_FAILURE as a driver would say it
constexpr std::uint32_t kAlsoRefused = 0xE0000047u;

// The codes of the fake's log in order, and the ids asked for with one of them.
Ids Codes(FakeDriverSocket& fake) {
    Ids codes;
    for (const auto& request : fake.Requests()) codes.push_back(request.code);
    return codes;
}

Ids IdsSentWith(FakeDriverSocket& fake, std::uint32_t code) {
    Ids ids;
    for (const auto& request : fake.Requests())
        if (request.code == code) ids.push_back(RequestedId(request));
    return ids;
}

std::uint32_t DeviceIdOf(const _ZEL_USB_DEVICE_PROPERTIES& device) {
    std::uint32_t id;
    std::memcpy(&id, device.Preserved0, sizeof id);
    return id;
}

template <typename Record, typename IdOf>
Ids IdsIn(const CRecordArray<Record>& list, IdOf idOf) {
    Ids ids;
    for (std::size_t i = 0; i < list.GetSize(); ++i) ids.push_back(idOf(*list.GetAt(i)));
    return ids;
}

// The two per-device lists follow the same rules; each test runs over both.
struct DeviceListKind {
    const char* name;
    std::uint32_t getCode;
    std::uint32_t setCode;
    std::function<std::uint32_t(CDrv&)> load;
    std::function<std::uint32_t(CDrv&)> apply;
    std::function<Ids(CDrv&)> loadedIds;
};

const DeviceListKind kDeviceListKinds[] = {
    {"devices", IOCTL_GET_DEVICE_PROPERTIES, IOCTL_SET_DEVICE_PROPERTIES,
     [](CDrv& drv) { return drv.LoadDevices(); }, [](CDrv& drv) { return drv.ApplyDevices(); },
     [](CDrv& drv) { return IdsIn(drv.m_Devices, DeviceIdOf); }},
    {"sync modes", IOCTL_GET_SYNC_MODE_INFO, IOCTL_SET_SYNC_MODE,
     [](CDrv& drv) { return drv.LoadSyncModes(); }, [](CDrv& drv) { return drv.ApplySyncModes(); },
     [](CDrv& drv) {
         return IdsIn(drv.m_SyncModes,
                      [](const _DEVICE_SYNC_MODE_INFO& info) { return info.DeviceId; });
     }},
};

class ConnectedDrv {
public:
    explicit ConnectedDrv(FakeModel model) : fake(ZIVU_DRIVER_NAME) {
        fake.Serve(ServeModel(std::move(model)));
        EXPECT_EQ(drv.Open(ZIVU_DRIVER_NAME), 0u);
    }
    FakeDriverSocket fake;
    CDrv drv;
};

TEST(DrvLoad, TriesEveryDeviceKeepsWhatItReadAndReturnsTheFirstFailure) {
    struct Case {
        const char* name;
        Ids devices;
        std::map<std::uint32_t, std::uint32_t> failingIds;
        std::uint32_t status;
        Ids kept;
    };
    const Case cases[] = {
        {"no devices", {}, {}, 0, {}},
        {"all readable", {7, 3, 9}, {}, 0, {7, 3, 9}},
        {"second fails", {7, 3, 9}, {{3, kRefused}}, kRefused, {7, 9}},
        {"two fail, earliest wins", {7, 3, 9}, {{3, kRefused}, {9, kAlsoRefused}}, kRefused, {7}},
    };
    for (const DeviceListKind& kind : kDeviceListKinds) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(kind.name) + ": " + c.name);
            FakeModel model;
            model.deviceIds = c.devices;
            for (auto [id, status] : c.failingIds) model.failures[{kind.getCode, id}] = status;
            ConnectedDrv connected(model);

            EXPECT_EQ(kind.load(connected.drv), c.status);
            EXPECT_EQ(kind.loadedIds(connected.drv), c.kept);
            // One list request of its own, then every listed id in order.
            EXPECT_EQ(IdsSentWith(connected.fake, IOCTL_GET_DEVICE_LIST).size(), 1u);
            EXPECT_EQ(IdsSentWith(connected.fake, kind.getCode), c.devices);

            // Apply writes back exactly the records that were kept.
            EXPECT_EQ(kind.apply(connected.drv), 0u);
            EXPECT_EQ(IdsSentWith(connected.fake, kind.setCode), c.kept);
        }
    }
}

TEST(DrvLoad, AFailedDeviceListEndsTheLoadWithAnEmptyList) {
    for (const DeviceListKind& kind : kDeviceListKinds) {
        SCOPED_TRACE(kind.name);
        FakeModel model;
        model.deviceIds = {1, 2};
        model.failures[{IOCTL_GET_DEVICE_LIST, 0}] = kRefused;
        ConnectedDrv connected(model);
        EXPECT_EQ(kind.load(connected.drv), kRefused);
        EXPECT_TRUE(kind.loadedIds(connected.drv).empty());
        EXPECT_TRUE(IdsSentWith(connected.fake, kind.getCode).empty());
    }
}

TEST(DrvApply, GoesOnAfterAFailingFirstRecordAndReturnsItsStatus) {
    for (const DeviceListKind& kind : kDeviceListKinds) {
        SCOPED_TRACE(kind.name);
        FakeModel model;
        model.deviceIds = {4, 5, 6};
        model.failures[{kind.setCode, 4}] = kRefused;
        model.failures[{kind.setCode, 6}] = kAlsoRefused;
        ConnectedDrv connected(model);
        ASSERT_EQ(kind.load(connected.drv), 0u);
        EXPECT_EQ(kind.apply(connected.drv), kRefused);
        EXPECT_EQ(IdsSentWith(connected.fake, kind.setCode), (Ids{4, 5, 6}));
    }
}

TEST(DrvApply, SendsDeviceRecordsWholeAndBuildsEachClockSelectionFromItsRecord) {
    FakeModel model;
    model.deviceIds = {4, 5};
    ConnectedDrv connected(model);
    ASSERT_EQ(connected.drv.LoadDevices(), 0u);
    ASSERT_EQ(connected.drv.LoadSyncModes(), 0u);
    connected.drv.m_Devices.GetAt(1)->Ranking = 0;
    connected.drv.m_SyncModes.GetAt(1)->CurrentSource.SourceId = 77;

    ASSERT_EQ(connected.drv.ApplyDevices(), 0u);
    ASSERT_EQ(connected.drv.ApplySyncModes(), 0u);
    std::vector<std::vector<std::uint8_t>> devicesSent;
    std::vector<std::vector<std::uint8_t>> selectionsSent;
    for (const auto& request : connected.fake.Requests()) {
        if (request.code == IOCTL_SET_DEVICE_PROPERTIES) devicesSent.push_back(request.input);
        if (request.code == IOCTL_SET_SYNC_MODE) selectionsSent.push_back(request.input);
    }
    ASSERT_EQ(devicesSent.size(), 2u);
    EXPECT_EQ(devicesSent[0], BytesOf(*connected.drv.m_Devices.GetAt(0)));
    EXPECT_EQ(devicesSent[1], BytesOf(*connected.drv.m_Devices.GetAt(1)));
    EXPECT_EQ(selectionsSent,
              (std::vector<std::vector<std::uint8_t>>{BytesOf(_SYNC_MODE_SELECTION{4, 40, 41}),
                                                      BytesOf(_SYNC_MODE_SELECTION{5, 50, 77})}));
}

Ids ChannelIds(const CChannelArray& list) {
    return IdsIn(list, [](const _ZEL_USB_CHANNEL_PROPERTIES& c) { return c.DeviceId; });
}

TEST(DrvLoadChannels, ReadsOnlyTheAskedHalf) {
    FakeModel model;
    model.inputIds = {11, 12, 13, 14, 15};
    ConnectedDrv connected(model);
    CDrv& drv = connected.drv;

    EXPECT_EQ(drv.LoadChannels(drv.m_OutputChannels, true), 0u);
    EXPECT_TRUE(drv.m_OutputChannels.IsEmpty());
    EXPECT_EQ(Codes(connected.fake), (Ids{IOCTL_GET_DRIVER_VERSION, IOCTL_GET_CHANNEL_LISTS}));

    EXPECT_EQ(drv.LoadChannels(drv.m_InputChannels, false), 0u);
    EXPECT_EQ(ChannelIds(drv.m_InputChannels), (Ids{11, 12, 13, 14, 15}));
    EXPECT_EQ(IdsSentWith(connected.fake, IOCTL_GET_CHANNEL_LISTS).size(), 2u);
}

TEST(DrvLoadChannels, TakesTheOutputIdsFromTheSecondHalfAndDropsOnlyFailedChannels) {
    FakeModel model;
    model.inputIds = {1, 2};
    model.outputIds = {21, 22, 23};
    model.failures[{IOCTL_GET_CHANNEL_PROPERTIES, 22}] = kRefused;
    ConnectedDrv connected(model);
    CDrv& drv = connected.drv;

    EXPECT_EQ(drv.LoadChannels(drv.m_OutputChannels, true), kRefused);
    EXPECT_EQ(ChannelIds(drv.m_OutputChannels), (Ids{21, 23}));
    EXPECT_EQ(IdsSentWith(connected.fake, IOCTL_GET_CHANNEL_PROPERTIES), (Ids{21, 22, 23}));
    EXPECT_TRUE(drv.m_InputChannels.IsEmpty());  // the other list is left alone
}

TEST(DrvLoad, CountsBeyondTheRecordsCapacityAreClamped) {
    Ids devices(ZIVU_MAX_DEVICES);
    Ids channels(ZIVU_MAX_CHANNELS);
    for (std::uint32_t i = 0; i < devices.size(); ++i) devices[i] = 100 + i;
    for (std::uint32_t i = 0; i < channels.size(); ++i) channels[i] = 1000 + i;
    FakeModel model;
    model.deviceIds = devices;
    model.inputIds = channels;
    model.deviceCount = 1000;
    model.inputCount = 0xFFFFFFFFu;
    ConnectedDrv connected(model);
    CDrv& drv = connected.drv;

    EXPECT_EQ(drv.LoadDevices(), 0u);
    EXPECT_EQ(IdsIn(drv.m_Devices, DeviceIdOf), devices);
    EXPECT_EQ(drv.LoadSyncModes(), 0u);
    EXPECT_EQ(drv.m_SyncModes.GetSize(), ZIVU_MAX_DEVICES);
    EXPECT_EQ(drv.LoadChannels(drv.m_InputChannels, false), 0u);
    EXPECT_EQ(ChannelIds(drv.m_InputChannels), channels);
}

TEST(DrvClosed, EveryLoadEmptiesItsListAndReturnsNotOpen) {
    FakeModel model;
    model.deviceIds = {1, 2};
    model.inputIds = {5};
    model.outputIds = {6};
    ConnectedDrv connected(model);
    CDrv& drv = connected.drv;
    ASSERT_EQ(drv.LoadDevices(), 0u);
    ASSERT_EQ(drv.LoadSyncModes(), 0u);
    ASSERT_EQ(drv.LoadChannels(drv.m_InputChannels, false), 0u);
    ASSERT_EQ(drv.LoadChannels(drv.m_OutputChannels, true), 0u);
    drv.Close();
    const std::size_t requestsWhileOpen = connected.fake.Requests().size();

    // Closing keeps the lists; an apply over them reports the first item's status.
    EXPECT_EQ(drv.m_Devices.GetSize(), 2u);
    EXPECT_EQ(drv.ApplyDevices(), ZIVU_STATUS_NOT_OPEN);
    EXPECT_EQ(drv.ApplySyncModes(), ZIVU_STATUS_NOT_OPEN);

    EXPECT_EQ(drv.LoadDevices(), ZIVU_STATUS_NOT_OPEN);
    EXPECT_EQ(drv.LoadSyncModes(), ZIVU_STATUS_NOT_OPEN);
    EXPECT_EQ(drv.LoadChannels(drv.m_InputChannels, false), ZIVU_STATUS_NOT_OPEN);
    EXPECT_EQ(drv.LoadChannels(drv.m_OutputChannels, true), ZIVU_STATUS_NOT_OPEN);
    EXPECT_TRUE(drv.m_Devices.IsEmpty());
    EXPECT_TRUE(drv.m_SyncModes.IsEmpty());
    EXPECT_TRUE(drv.m_InputChannels.IsEmpty());
    EXPECT_TRUE(drv.m_OutputChannels.IsEmpty());

    // An apply over an empty list has nothing to send.
    EXPECT_EQ(drv.ApplyDevices(), 0u);
    EXPECT_EQ(drv.ApplySyncModes(), 0u);
    EXPECT_EQ(connected.fake.Requests().size(), requestsWhileOpen);
}

}  // namespace
