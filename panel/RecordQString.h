// Record text fields as the panel shows them: the field's bytes up to its NUL (or all of
// them when it has none), read as UTF-8, the system's 8-bit encoding here.
#pragma once

#include <QString>
#include <cstddef>

#include "driver/RecordText.h"

inline QString FieldQString(const char* field, std::size_t size) {
    const std::string_view text = FieldText(field, size);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

template <std::size_t N>
QString FieldQString(const char (&field)[N]) {
    return FieldQString(field, N);
}
