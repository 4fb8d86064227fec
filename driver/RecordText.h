// Reading and writing the fixed 8-bit text fields of driver records. A field is read only
// within its own bytes, terminated or not; a name is stored cut to the field without
// splitting a UTF-8 sequence, and the bytes after its NUL keep what they held.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The text of a field: up to its first NUL, or all of its bytes when it has none.
std::string_view FieldText(const char* field, std::size_t size);

template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
    return FieldText(field, N);
}

// The longest prefix of `text` that fits in `maxBytes` bytes without cutting a UTF-8
// sequence in two.
std::string_view CutAtCharacterBoundary(std::string_view text, std::size_t maxBytes);

// Stores `text` into a user-editable name field: at most size - 1 bytes, cut at a
// character boundary, then a NUL; the field's last byte is set to 0; every other byte
// after the NUL is left as it was.
void StoreName(char* field, std::size_t size, std::string_view text);

template <std::size_t N>
void StoreName(char (&field)[N], std::string_view text) {
    StoreName(field, N, text);
}
