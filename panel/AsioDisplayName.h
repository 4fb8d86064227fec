// The name under which ASIO hosts show a channel: the channel name, optionally led by its
// device's name and " - ", cut to the host's 32 characters.
#pragma once

#include <QString>

// Longest a display name may be, in characters.
constexpr int kAsioDisplayNameLength = 32;

// The first `count` characters of `text` (Unicode code points, so a character outside the
// basic plane is kept or dropped whole, never split into half a surrogate pair).
QString LeftCharacters(const QString& text, int count);

QString ComposeAsioDisplayName(const QString& deviceName, const QString& channelName,
                               bool includeDeviceName);
