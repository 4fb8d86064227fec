#include "ZivuUsbDriver.h"

#include "platform/Event.h"

CZivuUsbDriver::CZivuUsbDriver() = default;

CZivuUsbDriver::~CZivuUsbDriver() { Close(); }

std::uint32_t CZivuUsbDriver::Open(const char* name) {
    std::lock_guard lock(m_Lock);
    if (m_hDevice) return ZIVU_STATUS_SUCCESS;

    platform::DeviceHandle handle = nullptr;
    if (const std::uint32_t status = platform::OpenDevice(name, &handle)) return status;
    m_hDevice = handle;

    // Zeroed so that a driver answering with fewer bytes is refused, never read as garbage.
    _DRIVER_VERSION_INFO version{};
    if (const std::uint32_t status = GetDriverVersion(version)) {
        Close();
        return status;
    }
    if (version.InterfaceMajor != ZIVU_INTERFACE_MAJOR) {
        Close();
        return ZIVU_STATUS_WRONG_INTERFACE;
    }
    return ZIVU_STATUS_SUCCESS;
}

void CZivuUsbDriver::Close() {
    std::lock_guard lock(m_Lock);
    if (!m_hDevice) return;
    platform::CloseDevice(m_hDevice);
    m_hDevice = nullptr;
}

bool CZivuUsbDriver::IsOpen() const { return m_hDevice != nullptr; }

std::uint32_t CZivuUsbDriver::IoControl(std::uint32_t code, const void* in, std::uint32_t inSize,
                                        void* out, std::uint32_t outSize) {
    return Request(code, in, inSize, out, outSize, nullptr);
}

std::uint32_t CZivuUsbDriver::Request(std::uint32_t code, const void* in, std::uint32_t inSize,
                                      void* out, std::uint32_t outSize,
                                      const platform::Event* event) {
    // Held for the whole request: requests of one connection never overlap and never
    // race with Close.
    std::lock_guard lock(m_Lock);
    if (!m_hDevice) return ZIVU_STATUS_NOT_OPEN;
    return platform::DeviceControl(m_hDevice, code, in, inSize, out, outSize, event);
}

std::uint32_t CZivuUsbDriver::GetDriverVersion(_DRIVER_VERSION_INFO& info) {
    return IoControl(IOCTL_GET_DRIVER_VERSION, nullptr, 0, &info, sizeof info);
}

std::uint32_t CZivuUsbDriver::GetIncludeDeviceName(std::uint32_t& flag) {
    return IoControl(IOCTL_GET_INCLUDE_DEVICE_NAME, nullptr, 0, &flag, sizeof flag);
}

std::uint32_t CZivuUsbDriver::SetIncludeDeviceName(const std::uint32_t& flag) {
    return IoControl(IOCTL_SET_INCLUDE_DEVICE_NAME, &flag, sizeof flag, nullptr, 0);
}

std::uint32_t CZivuUsbDriver::RegisterNotificationEvent(const platform::Event& event) {
    // The driver is told the handle's 32-bit value; on POSIX the eventfd itself travels
    // along with the request, since a number alone means nothing in another process.
    const auto value = static_cast<std::uint32_t>(event.NativeHandle());
    return Request(IOCTL_REGISTER_NOTIFICATION_EVENT, &value, sizeof value, nullptr, 0, &event);
}

std::uint32_t CZivuUsbDriver::GetNotification(_DRIVER_NOTIFICATION& record) {
    return IoControl(IOCTL_GET_NOTIFICATION, nullptr, 0, &record, sizeof record);
}

std::uint32_t CZivuUsbDriver::GetDeviceList(_DEVICE_LIST& list) {
    return IoControl(IOCTL_GET_DEVICE_LIST, nullptr, 0, &list, sizeof list);
}

std::uint32_t CZivuUsbDriver::GetChannelLists(_CHANNEL_LISTS& lists) {
    return IoControl(IOCTL_GET_CHANNEL_LISTS, nullptr, 0, &lists, sizeof lists);
}

std::uint32_t CZivuUsbDriver::GetClockMaster(_CLOCK_MASTER_INFO& info) {
    return IoControl(IOCTL_GET_CLOCK_MASTER, nullptr, 0, &info, sizeof info);
}

std::uint32_t CZivuUsbDriver::SetClockMaster(const _CLOCK_MASTER_INFO& info) {
    return IoControl(IOCTL_SET_CLOCK_MASTER, &info, sizeof info, nullptr, 0);
}

std::uint32_t CZivuUsbDriver::GetRateSelectionMode(std::uint32_t& mode) {
    _SETTING_VALUE setting{};
    const std::uint32_t status =
        IoControl(IOCTL_GET_RATE_SELECTION_MODE, nullptr, 0, &setting, sizeof setting);
    if (status == ZIVU_STATUS_SUCCESS) mode = setting.Value;
    return status;
}

