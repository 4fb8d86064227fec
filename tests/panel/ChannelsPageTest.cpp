// The channels pages against the substitute driver: rows and display names, the hardware
// name of the selection, the shared include-device-name box, renames, left-out channels
// and channels that go while the rename dialog is open.
#include <QCheckBox>
#include <QLabel>

#include "DevicesTestBed.h"
#include "panel/DlgPgChannels.h"

using namespace pagetest;

namespace {

constexpr std::uint32_t kRefused = 0xE0000099;

class ChannelsPageTest : public PageTest {
protected:
    // A page of its own, without the view.
    CDlgPgChannels& MakePage(bool outputs = false) {
        Connect();
        page = std::make_unique<CDlgPgChannels>(outputs);
        page->CreatePage(nullptr);
        return *page;
    }

    std::vector<std::string> DriverInputNames() {
        std::vector<std::string> names;
        const nlohmann::json dump = sim.Dump();
        for (const auto& device : dump["devices"])
            for (const auto& channel : device["inputs"])
                names.push_back(channel["name"].get<std::string>());
        return names;
    }

    // The requests of one channels page reload with k channels.
    static std::vector<std::uint32_t> PageReload(std::size_t channels) {
        std::vector<std::uint32_t> codes{IOCTL_GET_CHANNEL_LISTS};
        Append(codes, IOCTL_GET_CHANNEL_PROPERTIES, channels);
        Append(codes, IOCTL_GET_DEVICE_PROPERTIES, channels);
        return codes;
    }

