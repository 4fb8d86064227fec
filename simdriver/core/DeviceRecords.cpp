#include "simdriver/core/DeviceRecords.h"

#include <cstring>

#include "driver/RecordText.h"

namespace simdriver {
namespace {

void PutWord(std::uint8_t* at, std::uint32_t value) { std::memcpy(at, &value, sizeof value); }

std::uint32_t GetWord(const std::uint8_t* at) {
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Copies `text` into a fixed field with a terminating NUL; the rest stays zero.
template <std::size_t N>
void PutText(char (&field)[N], const std::string& text) {
    std::size_t length = CutAtCharacterBoundary(text, N - 1).size();
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

// Bytes the driver keeps for itself: a pattern that depends on the item, so that a
// record written back for the wrong item or with a changed byte is noticed.
std::uint8_t PatternByte(std::uint32_t id, std::size_t position) {
    return static_cast<std::uint8_t>((id * 31u + position * 7u + 0x5Bu) & 0xFFu);
}

std::size_t SerialTailStart(const SimDevice& device) {
    return offsetof(_ZEL_USB_DEVICE_PROPERTIES, SerialNumber) + device.serial.size() + 1;
}

}  // namespace

void FillDeviceRecord(const SimDevice& device, _ZEL_USB_DEVICE_PROPERTIES& record) {
    std::memset(&record, 0, sizeof record);
    PutWord(record.Preserved0, device.id);
    record.Ranking = device.ranking;
    std::memcpy(record.Preserved1, "ZELD", 4);
    for (std::size_t i = 4; i < sizeof record.Preserved1; ++i)
        record.Preserved1[i] = PatternByte(device.id, i);
    PutText(record.DeviceName, device.name);
    PutText(record.SerialNumber, device.serial);
    auto* bytes = reinterpret_cast<std::uint8_t*>(&record);
    for (std::size_t i = SerialTailStart(device); i < sizeof record; ++i)
        bytes[i] = PatternByte(device.id, i);
}

void FillChannelRecord(const SimDevice& device, const SimChannel& channel, bool output,
                       std::uint32_t index, _ZEL_USB_CHANNEL_PROPERTIES& record) {
    std::memset(&record, 0, sizeof record);
    PutWord(record.Preserved0, channel.id);
    record.DeviceId = device.id;
    record.Preserved1[0] = 'C';
    record.Preserved1[1] = output ? 1 : 0;
    record.Preserved1[2] = static_cast<std::uint8_t>(index & 0xFF);
    record.Preserved1[3] = static_cast<std::uint8_t>(index >> 8);
    PutText(record.HardwareName, channel.hardwareName);
    PutText(record.ChannelName, channel.name);
}

void FillSyncModeInfo(const SimDevice& device, _DEVICE_SYNC_MODE_INFO& info) {
    std::memset(&info, 0, sizeof info);
    info.DeviceId = device.id;
    auto fillEntry = [](const SimClockSource& source, _SYNC_MODE_ENTRY& entry) {
        entry.SourceContext = source.context;
        entry.SourceId = source.id;
        PutText(entry.SourceName, source.name);
    };
    if (device.currentSource < device.sources.size())
        fillEntry(device.sources[device.currentSource], info.CurrentSource);
    std::size_t count = std::min(device.sources.size(), ZIVU_MAX_SOURCES);
    info.SourceCount = static_cast<std::uint32_t>(count);
    for (std::size_t i = 0; i < count; ++i) fillEntry(device.sources[i], info.Sources[i]);
}

std::uint32_t DeviceIdOf(const _ZEL_USB_DEVICE_PROPERTIES& record) {
    return GetWord(record.Preserved0);
}

std::uint32_t ChannelIdOf(const _ZEL_USB_CHANNEL_PROPERTIES& record) {
    return GetWord(record.Preserved0);
}

bool DevicePreservedBytesMatch(const _ZEL_USB_DEVICE_PROPERTIES& sent, const SimDevice& device) {
    _ZEL_USB_DEVICE_PROPERTIES expected;
    FillDeviceRecord(device, expected);
    if (std::memcmp(sent.Preserved0, expected.Preserved0, sizeof sent.Preserved0) != 0 ||
        std::memcmp(sent.Preserved1, expected.Preserved1, sizeof sent.Preserved1) != 0)
        return false;
    std::size_t tail = SerialTailStart(device);
    return std::memcmp(reinterpret_cast<const std::uint8_t*>(&sent) + tail,
                       reinterpret_cast<const std::uint8_t*>(&expected) + tail,
                       sizeof sent - tail) == 0;
}

bool ChannelPreservedBytesMatch(const _ZEL_USB_CHANNEL_PROPERTIES& sent, const SimDevice& device,
                                const SimChannel& channel, bool output, std::uint32_t index) {
    _ZEL_USB_CHANNEL_PROPERTIES expected;
    FillChannelRecord(device, channel, output, index, expected);
    return std::memcmp(sent.Preserved0, expected.Preserved0, sizeof sent.Preserved0) == 0 &&
           sent.DeviceId == expected.DeviceId &&
           std::memcmp(sent.Preserved1, expected.Preserved1, sizeof sent.Preserved1) == 0;
}

std::string StoredName(const char* field, std::size_t size) {
    return std::string(CutAtCharacterBoundary(FieldText(field, size), size - 1));
}

}  // namespace simdriver
