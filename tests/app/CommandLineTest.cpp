// Option search over the command line: whole tokens, ASCII case folding, quotes as part
// of the token, the first match and the token after it.
#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace {

struct Case {
    const char* commandLine;
    const char* option;
    bool ignoreCase;
    bool found;
    const char* next;
};

constexpr Case kCases[] = {
    {"", "-asio", true, false, ""},
    {"   \t ", "-asio", true, false, ""},
    {"-asio", "-asio", true, true, ""},
    {"-ASIO", "-asio", true, true, ""},
    {"-ASIO", "-asio", false, false, ""},
    {"-Hide -asio", "-hide", true, true, "-asio"},
    {"-Hide -asio", "-hide", false, false, ""},
    {" \t\v\f-asio\r\n", "-asio", true, true, ""},
    {"\"-asio\"", "-asio", true, false, ""},
    {"'-asio'", "-asio", true, false, ""},
    {"-asio2", "-asio", true, false, ""},
    {"x-asio", "-asio", true, false, ""},
    {"-asio,", "-asio", true, false, ""},
    {"-asiox -asio next", "-asio", true, true, "next"},
    {"-asio \v\f\r\n next more", "-asio", true, true, "next"},
    {"-asio -asio second", "-asio", true, true, "-asio"},
    {"-asio \"quoted text\"", "-asio", true, true, "\"quoted"},
    {"-asio -exit", "-exit", true, true, ""},
    {"a\tb\nc -exit", "-exit", true, true, ""},
    // Only A-Z fold: other bytes, UTF-8 letters included, compare by value.
    {"-\xC3\x84SIO", "-\xC3\xA4sio", true, false, ""},
    {"-\xC3\xA4SIO", "-\xC3\xA4sio", true, true, ""},
    {"-[sio", "-{sio", true, false, ""},
};

TEST(FindOption, Cases) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "'" << c.commandLine << "' option '" << c.option
                                        << "' ignoreCase " << c.ignoreCase);
        std::string next = "left over";
        EXPECT_EQ(FindOption(c.commandLine, c.option, &next, c.ignoreCase), c.found);
        EXPECT_EQ(next, c.next);
        EXPECT_EQ(FindOption(c.commandLine, c.option, nullptr, c.ignoreCase), c.found);
    }
}

TEST(JoinArguments, JoinsTheArgumentsAfterTheProgramWithSingleSpaces) {
    const char* none[] = {"zel-usb-cpl"};
    EXPECT_EQ(JoinArguments(1, none), "");
    const char* some[] = {"zel-usb-cpl", "-asio", "two words", "-hide"};
    EXPECT_EQ(JoinArguments(4, some), "-asio two words -hide");
    EXPECT_TRUE(FindOption(JoinArguments(4, some), "-hide"));
}

}  // namespace