    std::unique_ptr<CDlgPgChannels> page;
};

TEST_F(ChannelsPageTest, RowsShowDeviceChannelAndDisplayNamesInTheDriversOrder) {
    PlugDevice("Desk Unit", "S1", 2, 1);
    PlugDevice(std::string(30, 'D'), "S2", 1, 0);
    CDlgPgChannels& inputs = MakePage();
    EXPECT_EQ(Column(*inputs.m_List, 0),
              (QStringList{"Desk Unit", "Desk Unit", QString(30, QLatin1Char('D'))}));
    EXPECT_EQ(Column(*inputs.m_List, 1), (QStringList{"In 1", "In 2", "In 1"}));
    EXPECT_EQ(Column(*inputs.m_List, 2), (QStringList{"In 1", "In 2", "In 1"}));
    EXPECT_FALSE(inputs.m_IncludeDeviceNameCheck->isChecked());

    inputs.m_IncludeDeviceNameChecked = true;
    inputs.ComposeAsioDisplayNames();
    EXPECT_EQ(Column(*inputs.m_List, 2), (QStringList{"Desk Unit - In 1", "Desk Unit - In 2",
                                                      QString(30, QLatin1Char('D')) + " -"}));

    CDlgPgChannels outputs(true);
    outputs.CreatePage(nullptr);
    EXPECT_EQ(Column(*outputs.m_List, 1), (QStringList{"Out 1"}));
}

TEST_F(ChannelsPageTest, TheSelectionShowsItsHardwareNameAndEnablesRenaming) {
    PlugDevice("Desk Unit", "S1", 2, 0);
    CDlgPgChannels& inputs = MakePage();
    auto controls = [&] {
        return std::vector<bool>{inputs.m_EditNameButton->isEnabled(),
                                 inputs.m_HardwareNameEdit->isEnabled(),
                                 inputs.m_HardwareNameLabel->isEnabled()};
    };
    EXPECT_EQ(controls(), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(inputs.m_HardwareNameEdit->text(), QString());

    inputs.m_List->SelectRow(1);
    EXPECT_EQ(controls(), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(inputs.m_HardwareNameEdit->text(), QStringLiteral(" Line In 2"));
    EXPECT_TRUE(inputs.m_HardwareNameEdit->isReadOnly());

    // After a reload the same position is selected, or none when the list got shorter.
    inputs.Reload();
    EXPECT_EQ(inputs.m_List->GetSelectedIndex(), 1);
    sim.Mutate([](simdriver::SimState& s) { s.devices[0].inputs.pop_back(); });
    inputs.Reload();
    EXPECT_EQ(inputs.m_List->GetSelectedIndex(), -1);
    EXPECT_EQ(controls(), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(inputs.m_HardwareNameEdit->text(), QString());
}

TEST_F(ChannelsPageTest, TheIncludeBoxIsReadByEachPageAndClickingItSetsBothPagesWithoutReload) {
    PlugDevice("Desk Unit", "S1", 1, 1);
    sim.Mutate([](simdriver::SimState& s) { s.includeDeviceName = 1; });
    CZEL_USB_CPLView& panel = MakeView();
    CDlgPgChannels* pages[] = {&panel.m_dlgInputChannels, &panel.m_dlgOutputChannels};
    for (CDlgPgChannels* p : pages) EXPECT_TRUE(p->m_IncludeDeviceNameCheck->isChecked());
    EXPECT_EQ(pages[1]->m_List->GetItemText(0, 2), QStringLiteral("Desk Unit - Out 1"));

    sim.ClearLog();
    pages[0]->m_IncludeDeviceNameCheck->click();
    EXPECT_EQ(Requests(), (std::vector<std::uint32_t>{IOCTL_SET_INCLUDE_DEVICE_NAME}));
    EXPECT_EQ(sim.Dump()["include_device_name"], 0);
    EXPECT_EQ(theDrv.m_IncludeDeviceName, 0u);
    for (CDlgPgChannels* p : pages) {
        EXPECT_FALSE(p->m_IncludeDeviceNameCheck->isChecked());
        EXPECT_FALSE(p->m_IncludeDeviceNameChecked);
    }
    EXPECT_EQ(pages[0]->m_List->GetItemText(0, 2), QStringLiteral("In 1"));
    EXPECT_EQ(pages[1]->m_List->GetItemText(0, 2), QStringLiteral("Out 1"));

    pages[1]->m_IncludeDeviceNameCheck->click();
    EXPECT_EQ(sim.Dump()["include_device_name"], 1);
    EXPECT_TRUE(pages[0]->m_IncludeDeviceNameCheck->isChecked());
    EXPECT_EQ(pages[0]->m_List->GetItemText(0, 2), QStringLiteral("Desk Unit - In 1"));
}

TEST_F(ChannelsPageTest, AFailedReadOfTheSettingLeavesTheBoxUnticked) {
    sim.Mutate([](simdriver::SimState& s) { s.includeDeviceName = 1; });
    sim.Fail(IOCTL_GET_INCLUDE_DEVICE_NAME, kRefused, 1);
    EXPECT_FALSE(MakePage().m_IncludeDeviceNameCheck->isChecked());
}

TEST_F(ChannelsPageTest, AChannelWhoseDeviceCannotBeReadIsLeftOutAndLaterRowsMoveUp) {
    PlugDevice("Desk Unit", "S1", 2, 0);
    PlugDevice("Stage Box", "S2", 2, 0);
    sim.Mutate([](simdriver::SimState& s) {
        s.devices[0].inputs[0].name = "Kick";
        s.devices[0].inputs[1].name = "Snare";
        s.devices[1].inputs[0].name = "Bass";
        s.devices[1].inputs[1].name = "Keys";
    });
    CDlgPgChannels& inputs = MakePage();
    // The second channel's device lookup fails: arm the fault once the first row is in.
    bool armed = false;
    QObject::connect(inputs.m_List->model(), &QAbstractItemModel::rowsInserted, [&] {
        if (!armed) sim.Fail(IOCTL_GET_DEVICE_PROPERTIES, kRefused, 1);
        armed = true;
    });
    inputs.Reload();
    EXPECT_EQ(Column(*inputs.m_List, 0), (QStringList{"Desk Unit", "Stage Box", "Stage Box"}));
    EXPECT_EQ(Column(*inputs.m_List, 1), (QStringList{"Kick", "Bass", "Keys"}));
    EXPECT_EQ(Column(*inputs.m_List, 2), (QStringList{"Kick", "Bass", "Keys"}));
    std::vector<int> values;
    for (int row = 0; row < inputs.m_List->GetItemCount(); ++row)
        values.push_back(inputs.m_List->GetItemData(row));
    EXPECT_EQ(values, (std::vector<int>{0, 2, 3}));
    inputs.m_List->SelectRow(1);
    EXPECT_EQ(inputs.m_HardwareNameEdit->text(), QStringLiteral(" Line In 1"));

    // A failed channel load leaves the list empty though the model kept some records.
    sim.Fail(IOCTL_GET_CHANNEL_PROPERTIES, kRefused, 1);
    inputs.Reload();
    EXPECT_EQ(theDrv.m_InputChannels.GetSize(), 3u);
    EXPECT_EQ(inputs.m_List->GetItemCount(), 0);
}

TEST_F(ChannelsPageTest, RenameSendsTheCopyAndReloadsThisPageOnly) {
    PlugDevice("Desk Unit", "S1", 2, 1);
    CZEL_USB_CPLView& panel = MakeView();
    CDlgPgChannels& inputs = panel.m_dlgInputChannels;
    std::string twentyEuros;
    for (int i = 0; i < 20; ++i) twentyEuros += "\xE2\x82\xAC";
    struct Case {
        std::string typed;
        std::string stored;
    };
    const Case cases[] = {
        {"Vocals", "Vocals"},
        {std::string(50, 'c'), std::string(39, 'c')},
        // Thirteen three-byte characters fill 39 bytes exactly; the fourteenth goes.
        {twentyEuros, twentyEuros.substr(0, 39)},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        inputs.m_List->SelectRow(1);
        sim.ClearLog();
        AnswerNameDialog(QString::fromStdString(c.typed));
        inputs.m_EditNameButton->click();
        EXPECT_EQ(DriverInputNames(), (std::vector<std::string>{"In 1", c.stored}));
        std::vector<std::uint32_t> expected{IOCTL_SET_CHANNEL_PROPERTIES};
        for (std::uint32_t code : PageReload(2)) expected.push_back(code);
        EXPECT_EQ(Requests(), expected);
        EXPECT_EQ(inputs.m_List->GetItemText(1, 1), QString::fromStdString(c.stored));
        EXPECT_EQ(inputs.m_List->GetSelectedIndex(), 1);
    }

    sim.ClearLog();
    AnswerNameDialog(QStringLiteral("Never stored"), false);
    inputs.m_EditNameButton->click();
    EXPECT_TRUE(Requests().empty());
}

TEST_F(ChannelsPageTest, AChannelThatGoesWhileItsRenameDialogIsOpenIsReloadedAway) {
    PlugDevice("Desk Unit", "S1", 1, 0);
    PlugDevice("Stage Box", "S2", 1, 0);
    CZEL_USB_CPLView& panel = MakeView();
    CDlgPgChannels& inputs = panel.m_dlgInputChannels;
    inputs.m_List->SelectRow(1);
    AnswerNameDialog(QStringLiteral("Too late"), true, [&] {
        sim.Unplug("S2");
        panel.ReloadAllPages();
    });
    inputs.m_EditNameButton->click();
    EXPECT_EQ(DriverInputNames(), (std::vector<std::string>{"In 1"}));
    EXPECT_EQ(Column(*inputs.m_List, 0), (QStringList{"Desk Unit"}));

    // The survivor, renamed while the other device goes, keeps its new name.
    PlugDevice("Stage Box", "S2", 1, 0);
    panel.ReloadAllPages();
    inputs.m_List->SelectRow(0);
    AnswerNameDialog(QStringLiteral("Talkback"), true, [&] {
        sim.Unplug("S2");
        panel.ReloadAllPages();
    });
    inputs.m_EditNameButton->click();
    EXPECT_EQ(DriverInputNames(), (std::vector<std::string>{"Talkback"}));
    EXPECT_EQ(Column(*inputs.m_List, 1), (QStringList{"Talkback"}));
}

TEST_F(ChannelsPageTest, UnterminatedNamesAndBrokenRowValuesAreHandledWithinBounds) {
    PlugDevice("Desk Unit", "S1", 1, 0);
    _ZEL_USB_CHANNEL_PROPERTIES record;
    std::memset(&record, 'x', sizeof record);
    const nlohmann::json dump = sim.Dump();
    record.DeviceId = dump["devices"][0]["id"].get<std::uint32_t>();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
    sim.Answer(IOCTL_GET_CHANNEL_PROPERTIES, {bytes, bytes + sizeof record});
    CDlgPgChannels& inputs = MakePage();
    EXPECT_EQ(inputs.m_List->GetItemText(0, 1), QString(40, QLatin1Char('x')));
    EXPECT_EQ(inputs.m_List->GetItemText(0, 2), QString(32, QLatin1Char('x')));
    inputs.m_List->SelectRow(0);
    EXPECT_EQ(inputs.m_HardwareNameEdit->text(),
              QStringLiteral(" ") + QString(40, QLatin1Char('x')));

    inputs.m_List->SetItemData(0, 5);
    sim.ClearLog();
    inputs.m_EditNameButton->click();  // would open a dialog; none appears
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(Requests().empty());
}

TEST_F(ChannelsPageTest, SixtyFourDevicesWithTwoHundredFiftySixChannelsEachWay) {
    for (int i = 0; i < 64; ++i)
        PlugDevice("Unit " + std::to_string(i), "S" + std::to_string(i), 4, 4);
    CZEL_USB_CPLView& panel = MakeView();
    EXPECT_EQ(panel.m_dlgDevices.m_List->GetItemCount(), 64);
    EXPECT_EQ(frame.m_panes[1], QStringLiteral("64 Device(s) connected."));
    for (CDlgPgChannels* p : {&panel.m_dlgInputChannels, &panel.m_dlgOutputChannels}) {
        EXPECT_EQ(p->m_List->GetItemCount(), 256);
        EXPECT_EQ(p->m_List->GetItemText(255, 0), QStringLiteral("Unit 63"));
        EXPECT_EQ(p->m_List->GetItemData(255), 255);
    }
}

TEST_F(ChannelsPageTest, ControlsCarryTheirIdsAndDistinctAccessibleNames) {
    CZEL_USB_CPLView& panel = MakeView();
    for (CDlgPgChannels* p : {&panel.m_dlgInputChannels, &panel.m_dlgOutputChannels}) {
        QStringList names;
        for (const char* id : {"1007", "1027", "1080"}) {
            auto* control = p->findChild<QWidget*>(id);
            ASSERT_NE(control, nullptr) << id;
            names << control->accessibleName();
        }
        const QString list = p->m_Outputs ? "Output channels" : "Input channels";
        EXPECT_EQ(names, (QStringList{list, "Include device name in ASIO display names",
                                      "Edit channel name"}));
        // The hardware name is a value; its label names it.
        auto* value = p->findChild<QWidget*>("1081");
        auto* label = p->findChild<QLabel*>("1082");
        ASSERT_TRUE(value && label);
        EXPECT_TRUE(value->accessibleName().isEmpty());
        EXPECT_EQ(label->buddy(), value);
    }
}

}  // namespace
