#include "SyncFormat.h"

#include <algorithm>

#include "driver/RecordText.h"
#include "driver/ZivuUsbRecords.h"

int ModeIndexFromValue(std::uint32_t mode) {
    switch (mode) {
        case 1:
            return 0;
        case 0:
            return 1;
        default:
            return -1;
    }
}

int ClockMasterIndexFromValue(std::uint32_t clockMaster) {
    return clockMaster <= 1 ? static_cast<int>(clockMaster) : -1;
}

QString RateText(std::uint32_t rateHz) {
    return QStringLiteral("%1.%2 kHz").arg(rateHz / 1000).arg(rateHz % 1000 / 100);
}

std::uint32_t UsableRateCount(const _SAMPLE_RATE_INFO& info) {
    return std::min<std::uint32_t>(info.RateCount, ZIVU_MAX_RATES);
}

std::uint32_t UsableSourceCount(const _DEVICE_SYNC_MODE_INFO& info) {
    return std::min<std::uint32_t>(info.SourceCount, ZIVU_MAX_SOURCES);
}

QString SourceNameText(const _SYNC_MODE_ENTRY& entry) {
    // Record texts are in the system's 8-bit encoding.
    const std::string_view name = FieldText(entry.SourceName);
    return QString::fromLocal8Bit(name.data(), static_cast<qsizetype>(name.size()));
}

int FindSourceIndex(const _DEVICE_SYNC_MODE_INFO& info, std::uint32_t sourceId) {
    const std::uint32_t count = UsableSourceCount(info);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (info.Sources[i].SourceId == sourceId) return static_cast<int>(i);
    }
    return -1;
}
