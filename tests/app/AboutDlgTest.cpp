// The About box's texts, with driver versions and without, and the box itself.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "app/AboutDlg.h"
#include "app/App.h"
#include "driver/Drv.h"
#include "fixtures/SimDriverInProcess.h"
#include "qt/QtTestApp.h"
#include "support/ScopedRunDir.h"

namespace {

const QString kTitle = "Tolvane KM-8 USB Control Panel";
const QString kShort = kTitle + ": V 1.01\n\n\n" + CAboutDlg::kClosingLine;

_DRIVER_VERSION_INFO Versions(int im, int in, int dm, int dn, std::uint32_t build) {
    _DRIVER_VERSION_INFO info{};
    info.InterfaceMajor = static_cast<std::uint8_t>(im);
    info.InterfaceMinor = static_cast<std::uint8_t>(in);
    info.DriverMajor = static_cast<std::uint8_t>(dm);
    info.DriverMinor = static_cast<std::uint8_t>(dn);
    info.DriverBuild = build;
    return info;
}

TEST(AboutText, ShowsTheVersionsOnlyWhenTheDriverAnswered) {
    const struct {
        std::uint32_t status;
        _DRIVER_VERSION_INFO info;
        QString interfaceVersion;
        QString driverVersion;
    } cases[] = {
        {0, Versions(2, 1, 3, 4, 56), "2.1", "3.4.56"},
        {0, Versions(2, 0, 1, 0, 0), "2.0", "1.0.0"},
        {0, Versions(255, 255, 255, 255, 0xFFFFFFFFu), "255.255", "255.255.4294967295"},
        {0, Versions(2, 9, 10, 11, 0x80000000u), "2.9", "10.11.2147483648"},
        {ZIVU_STATUS_NOT_OPEN, Versions(2, 1, 3, 4, 56), "", ""},
        {ZIVU_STATUS_WRONG_INTERFACE, {}, "", ""},
        {111 /* connection refused */, {}, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        const QString text = AboutText(kTitle, c.status, c.info);
        if (c.status != 0) {
            EXPECT_EQ(text, kShort);
            EXPECT_EQ(text.split('\n').size(), 4);
            continue;
        }
        EXPECT_EQ(text, kTitle + ": V 1.01\n\n - Driver Interface Version " + c.interfaceVersion +
                            "\n\n - Driver Version " + c.driverVersion + "\n\n" +
                            CAboutDlg::kClosingLine);
        EXPECT_EQ(text.split('\n').size(), 7);
    }
}

TEST(AboutDlg, WithoutADriverShowsTheShortTextAndClosesWithOk) {
    testsupport::ScopedRunDir runDir;
    qttest::App();
    theDrv.Close();
    QString seenText, seenTitle, seenName;
    bool okDefault = false;
    qttest::AnswerNextModal([&](QWidget* dialog) {
        seenName = dialog->objectName();
        seenTitle = dialog->windowTitle();
        if (auto* label = dialog->findChild<QLabel*>("1062")) seenText = label->text();
        auto* ok = dialog->findChild<QPushButton*>("1");
        if (ok) {
            okDefault = ok->isDefault();
            ok->click();
        }
    });
    theApp.OnAppAbout();  // modal; returns once OK was pressed
    EXPECT_EQ(seenName, "100");
    EXPECT_EQ(seenTitle, "About Control Panel");
    EXPECT_EQ(seenText, kShort);
    EXPECT_TRUE(okDefault);
}

TEST(AboutDlg, WithTheDriverShowsItsVersionsReadAnewEachTime) {
    qttest::App();
    zeltest::SimDriverInProcess driver;
    driver.SetVersion(2, 1);
    driver.SetDriverVersion(3, 4, 56);
    ASSERT_EQ(theDrv.Open(ZIVU_DRIVER_NAME), 0u);
    driver.ClearLog();
    const auto shown = [] {
        CAboutDlg dialog;
        auto* label = dialog.findChild<QLabel*>("1062");
        return label ? label->text() : QString();
    };
    EXPECT_EQ(shown(), kTitle +
                           ": V 1.01\n\n - Driver Interface Version 2.1\n\n - Driver Version "
                           "3.4.56\n\n" +
                           CAboutDlg::kClosingLine);
    driver.SetDriverVersion(3, 5, 4000000000u);
    EXPECT_TRUE(shown().contains(" - Driver Version 3.5.4000000000\n"));
    std::size_t asked = 0;
    for (const auto& entry : driver.Log()) asked += entry.code == IOCTL_GET_DRIVER_VERSION;
    EXPECT_EQ(asked, 2u) << "the box asks the driver each time it opens";

    driver.Fail(IOCTL_GET_DRIVER_VERSION, 0xE0000047u);
    EXPECT_EQ(shown(), kShort) << "a refused request gives the short text";
    theDrv.Close();
}

}  // namespace
