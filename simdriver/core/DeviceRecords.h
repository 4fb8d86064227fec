// The device, channel and clock-source records as the substitute driver hands them out.
// A device or channel record carries the identity of its item in its preserved bytes,
// the way a real driver keeps a context there, so that a SET finds the item from the
// record alone and notices a record that was not written back as it was read.
#pragma once

#include <cstdint>
#include <string>

#include "driver/ZivuUsbRecords.h"
#include "simdriver/core/SimState.h"

namespace simdriver {

void FillDeviceRecord(const SimDevice& device, _ZEL_USB_DEVICE_PROPERTIES& record);
void FillChannelRecord(const SimDevice& device, const SimChannel& channel, bool output,
                       std::uint32_t index, _ZEL_USB_CHANNEL_PROPERTIES& record);
void FillSyncModeInfo(const SimDevice& device, _DEVICE_SYNC_MODE_INFO& info);

// The id kept in the first preserved word.
std::uint32_t DeviceIdOf(const _ZEL_USB_DEVICE_PROPERTIES& record);
std::uint32_t ChannelIdOf(const _ZEL_USB_CHANNEL_PROPERTIES& record);

// True when every preserved byte of `sent` is what the driver handed out for this item.
bool DevicePreservedBytesMatch(const _ZEL_USB_DEVICE_PROPERTIES& sent, const SimDevice& device);
bool ChannelPreservedBytesMatch(const _ZEL_USB_CHANNEL_PROPERTIES& sent, const SimDevice& device,
                                const SimChannel& channel, bool output, std::uint32_t index);

// A user-editable name field as the driver stores it: the text up to the first NUL (or
// the whole field), at most 39 bytes, cut at a character boundary.
std::string StoredName(const char* field, std::size_t size);

}  // namespace simdriver
