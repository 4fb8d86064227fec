#include "simdriver/core/RequestHandlers.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "driver/ZivuUsbRecords.h"
#include "simdriver/core/DeviceRecords.h"
#include "simdriver/core/SimDevices.h"

namespace simdriver {
namespace {

template <typename T>
T Read(const std::uint8_t* in) {
    T value;
    std::memcpy(&value, in, sizeof value);
    return value;
}

template <typename T>
void Write(std::uint8_t* out, const T& value) {
    std::memcpy(out, &value, sizeof value);
}

constexpr RequestOutcome Ok(std::int32_t event = 0) { return {0, event}; }
constexpr RequestOutcome Fail(std::uint32_t status) { return {status, 0}; }
constexpr RequestOutcome Refuse(int error) { return {static_cast<std::uint32_t>(error), 0}; }

RequestOutcome GetDriverVersion(SimState& s, const std::uint8_t*, std::uint8_t* out) {
    _DRIVER_VERSION_INFO info{};
    info.InterfaceMajor = s.version.interfaceMajor;
    info.InterfaceMinor = s.version.interfaceMinor;
    info.DriverMajor = s.version.driverMajor;
    info.DriverMinor = s.version.driverMinor;
    info.DriverBuild = s.version.driverBuild;
    Write(out, info);
    return Ok();
}

RequestOutcome GetIncludeDeviceName(SimState& s, const std::uint8_t*, std::uint8_t* out) {
    Write(out, s.includeDeviceName);
    return Ok();
}

RequestOutcome SetIncludeDeviceName(SimState& s, const std::uint8_t* in, std::uint8_t*) {
    auto flag = Read<std::uint32_t>(in);
    if (flag == s.includeDeviceName) return Ok();
    s.includeDeviceName = flag;
    return Ok(kEventConfigurationChanged);
}

RequestOutcome GetDeviceList(SimState& s, const std::uint8_t*, std::uint8_t* out) {
    _DEVICE_LIST list{};
    std::size_t count = std::min(s.devices.size(), ZIVU_MAX_DEVICES);
    list.DeviceCount = static_cast<std::uint32_t>(count);
    for (std::size_t i = 0; i < count; ++i) list.DeviceIds[i] = s.devices[i].id;
    Write(out, list);
    return Ok();
}

RequestOutcome GetChannelLists(SimState& s, const std::uint8_t*, std::uint8_t* out) {
    _CHANNEL_LISTS lists{};
    for (const SimDevice& device : s.devices) {
        for (const SimChannel& channel : device.inputs)
            if (lists.InputCount < ZIVU_MAX_CHANNELS)
                lists.InputIds[lists.InputCount++] = channel.id;
        for (const SimChannel& channel : device.outputs)
            if (lists.OutputCount < ZIVU_MAX_CHANNELS)
                lists.OutputIds[lists.OutputCount++] = channel.id;
    }
    Write(out, lists);
    return Ok();
}

RequestOutcome GetClockMaster(SimState& s, const std::uint8_t*, std::uint8_t* out) {
    _CLOCK_MASTER_INFO info{};
    std::memcpy(info.Reserved1, s.clockMasterReserved1.data(), 4);
    info.ClockMaster = s.clockMaster;
    std::memcpy(info.Reserved2, s.clockMasterReserved2.data(), 4);
    Write(out, info);
    return Ok();
}

RequestOutcome SetClockMaster(SimState& s, const std::uint8_t* in, std::uint8_t*) {
    auto info = Read<_CLOCK_MASTER_INFO>(in);
    if (std::memcmp(info.Reserved1, s.clockMasterReserved1.data(), 4) != 0 ||
        std::memcmp(info.Reserved2, s.clockMasterReserved2.data(), 4) != 0 || info.ClockMaster > 1)
        return Refuse(EINVAL);
    if (info.ClockMaster == s.clockMaster) return Ok();
    s.clockMaster = info.ClockMaster;
    return Ok(kEventConfigurationChanged);
}

RequestOutcome GetRateSelectionMode(SimState& s, const std::uint8_t*, std::uint8_t* out) {
    Write(out, _SETTING_VALUE{0, s.rateSelectionMode});
    return Ok();
}

RequestOutcome SetRateSelectionMode(SimState& s, const std::uint8_t* in, std::uint8_t*) {
    auto setting = Read<_SETTING_VALUE>(in);
    if (setting.Value > 1) return Refuse(EINVAL);
    if (setting.Value == s.rateSelectionMode) return Ok();
    s.rateSelectionMode = setting.Value;
    return Ok(kEventConfigurationChanged);
}

RequestOutcome GetSampleRateInfo(SimState& s, const std::uint8_t*, std::uint8_t* out) {
    _SAMPLE_RATE_INFO info{};
    info.CurrentRate = s.currentRate;
    std::size_t count = std::min(s.rates.size(), ZIVU_MAX_RATES);
    info.RateCount = static_cast<std::uint32_t>(count);
    for (std::size_t i = 0; i < count; ++i) info.Rates[i] = s.rates[i];
    Write(out, info);
    return Ok();
}

RequestOutcome SetSampleRate(SimState& s, const std::uint8_t* in, std::uint8_t*) {
    if (s.streaming) return Fail(ZIVU_STATUS_STREAMING);
    auto setting = Read<_SETTING_VALUE>(in);
    if (std::find(s.rates.begin(), s.rates.end(), setting.Value) == s.rates.end())
        return Refuse(EINVAL);
    if (setting.Value == s.currentRate) return Ok();
    s.currentRate = setting.Value;
    return Ok(kEventConfigurationChanged);
}

RequestOutcome GetSyncModeInfo(SimState& s, const std::uint8_t* in, std::uint8_t* out) {
    SimDevice* device = FindDevice(s, Read<std::uint32_t>(in));
    if (!device) return Refuse(ENODEV);
    _DEVICE_SYNC_MODE_INFO info;
    FillSyncModeInfo(*device, info);
    Write(out, info);
    return Ok();
}

RequestOutcome SetSyncMode(SimState& s, const std::uint8_t* in, std::uint8_t*) {
    auto selection = Read<_SYNC_MODE_SELECTION>(in);
    SimDevice* device = FindDevice(s, selection.DeviceId);
    if (!device) return Refuse(ENODEV);
    if (s.streaming) return Fail(ZIVU_STATUS_STREAMING);
    auto it = std::find_if(
        device->sources.begin(), device->sources.end(), [&](const SimClockSource& source) {
            return source.context == selection.SourceContext && source.id == selection.SourceId;
        });
    if (it == device->sources.end()) return Refuse(EINVAL);
    auto index = static_cast<std::uint32_t>(it - device->sources.begin());
    if (index == device->currentSource) return Ok();
    device->currentSource = index;
    return Ok(kEventConfigurationChanged);
}

RequestOutcome GetDeviceProperties(SimState& s, const std::uint8_t* in, std::uint8_t* out) {
    SimDevice* device = FindDevice(s, Read<std::uint32_t>(in));
    if (!device) return Refuse(ENODEV);
    _ZEL_USB_DEVICE_PROPERTIES record;
    FillDeviceRecord(*device, record);
    Write(out, record);
    return Ok();
}

// Stores DeviceName and Ranking of the device the record identifies. Devices are listed
// by ranking; equal rankings keep their previous order, so a client that writes every
// device's new position one after the other ends with exactly that order.
RequestOutcome SetDeviceProperties(SimState& s, const std::uint8_t* in, std::uint8_t*) {
    auto record = Read<_ZEL_USB_DEVICE_PROPERTIES>(in);
    SimDevice* device = FindDevice(s, DeviceIdOf(record));
    if (!device) return Refuse(ENODEV);
    if (!DevicePreservedBytesMatch(record, *device)) return Refuse(EINVAL);
    std::int32_t event = 0;
    std::string name = StoredName(record.DeviceName, sizeof record.DeviceName);
    if (name != device->name) {
        device->name = name;
        event = kEventConfigurationChanged;
    }
    if (record.Ranking != device->ranking) {
        device->ranking = record.Ranking;
        SortByRanking(s);  // invalidates `device`
        event = kEventDevicesChanged;
    }
    return Ok(event);
}

RequestOutcome GetChannelProperties(SimState& s, const std::uint8_t* in, std::uint8_t* out) {
    ChannelRef ref = FindChannel(s, Read<std::uint32_t>(in));
    if (!ref.channel) return Refuse(ENODEV);
    _ZEL_USB_CHANNEL_PROPERTIES record;
    FillChannelRecord(*ref.device, *ref.channel, ref.output, ref.index, record);
    Write(out, record);
    return Ok();
}

RequestOutcome SetChannelProperties(SimState& s, const std::uint8_t* in, std::uint8_t*) {
    auto record = Read<_ZEL_USB_CHANNEL_PROPERTIES>(in);
    ChannelRef ref = FindChannel(s, ChannelIdOf(record));
    if (!ref.channel) return Refuse(ENODEV);
    if (!ChannelPreservedBytesMatch(record, *ref.device, *ref.channel, ref.output, ref.index))
        return Refuse(EINVAL);
    std::string name = StoredName(record.ChannelName, sizeof record.ChannelName);
    if (name == ref.channel->name) return Ok();
    ref.channel->name = name;
    return Ok(kEventConfigurationChanged);
}

RequestOutcome BufferChangeStep(SimState&, const std::uint8_t*, std::uint8_t*) { return Ok(); }

RequestOutcome GetStreamBuffer(SimState& s, const std::uint8_t*, std::uint8_t* out) {
    const SimStreamBuffer& b = s.streamBuffer;
    Write(out, _STREAM_BUFFER_INFO{b.minimumUs, b.maximumUs, b.stepUs, b.currentUs});
    return Ok();
}

// The range and step are the driver's; a record that changes them is not one it gave out.
RequestOutcome SetStreamBuffer(SimState& s, const std::uint8_t* in, std::uint8_t*) {
    auto info = Read<_STREAM_BUFFER_INFO>(in);
    SimStreamBuffer& b = s.streamBuffer;
    if (info.MinimumUs != b.minimumUs || info.MaximumUs != b.maximumUs || info.StepUs != b.stepUs)
        return Refuse(EINVAL);
    if (info.CurrentUs < b.minimumUs || info.CurrentUs > b.maximumUs || b.stepUs == 0 ||
        info.CurrentUs % b.stepUs != 0)
        return Refuse(EINVAL);
    if (info.CurrentUs == b.currentUs) return Ok();
    b.currentUs = info.CurrentUs;
    return Ok(kEventConfigurationChanged);
}

void FillAudioBuffer(const SimAudioBuffer& b, std::uint8_t* out) {
    _AUDIO_BUFFER_INFO info{};
    info.CurrentUs = b.currentUs;
    std::memcpy(info.Reserved1, b.reserved1.data(), 4);
    info.SampleGranularity = b.sampleGranularity;
    std::memcpy(info.Reserved2, b.reserved2.data(), 4);
    Write(out, info);
}

RequestOutcome SetAudioBuffer(SimAudioBuffer& b, const std::uint8_t* in) {
    auto info = Read<_AUDIO_BUFFER_INFO>(in);
    if (std::memcmp(info.Reserved1, b.reserved1.data(), 4) != 0 ||
        std::memcmp(info.Reserved2, b.reserved2.data(), 4) != 0 ||
        info.SampleGranularity != b.sampleGranularity)
        return Refuse(EINVAL);
    if (info.CurrentUs < kAudioBufferMinimumUs || info.CurrentUs > kAudioBufferMaximumUs)
        return Refuse(EINVAL);
    if (info.CurrentUs == b.currentUs) return Ok();
    b.currentUs = info.CurrentUs;
    return Ok(kEventConfigurationChanged);
}

RequestOutcome GetAsioBuffer(SimState& s, const std::uint8_t*, std::uint8_t* out) {
    FillAudioBuffer(s.asioBuffer, out);
    return Ok();
}

RequestOutcome SetAsioBuffer(SimState& s, const std::uint8_t* in, std::uint8_t*) {
    return SetAudioBuffer(s.asioBuffer, in);
}

RequestOutcome GetWdmBuffer(SimState& s, const std::uint8_t*, std::uint8_t* out) {
    FillAudioBuffer(s.wdmBuffer, out);
    return Ok();
}

RequestOutcome SetWdmBuffer(SimState& s, const std::uint8_t* in, std::uint8_t*) {
    return SetAudioBuffer(s.wdmBuffer, in);
}

RequestOutcome GetStreamStatistics(SimState& s, const std::uint8_t*, std::uint8_t* out) {
    _STREAM_STATISTICS statistics{};
    statistics.DropOutCount = s.dropouts;
    Write(out, statistics);
    return Ok();
}

constexpr std::uint32_t kId = sizeof(std::uint32_t);

const RequestSpec kRequests[] = {
    {IOCTL_GET_DRIVER_VERSION, 0, sizeof(_DRIVER_VERSION_INFO), GetDriverVersion},
    {IOCTL_GET_INCLUDE_DEVICE_NAME, 0, 4, GetIncludeDeviceName},
    {IOCTL_SET_INCLUDE_DEVICE_NAME, 4, 0, SetIncludeDeviceName},
    {IOCTL_REGISTER_NOTIFICATION_EVENT, 4, 0, nullptr},
    {IOCTL_GET_NOTIFICATION, 0, sizeof(_DRIVER_NOTIFICATION), nullptr},
    {IOCTL_GET_DEVICE_LIST, 0, sizeof(_DEVICE_LIST), GetDeviceList},
    {IOCTL_GET_CHANNEL_LISTS, 0, sizeof(_CHANNEL_LISTS), GetChannelLists},
    {IOCTL_GET_CLOCK_MASTER, 0, sizeof(_CLOCK_MASTER_INFO), GetClockMaster},
    {IOCTL_SET_CLOCK_MASTER, sizeof(_CLOCK_MASTER_INFO), 0, SetClockMaster},
    {IOCTL_GET_RATE_SELECTION_MODE, 0, sizeof(_SETTING_VALUE), GetRateSelectionMode},
    {IOCTL_SET_RATE_SELECTION_MODE, sizeof(_SETTING_VALUE), 0, SetRateSelectionMode},
    {IOCTL_GET_SAMPLE_RATE_INFO, 0, sizeof(_SAMPLE_RATE_INFO), GetSampleRateInfo},
    {IOCTL_SET_SAMPLE_RATE, sizeof(_SETTING_VALUE), 0, SetSampleRate},
    {IOCTL_GET_SYNC_MODE_INFO, kId, sizeof(_DEVICE_SYNC_MODE_INFO), GetSyncModeInfo},
    {IOCTL_SET_SYNC_MODE, sizeof(_SYNC_MODE_SELECTION), 0, SetSyncMode},
    {IOCTL_GET_DEVICE_PROPERTIES, kId, sizeof(_ZEL_USB_DEVICE_PROPERTIES), GetDeviceProperties},
    {IOCTL_SET_DEVICE_PROPERTIES, sizeof(_ZEL_USB_DEVICE_PROPERTIES), 0, SetDeviceProperties},
    {IOCTL_GET_CHANNEL_PROPERTIES, kId, sizeof(_ZEL_USB_CHANNEL_PROPERTIES), GetChannelProperties},
    {IOCTL_SET_CHANNEL_PROPERTIES, sizeof(_ZEL_USB_CHANNEL_PROPERTIES), 0, SetChannelProperties},
    {IOCTL_BUFFER_CHANGE_STEP2, 0, 0, BufferChangeStep},
    {IOCTL_BUFFER_CHANGE_STEP1, 0, 0, BufferChangeStep},
    {IOCTL_GET_STREAM_BUFFER, 0, sizeof(_STREAM_BUFFER_INFO), GetStreamBuffer},
    {IOCTL_SET_STREAM_BUFFER, sizeof(_STREAM_BUFFER_INFO), 0, SetStreamBuffer},
    {IOCTL_GET_ASIO_BUFFER, 0, sizeof(_AUDIO_BUFFER_INFO), GetAsioBuffer},
    {IOCTL_SET_ASIO_BUFFER, sizeof(_AUDIO_BUFFER_INFO), 0, SetAsioBuffer},
    {IOCTL_GET_WDM_BUFFER, 0, sizeof(_AUDIO_BUFFER_INFO), GetWdmBuffer},
    {IOCTL_SET_WDM_BUFFER, sizeof(_AUDIO_BUFFER_INFO), 0, SetWdmBuffer},
    {IOCTL_GET_STREAM_STATISTICS, 0, sizeof(_STREAM_STATISTICS), GetStreamStatistics},
};

}  // namespace

const RequestSpec* FindRequest(std::uint32_t code) {
    for (const RequestSpec& spec : kRequests)
        if (spec.code == code) return &spec;
    return nullptr;
}

}  // namespace simdriver
