#include <gtest/gtest.h>

#include <QList>
#include <string>

#include "panel/AsioDisplayName.h"

TEST(AsioDisplayName, ComposesAndCutsToThirtyTwoCharacters) {
    struct Case {
        const char* device;
        const char* channel;
        bool include;
        const char* expected;
    };
    const QString thirty(30, QLatin1Char('D'));
    const std::string thirtyUtf8 = thirty.toStdString();
    const std::string thirtyNine(39, 'c');
    const std::string thirtyDashed = thirtyUtf8 + " -";
    const std::string thirtyTwo(32, 'c');
    const Case cases[] = {
        {"Desk Unit", "In 1", false, "In 1"},
        {"Desk Unit", "In 1", true, "Desk Unit - In 1"},
        {thirtyUtf8.c_str(), "In 1", true, thirtyDashed.c_str()},
        {"Desk Unit", thirtyNine.c_str(), false, thirtyTwo.c_str()},
        {"", "Out 3", true, " - Out 3"},
        {"Desk Unit", "", false, ""},
        // Characters, not bytes: 32 two-byte characters stay whole, the 33rd goes.
        {"Pult", "ééééééééééééééééééééééééééééééééé", false, "éééééééééééééééééééééééééééééééé"},
        {"Mischpult Süd", "Eingang ü 1", true, "Mischpult Süd - Eingang ü 1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ComposeAsioDisplayName(QString::fromUtf8(c.device), QString::fromUtf8(c.channel),
                                         c.include)
                      .toStdString(),
                  std::string(c.expected))
            << c.device << " / " << c.channel << " / " << c.include;
}

TEST(AsioDisplayName, NeverSplitsACharacterOutsideTheBasicPlane) {
    // 31 letters then a character that takes two UTF-16 units: it is the 32nd and stays.
    const QString clef = QString::fromUtf8("\xF0\x9D\x84\x9E");
    const QString name = QString(31, QLatin1Char('a')) + clef + clef;
    const QString shown = ComposeAsioDisplayName({}, name, false);
    EXPECT_EQ(shown, QString(31, QLatin1Char('a')) + clef);
    EXPECT_EQ(shown.toUcs4().size(), 32);
    EXPECT_EQ(LeftCharacters(clef + clef + clef, 2), clef + clef);
    EXPECT_EQ(LeftCharacters(QStringLiteral("ab"), 5), QStringLiteral("ab"));
}
