#include "CommandLine.h"

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// ASCII letters only: the option texts are ASCII, and other bytes must not fold by locale.
char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool TokenEquals(std::string_view token, std::string_view option, bool ignoreCase) {
    if (token.size() != option.size()) return false;
    for (std::size_t i = 0; i < token.size(); ++i) {
        const char a = ignoreCase ? FoldAscii(token[i]) : token[i];
        const char b = ignoreCase ? FoldAscii(option[i]) : option[i];
        if (a != b) return false;
    }
    return true;
}

// Skips whitespace from `pos`, then returns the run of non-whitespace bytes after it.
std::string_view NextToken(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    const std::size_t start = pos;
    while (pos < text.size() && !IsSpace(text[pos])) ++pos;
    return text.substr(start, pos - start);
}

}  // namespace

bool FindOption(std::string_view commandLine, std::string_view option, std::string* nextToken,
                bool ignoreCase) {
    if (nextToken) nextToken->clear();
    std::size_t pos = 0;
    for (;;) {
        const std::string_view token = NextToken(commandLine, pos);
        if (token.empty()) return false;
        if (TokenEquals(token, option, ignoreCase)) {
            const std::string_view next = NextToken(commandLine, pos);
            if (nextToken && !next.empty()) nextToken->assign(next);
            return true;
        }
    }
}

std::string JoinArguments(int argc, const char* const argv[]) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    return text;
}
