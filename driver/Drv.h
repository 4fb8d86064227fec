// The panel's one shared connection to the driver together with the copies of the
// driver's state that the pages show and edit. Loads and applies try every item and
// return the first failure; lists own their records.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ZivuUsbDriver.h"

// A growable array that owns its records; pages look records up by index.
template <typename Record>
class CRecordArray {
public:
    std::size_t GetSize() const { return m_items.size(); }
    bool IsEmpty() const { return m_items.empty(); }
    // nullptr for an index that no longer designates a record.
    Record* GetAt(std::size_t index) const {
        return index < m_items.size() ? m_items[index].get() : nullptr;
    }
    void Add(std::unique_ptr<Record> record) { m_items.push_back(std::move(record)); }
    void RemoveAll() { m_items.clear(); }

private:
    std::vector<std::unique_ptr<Record>> m_items;
};

using CDeviceArray = CRecordArray<_ZEL_USB_DEVICE_PROPERTIES>;
using CSyncModeArray = CRecordArray<_DEVICE_SYNC_MODE_INFO>;
using CChannelArray = CRecordArray<_ZEL_USB_CHANNEL_PROPERTIES>;

class CDrv : public CZivuUsbDriver {
public:
    CDrv();
    ~CDrv() override;

    std::uint32_t LoadDevices();
    std::uint32_t ApplyDevices();
    std::uint32_t LoadSyncModes();
    std::uint32_t ApplySyncModes();
    std::uint32_t LoadChannels(CChannelArray& list, bool outputs);

    std::uint32_t m_IncludeDeviceName = 0;
    _CLOCK_MASTER_INFO m_ClockMaster{};
    CDeviceArray m_Devices;
    CSyncModeArray m_SyncModes;
    CChannelArray m_InputChannels;
    CChannelArray m_OutputChannels;
    std::uint32_t m_RateSelectionMode = 0;
    _SAMPLE_RATE_INFO m_SampleRateInfo{};
};

extern CDrv theDrv;
