#include "Drv.h"

#include <algorithm>

CDrv theDrv;

namespace {

// Reads one record per id into `list`, in list order. Every id is tried; an item whose
// request fails is left out and the earliest failure is the result. The ids sit in a
// packed record, so they are read by value, never through a pointer.
template <typename Record, std::size_t Capacity, typename ReadOne>
std::uint32_t LoadRecords(CRecordArray<Record>& list, const std::uint32_t (&ids)[Capacity],
                          std::uint32_t count, ReadOne readOne) {
    std::uint32_t firstFailure = ZIVU_STATUS_SUCCESS;
    // A driver that reports more entries than its record holds is read only as far as
    // the record goes.
    const std::size_t valid = std::min<std::size_t>(count, Capacity);
    for (std::size_t i = 0; i < valid; ++i) {
        const std::uint32_t id = ids[i];
        auto record = std::make_unique<Record>();
        const std::uint32_t status = readOne(id, *record);
        if (status == ZIVU_STATUS_SUCCESS) {
            list.Add(std::move(record));
        } else if (firstFailure == ZIVU_STATUS_SUCCESS) {
            firstFailure = status;
        }
    }
    return firstFailure;
}

}  // namespace

CDrv::CDrv() = default;

// The lists free their records here; the base class then closes the connection.
CDrv::~CDrv() = default;

std::uint32_t CDrv::LoadDevices() {
    m_Devices.RemoveAll();
    _DEVICE_LIST deviceList{};
    const std::uint32_t status = GetDeviceList(deviceList);
    if (status != ZIVU_STATUS_SUCCESS) return status;
    return LoadRecords(m_Devices, deviceList.DeviceIds, deviceList.DeviceCount,
                       [this](const std::uint32_t& id, _ZEL_USB_DEVICE_PROPERTIES& record) {
                           return GetDeviceProperties(id, record);
                       });
}

std::uint32_t CDrv::LoadSyncModes() {
    m_SyncModes.RemoveAll();
    _DEVICE_LIST deviceList{};
    const std::uint32_t status = GetDeviceList(deviceList);
    if (status != ZIVU_STATUS_SUCCESS) return status;
    return LoadRecords(m_SyncModes, deviceList.DeviceIds, deviceList.DeviceCount,
                       [this](const std::uint32_t& id, _DEVICE_SYNC_MODE_INFO& record) {
                           return GetSyncModeInfo(id, record);
                       });
}

std::uint32_t CDrv::LoadChannels(CChannelArray& list, bool outputs) {
    list.RemoveAll();
    _CHANNEL_LISTS channelLists{};
    const std::uint32_t status = GetChannelLists(channelLists);
    if (status != ZIVU_STATUS_SUCCESS) return status;
    auto readOne = [this](const std::uint32_t& id, _ZEL_USB_CHANNEL_PROPERTIES& record) {
        return GetChannelProperties(id, record);
    };
    if (outputs) {
        return LoadRecords(list, channelLists.OutputIds, channelLists.OutputCount, readOne);
    }
    return LoadRecords(list, channelLists.InputIds, channelLists.InputCount, readOne);
}

std::uint32_t CDrv::ApplyDevices() {
    std::uint32_t firstFailure = ZIVU_STATUS_SUCCESS;
    for (std::size_t i = 0; i < m_Devices.GetSize(); ++i) {
        const std::uint32_t status = SetDeviceProperties(*m_Devices.GetAt(i));
        if (status != ZIVU_STATUS_SUCCESS && firstFailure == ZIVU_STATUS_SUCCESS) {
            firstFailure = status;
        }
    }
    return firstFailure;
}

std::uint32_t CDrv::ApplySyncModes() {
    std::uint32_t firstFailure = ZIVU_STATUS_SUCCESS;
    for (std::size_t i = 0; i < m_SyncModes.GetSize(); ++i) {
        const _DEVICE_SYNC_MODE_INFO& info = *m_SyncModes.GetAt(i);
        const _SYNC_MODE_SELECTION selection{info.DeviceId, info.CurrentSource.SourceContext,
                                             info.CurrentSource.SourceId};
        const std::uint32_t status = SetSyncMode(selection);
        if (status != ZIVU_STATUS_SUCCESS && firstFailure == ZIVU_STATUS_SUCCESS) {
            firstFailure = status;
        }
    }
    return firstFailure;
}
