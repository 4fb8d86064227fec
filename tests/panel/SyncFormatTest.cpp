// The synchronisation page's mappings, rate text and bounded record reading.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/ZivuUsbRecords.h"
#include "panel/SyncFormat.h"

namespace {

TEST(SyncFormatTest, RadioIndexFromDriverValues) {
    EXPECT_EQ(ModeIndexFromValue(1), 0);  // automatic
    EXPECT_EQ(ModeIndexFromValue(0), 1);  // manual
    EXPECT_EQ(ModeIndexFromValue(2), -1);
    EXPECT_EQ(ModeIndexFromValue(0xFFFFFFFFu), -1);
    EXPECT_EQ(ClockMasterIndexFromValue(0), 0);
    EXPECT_EQ(ClockMasterIndexFromValue(1), 1);
    EXPECT_EQ(ClockMasterIndexFromValue(2), -1);
    EXPECT_EQ(ClockMasterIndexFromValue(0xFFFFFFFFu), -1);
}

TEST(SyncFormatTest, RateTextCutsTheTenths) {
    EXPECT_EQ(RateText(44100), "44.1 kHz");
    EXPECT_EQ(RateText(48000), "48.0 kHz");
    EXPECT_EQ(RateText(22050), "22.0 kHz");
    EXPECT_EQ(RateText(88199), "88.1 kHz");
    EXPECT_EQ(RateText(4294967295u), "4294967.2 kHz");
}

TEST(SyncFormatTest, CountsBeyondTheRecordAreHeldToItsCapacity) {
    _SAMPLE_RATE_INFO rates{};
    rates.RateCount = 8;
    EXPECT_EQ(UsableRateCount(rates), 8u);
    rates.RateCount = 9;
    EXPECT_EQ(UsableRateCount(rates), 8u);
    rates.RateCount = 0xFFFFFFFFu;
    EXPECT_EQ(UsableRateCount(rates), 8u);

    _DEVICE_SYNC_MODE_INFO sources{};
    sources.SourceCount = 16;
    EXPECT_EQ(UsableSourceCount(sources), 16u);
    sources.SourceCount = 17;
    EXPECT_EQ(UsableSourceCount(sources), 16u);
}

TEST(SyncFormatTest, SourceNameIsReadWithinItsField) {
    _SYNC_MODE_ENTRY entry{};
    std::memcpy(entry.SourceName, "Internal", 9);
    EXPECT_EQ(SourceNameText(entry), "Internal");

    // All 40 bytes used, no terminating zero: the name ends with the field.
    std::memset(entry.SourceName, 'W', sizeof entry.SourceName);
    EXPECT_EQ(SourceNameText(entry), QString(40, QLatin1Char('W')));

    std::memcpy(entry.SourceName, "S/PDIF \xc3\xa9", 10);
    EXPECT_EQ(SourceNameText(entry), QString::fromUtf8("S/PDIF \xc3\xa9"));
}

TEST(SyncFormatTest, FindSourceLooksOnlyAtUsableEntries) {
    _DEVICE_SYNC_MODE_INFO info{};
    info.SourceCount = 2;
    info.Sources[0].SourceId = 7;
    info.Sources[1].SourceId = 9;
    info.Sources[2].SourceId = 11;  // beyond the count
    EXPECT_EQ(FindSourceIndex(info, 9), 1);
    EXPECT_EQ(FindSourceIndex(info, 11), -1);
    info.Sources[1].SourceId = 7;  // duplicates: the first wins
    EXPECT_EQ(FindSourceIndex(info, 7), 0);
    info.SourceCount = 1000;  // held to 16 entries
    info.Sources[15].SourceId = 42;
    EXPECT_EQ(FindSourceIndex(info, 42), 15);
}

}  // namespace