std::uint32_t CZivuUsbDriver::SetRateSelectionMode(std::uint32_t mode) {
    const _SETTING_VALUE setting{0, mode};
    return IoControl(IOCTL_SET_RATE_SELECTION_MODE, &setting, sizeof setting, nullptr, 0);
}

std::uint32_t CZivuUsbDriver::GetSampleRateInfo(_SAMPLE_RATE_INFO& info) {
    return IoControl(IOCTL_GET_SAMPLE_RATE_INFO, nullptr, 0, &info, sizeof info);
}

std::uint32_t CZivuUsbDriver::SetSampleRate(std::uint32_t rate) {
    const _SETTING_VALUE setting{0, rate};
    return IoControl(IOCTL_SET_SAMPLE_RATE, &setting, sizeof setting, nullptr, 0);
}

std::uint32_t CZivuUsbDriver::GetSyncModeInfo(const std::uint32_t& deviceId,
                                              _DEVICE_SYNC_MODE_INFO& info) {
    return IoControl(IOCTL_GET_SYNC_MODE_INFO, &deviceId, sizeof deviceId, &info, sizeof info);
}

std::uint32_t CZivuUsbDriver::SetSyncMode(const _SYNC_MODE_SELECTION& selection) {
    return IoControl(IOCTL_SET_SYNC_MODE, &selection, sizeof selection, nullptr, 0);
}

std::uint32_t CZivuUsbDriver::GetDeviceProperties(const std::uint32_t& deviceId,
                                                  _ZEL_USB_DEVICE_PROPERTIES& properties) {
    return IoControl(IOCTL_GET_DEVICE_PROPERTIES, &deviceId, sizeof deviceId, &properties,
                     sizeof properties);
}

std::uint32_t CZivuUsbDriver::SetDeviceProperties(const _ZEL_USB_DEVICE_PROPERTIES& properties) {
    return IoControl(IOCTL_SET_DEVICE_PROPERTIES, &properties, sizeof properties, nullptr, 0);
}

std::uint32_t CZivuUsbDriver::GetChannelProperties(const std::uint32_t& channelId,
                                                   _ZEL_USB_CHANNEL_PROPERTIES& properties) {
    return IoControl(IOCTL_GET_CHANNEL_PROPERTIES, &channelId, sizeof channelId, &properties,
                     sizeof properties);
}

std::uint32_t CZivuUsbDriver::SetChannelProperties(const _ZEL_USB_CHANNEL_PROPERTIES& properties) {
    return IoControl(IOCTL_SET_CHANNEL_PROPERTIES, &properties, sizeof properties, nullptr, 0);
}

std::uint32_t CZivuUsbDriver::BufferChangeStep1() {
    return IoControl(IOCTL_BUFFER_CHANGE_STEP1, nullptr, 0, nullptr, 0);
}

std::uint32_t CZivuUsbDriver::BufferChangeStep2() {
    return IoControl(IOCTL_BUFFER_CHANGE_STEP2, nullptr, 0, nullptr, 0);
}

std::uint32_t CZivuUsbDriver::GetStreamBuffer(_STREAM_BUFFER_INFO& info) {
    return IoControl(IOCTL_GET_STREAM_BUFFER, nullptr, 0, &info, sizeof info);
}

std::uint32_t CZivuUsbDriver::SetStreamBuffer(const _STREAM_BUFFER_INFO& info) {
    return IoControl(IOCTL_SET_STREAM_BUFFER, &info, sizeof info, nullptr, 0);
}

std::uint32_t CZivuUsbDriver::GetAsioBuffer(_AUDIO_BUFFER_INFO& info) {
    return IoControl(IOCTL_GET_ASIO_BUFFER, nullptr, 0, &info, sizeof info);
}

std::uint32_t CZivuUsbDriver::SetAsioBuffer(const _AUDIO_BUFFER_INFO& info) {
    return IoControl(IOCTL_SET_ASIO_BUFFER, &info, sizeof info, nullptr, 0);
}

std::uint32_t CZivuUsbDriver::GetWdmBuffer(_AUDIO_BUFFER_INFO& info) {
    return IoControl(IOCTL_GET_WDM_BUFFER, nullptr, 0, &info, sizeof info);
}

std::uint32_t CZivuUsbDriver::SetWdmBuffer(const _AUDIO_BUFFER_INFO& info) {
    return IoControl(IOCTL_SET_WDM_BUFFER, &info, sizeof info, nullptr, 0);
}

std::uint32_t CZivuUsbDriver::GetStreamStatistics(_STREAM_STATISTICS& statistics) {
    return IoControl(IOCTL_GET_STREAM_STATISTICS, nullptr, 0, &statistics, sizeof statistics);
}
