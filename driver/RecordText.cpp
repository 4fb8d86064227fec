#include "RecordText.h"

#include <cstring>

std::string_view FieldText(const char* field, std::size_t size) {
    const void* nul = std::memchr(field, '\0', size);
    return {field, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : size};
}

std::string_view CutAtCharacterBoundary(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t end = maxBytes;
    // Step back over continuation bytes (10xxxxxx) to the start of the cut character.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

void StoreName(char* field, std::size_t size, std::string_view text) {
    if (size == 0) return;
    std::string_view kept = CutAtCharacterBoundary(text, size - 1);
    std::memcpy(field, kept.data(), kept.size());
    field[kept.size()] = '\0';
    field[size - 1] = '\0';
}
