#include "AsioDisplayName.h"

QString LeftCharacters(const QString& text, int count) {
    qsizetype end = 0;
    for (int kept = 0; kept < count && end < text.size(); ++kept) {
        const bool pair = text.at(end).isHighSurrogate() && end + 1 < text.size() &&
                          text.at(end + 1).isLowSurrogate();
        end += pair ? 2 : 1;
    }
    return text.left(end);
}

QString ComposeAsioDisplayName(const QString& deviceName, const QString& channelName,
                               bool includeDeviceName) {
    QString name;
    if (includeDeviceName) name = deviceName + QStringLiteral(" - ");
    name += channelName;
    return LeftCharacters(name, kAsioDisplayNameLength);
}
