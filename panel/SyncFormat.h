// Mappings and texts of the synchronisation page: driver values to radio indices, the
// rate text, and the bounded reading of the rate and clock-source records. Plain
// functions so that tests call them directly.
#pragma once

#include <QString>
#include <cstdint>

struct _SAMPLE_RATE_INFO;
struct _DEVICE_SYNC_MODE_INFO;
struct _SYNC_MODE_ENTRY;

// Rate selection mode value to the mode radio: 1 (automatic) -> 0, 0 (manual) -> 1,
// anything else -> -1 (no radio).
int ModeIndexFromValue(std::uint32_t mode);

// Clock master value to the clock-master radio: 0 -> 0, 1 -> 1, anything else -> -1.
int ClockMasterIndexFromValue(std::uint32_t clockMaster);

// "44.1 kHz": whole kilohertz, a point and the tenths, cut rather than rounded.
QString RateText(std::uint32_t rateHz);

// How many rates of the record may be read: RateCount, held to the record's capacity.
std::uint32_t UsableRateCount(const _SAMPLE_RATE_INFO& info);

// How many sources of the record may be read: SourceCount, held to the record's capacity.
std::uint32_t UsableSourceCount(const _DEVICE_SYNC_MODE_INFO& info);

// The name of a clock source, read within its field whether terminated or not.
QString SourceNameText(const _SYNC_MODE_ENTRY& entry);

// Index of the first usable source whose SourceId is `sourceId`, or -1.
int FindSourceIndex(const _DEVICE_SYNC_MODE_INFO& info, std::uint32_t sourceId);
