#include "driver/RecordText.h"

#include <gtest/gtest.h>

#include <cstring>

#include "driver/ZivuUsbRecords.h"

TEST(FieldText, StopsAtNulOrAtTheEndOfTheField) {
    char terminated[8] = {'a', 'b', '\0', 'x', 'y', 'z', 'w', 'v'};
    EXPECT_EQ(FieldText(terminated), "ab");
    char full[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(FieldText(full), "abcd");
}

static std::string Repeat(const std::string& piece, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += piece;
    return s;
}

TEST(StoreName, CutsToThirtyNineBytesAndKeepsTheBytesAfterTheNul) {
    struct Case {
        std::string input;
        std::string stored;
    };
    const std::string ascii39(39, 'n');
    const Case cases[] = {
        {"", ""},
        {"Drums L", "Drums L"},
        {ascii39, ascii39},
        {std::string(45, 'm'), std::string(39, 'm')},
        // Twenty two-byte characters are 40 bytes; the cut falls between the 19th and 20th.
        {Repeat("\xC3\xA9", 20), Repeat("\xC3\xA9", 19)},
        // A three-byte character straddling byte 39 is dropped whole.
        {std::string(37, 'a') + "\xE2\x82\xAC", std::string(37, 'a')},
    };
    for (const Case& c : cases) {
        _ZEL_USB_CHANNEL_PROPERTIES record;
        std::memset(&record, 0x5A, sizeof record);
        StoreName(record.ChannelName, c.input);
        EXPECT_EQ(FieldText(record.ChannelName), c.stored) << c.input;
        EXPECT_EQ(record.ChannelName[39], '\0');
        // Bytes after the NUL (except the last one) are untouched.
        for (std::size_t i = c.stored.size() + 1; i < 39; ++i)
            EXPECT_EQ(record.ChannelName[i], 0x5A) << c.input << " byte " << i;
        EXPECT_EQ(record.HardwareName[0], 0x5A);
    }
}
