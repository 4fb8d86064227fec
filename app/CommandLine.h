// The panel's command line: whole-token option search over the argument text.
#pragma once

#include <string>
#include <string_view>

// Looks for `option` as a whole whitespace-separated token of `commandLine` (space, tab,
// line feed, vertical tab, form feed, carriage return separate tokens; quotes are part
// of the token they stand in). Only the first match counts; the token after it goes to
// `nextToken` when given (emptied first, left empty when nothing follows). With
// `ignoreCase`, A-Z equal a-z and every other byte compares by value.
bool FindOption(std::string_view commandLine, std::string_view option,
                std::string* nextToken = nullptr, bool ignoreCase = true);

// The argument text after the program path: argv[1..] joined by single spaces. An
// argument that itself holds whitespace therefore reads as several tokens.
std::string JoinArguments(int argc, const char* const argv[]);
