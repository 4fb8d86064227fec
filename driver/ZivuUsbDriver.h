// One connection to the driver's control device object, carrying every control request
// synchronously. Each wrapper sends its code with the record's fixed size and returns
// the status unchanged: 0, a system error, ZIVU_STATUS_NOT_OPEN, or the driver's own.
#pragma once

#include <cstdint>
#include <mutex>

#include "ZivuUsbRecords.h"
#include "platform/DeviceIo.h"

namespace platform {
class Event;
}

class CZivuUsbDriver {
public:
    CZivuUsbDriver();
    virtual ~CZivuUsbDriver();
    CZivuUsbDriver(const CZivuUsbDriver&) = delete;
    CZivuUsbDriver& operator=(const CZivuUsbDriver&) = delete;

    // Opens the device object and accepts only interface major version 2. Opening an
    // open connection does nothing and returns 0.
    std::uint32_t Open(const char* name);
    void Close();
    // Reads the handle without the lock: the caller tests it right after its own Open.
    bool IsOpen() const;

    std::uint32_t IoControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                            std::uint32_t outSize);

    std::uint32_t GetDriverVersion(_DRIVER_VERSION_INFO& info);
    std::uint32_t GetIncludeDeviceName(std::uint32_t& flag);
    std::uint32_t SetIncludeDeviceName(const std::uint32_t& flag);
    std::uint32_t RegisterNotificationEvent(const platform::Event& event);
    std::uint32_t GetNotification(_DRIVER_NOTIFICATION& record);
    std::uint32_t GetDeviceList(_DEVICE_LIST& list);
    std::uint32_t GetChannelLists(_CHANNEL_LISTS& lists);
    std::uint32_t GetClockMaster(_CLOCK_MASTER_INFO& info);
    std::uint32_t SetClockMaster(const _CLOCK_MASTER_INFO& info);
    // Stores only Value, and only on success.
    std::uint32_t GetRateSelectionMode(std::uint32_t& mode);
    std::uint32_t SetRateSelectionMode(std::uint32_t mode);
    std::uint32_t GetSampleRateInfo(_SAMPLE_RATE_INFO& info);
    std::uint32_t SetSampleRate(std::uint32_t rate);
    std::uint32_t GetSyncModeInfo(const std::uint32_t& deviceId, _DEVICE_SYNC_MODE_INFO& info);
    std::uint32_t SetSyncMode(const _SYNC_MODE_SELECTION& selection);
    std::uint32_t GetDeviceProperties(const std::uint32_t& deviceId,
                                      _ZEL_USB_DEVICE_PROPERTIES& properties);
    std::uint32_t SetDeviceProperties(const _ZEL_USB_DEVICE_PROPERTIES& properties);
    std::uint32_t GetChannelProperties(const std::uint32_t& channelId,
                                       _ZEL_USB_CHANNEL_PROPERTIES& properties);
    std::uint32_t SetChannelProperties(const _ZEL_USB_CHANNEL_PROPERTIES& properties);
    std::uint32_t BufferChangeStep1();
    std::uint32_t BufferChangeStep2();
    std::uint32_t GetStreamBuffer(_STREAM_BUFFER_INFO& info);
    std::uint32_t SetStreamBuffer(const _STREAM_BUFFER_INFO& info);
    std::uint32_t GetAsioBuffer(_AUDIO_BUFFER_INFO& info);
    std::uint32_t SetAsioBuffer(const _AUDIO_BUFFER_INFO& info);
    std::uint32_t GetWdmBuffer(_AUDIO_BUFFER_INFO& info);
    std::uint32_t SetWdmBuffer(const _AUDIO_BUFFER_INFO& info);
    std::uint32_t GetStreamStatistics(_STREAM_STATISTICS& statistics);

protected:
    std::recursive_mutex m_Lock;
    platform::DeviceHandle m_hDevice = nullptr;

private:
    std::uint32_t Request(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                          std::uint32_t outSize, const platform::Event* event);
};
