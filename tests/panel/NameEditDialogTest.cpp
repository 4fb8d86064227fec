#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <cstring>
#include <string>

#include "driver/RecordText.h"
#include "panel/SubDlgChannelNameEdit.h"
#include "panel/SubDlgDeviceNameEdit.h"
#include "qt/QtTestApp.h"

namespace {

// Types `text` into the open name dialog and presses the button `buttonId` (1 OK, 2 Cancel).
void AnswerNameDialog(const QString& text, const char* buttonId, QString* shown = nullptr) {
    qttest::AnswerNextModal([=](QWidget* dialog) {
        auto* edit = dialog->findChild<QLineEdit*>();
        if (shown) *shown = edit->text();
        edit->setText(text);
        dialog->findChild<QPushButton*>(buttonId)->click();
    });
}

std::string Repeat(const std::string& piece, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += piece;
    return s;
}

class NameEditDialogTest : public ::testing::Test {
protected:
    void SetUp() override { qttest::App(); }
};

TEST_F(NameEditDialogTest, DeviceNameIsCutToThirtyNineBytesAndOnlyTheNameChanges) {
    struct Case {
        std::string typed;
        std::string stored;
    };
    const Case cases[] = {
        {"Studio Rack", "Studio Rack"},
        {std::string(39, 'n'), std::string(39, 'n')},
        {std::string(45, 'm'), std::string(39, 'm')},
        {"", ""},
        // 20 two-byte characters: the 20th would end at byte 40 and is dropped whole.
        {Repeat("\xC3\xB6", 20), Repeat("\xC3\xB6", 19)},
    };
    for (const Case& c : cases) {
        _ZEL_USB_DEVICE_PROPERTIES record;
        std::memset(&record, 0x5A, sizeof record);
        std::strcpy(record.DeviceName, "Old Name");
        std::strcpy(record.SerialNumber, "SN-0001");
        _ZEL_USB_DEVICE_PROPERTIES before = record;

        QString shown;
        AnswerNameDialog(QString::fromStdString(c.typed), "1", &shown);
        CSubDlgDeviceNameEdit dialog(&record);
        EXPECT_EQ(dialog.DoModal(), CSubDlgDeviceNameEdit::IDOK);
        EXPECT_EQ(shown, QStringLiteral("Old Name"));
        EXPECT_EQ(FieldText(record.DeviceName), c.stored) << c.typed;
        EXPECT_EQ(record.DeviceName[39], '\0');
        // Every byte outside the name, and the name's bytes after its NUL but the last, as before.
        std::memcpy(before.DeviceName, record.DeviceName, c.stored.size() + 1);
        before.DeviceName[39] = '\0';
        EXPECT_EQ(std::memcmp(&before, &record, sizeof record), 0) << c.typed;
    }
}

TEST_F(NameEditDialogTest, CancelLeavesTheRecordUntouched) {
    _ZEL_USB_CHANNEL_PROPERTIES record;
    std::memset(&record, 0x33, sizeof record);
    std::strcpy(record.ChannelName, "In 1");
    const _ZEL_USB_CHANNEL_PROPERTIES before = record;
    AnswerNameDialog(QStringLiteral("Something else"), "2");
    CSubDlgChannelNameEdit dialog(&record);
    EXPECT_EQ(dialog.DoModal(), CSubDlgChannelNameEdit::IDCANCEL);
    EXPECT_EQ(std::memcmp(&before, &record, sizeof record), 0);
}

TEST_F(NameEditDialogTest, UnterminatedNameIsReadWithinItsField) {
    _ZEL_USB_CHANNEL_PROPERTIES record;
    std::memset(&record, 'x', sizeof record);  // no NUL anywhere in ChannelName
    QString shown;
    AnswerNameDialog(QStringLiteral("Kick"), "1", &shown);
    CSubDlgChannelNameEdit dialog(&record);
    EXPECT_EQ(dialog.DoModal(), CSubDlgChannelNameEdit::IDOK);
    EXPECT_EQ(shown, QString(40, QLatin1Char('x')));
    EXPECT_EQ(FieldText(record.ChannelName), "Kick");
    EXPECT_EQ(record.ChannelName[39], '\0');
    EXPECT_EQ(record.HardwareName[0], 'x');
}

TEST_F(NameEditDialogTest, ControlsCarryTheirIdsAndDistinctAccessibleNames) {
    _ZEL_USB_DEVICE_PROPERTIES device{};
    _ZEL_USB_CHANNEL_PROPERTIES channel{};
    CSubDlgDeviceNameEdit deviceDialog(&device);
    CSubDlgChannelNameEdit channelDialog(&channel);
    struct Expect {
        QDialog* dialog;
        const char* caption;
        const char* label;
        const char* edit;
    };
    for (const Expect& e : {Expect{&deviceDialog, "Edit Device Name", "1004", "1005"},
                            Expect{&channelDialog, "Edit Channel Name", "1020", "1021"}}) {
        EXPECT_EQ(e.dialog->windowTitle(), QString::fromUtf8(e.caption));
        EXPECT_NE(e.dialog->findChild<QWidget*>(e.label), nullptr);
        auto* edit = e.dialog->findChild<QLineEdit*>(e.edit);
        ASSERT_NE(edit, nullptr);
        auto* ok = e.dialog->findChild<QPushButton*>("1");
        auto* cancel = e.dialog->findChild<QPushButton*>("2");
        ASSERT_TRUE(ok && cancel);
        EXPECT_TRUE(ok->isDefault());
        EXPECT_FALSE(edit->accessibleName().isEmpty());
        EXPECT_NE(ok->accessibleName(), cancel->accessibleName());
        EXPECT_FALSE(ok->accessibleName().isEmpty());
    }
}

}  // namespace
