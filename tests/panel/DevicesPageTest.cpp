// The devices page against the substitute driver: rows, enable rules, moves and Apply,
// renames, failures of the load, and devices that go while the rename dialog is open.
#include <QKeyEvent>
#include <QLabel>
#include <map>

#include "DevicesTestBed.h"
#include "panel/DlgPgDevices.h"

using namespace pagetest;

namespace {

constexpr std::uint32_t kRefused = 0xE0000099;

class DevicesPageTest : public PageTest {
protected:
    // A page of its own, without the view.
    CDlgPgDevices& MakePage() {
        Connect();
        page = std::make_unique<CDlgPgDevices>();
        page->CreatePage(nullptr);
        return *page;
    }

    std::map<std::string, std::uint32_t> DriverRankings() {
        std::map<std::string, std::uint32_t> rankings;
        const nlohmann::json dump = sim.Dump();
        for (const auto& device : dump["devices"])
            rankings[device["name"].get<std::string>()] = device["ranking"].get<std::uint32_t>();
        return rankings;
    }

    // What Apply or a rename makes the driver see after its SETs: this page's reload,
    // then the input and the output channels page (k channels each).
    static void AppendReloadSequence(std::vector<std::uint32_t>& codes, std::size_t devices,
                                     std::size_t inputs, std::size_t outputs) {
        Append(codes, IOCTL_GET_DEVICE_LIST);
        Append(codes, IOCTL_GET_DEVICE_PROPERTIES, devices);
        for (std::size_t channels : {inputs, outputs}) {
            Append(codes, IOCTL_GET_CHANNEL_LISTS);
            Append(codes, IOCTL_GET_CHANNEL_PROPERTIES, channels);
            Append(codes, IOCTL_GET_DEVICE_PROPERTIES, channels);
        }
    }

    std::unique_ptr<CDlgPgDevices> page;
};

struct ButtonStates {
    bool edit, up, down, help;
    bool operator==(const ButtonStates&) const = default;
};

ButtonStates StatesOf(const CDlgPgDevices& page) {
    return {page.m_EditNameButton->isEnabled(), page.m_UpButton->isEnabled(),
            page.m_DownButton->isEnabled(), !page.m_HelpLabel->isHidden()};
}

TEST_F(DevicesPageTest, EnableRulesFollowTheSelectionAndTheStatusPaneCountsTheDevices) {
    CDlgPgDevices& devices = MakePage();
    const QString connected = QStringLiteral(" Device(s) connected.");
    EXPECT_EQ(devices.m_List->GetItemCount(), 0);
    EXPECT_EQ(StatesOf(devices), (ButtonStates{false, false, false, false}));
    EXPECT_EQ(frame.m_panes[1], QStringLiteral("0") + connected);
    EXPECT_FALSE(devices.m_ApplyButton->isEnabled());

    PlugDevice("Desk Unit", "S1");
    devices.Reload();
    EXPECT_EQ(frame.m_panes[1], QStringLiteral("1") + connected);
    EXPECT_EQ(StatesOf(devices), (ButtonStates{false, false, false, false}));
    devices.m_List->SelectRow(0);
    EXPECT_EQ(StatesOf(devices), (ButtonStates{true, false, false, false}));

    PlugDevice("Stage Box", "S2");
    PlugDevice("Side Rack", "S3");
    devices.Reload();  // the selected position stays selected
    EXPECT_EQ(frame.m_panes[1], QStringLiteral("3") + connected);
    EXPECT_EQ(Column(*devices.m_List, 0), (QStringList{"Desk Unit", "Stage Box", "Side Rack"}));
    EXPECT_EQ(Column(*devices.m_List, 1), (QStringList{"S1", "S2", "S3"}));
    const ButtonStates byRow[] = {
        {true, false, true, true}, {true, true, true, true}, {true, true, false, true}};
    for (int row = 0; row < 3; ++row) {
        if (row > 0) devices.m_List->SelectRow(row);
        EXPECT_EQ(devices.m_List->GetSelectedIndex(), row);
        EXPECT_EQ(StatesOf(devices), byRow[row]) << "row " << row;
    }
    EXPECT_EQ(devices.m_HelpLabel->text(),
              QStringLiteral("Use Up and Down buttons to change device ranking and press Apply "
                             "to store settings.\nDevice ranking defines the order of channels "
                             "shown in ASIO hosts."));

    // The list became shorter than the remembered position: nothing is selected.
    sim.Unplug("S3");
    devices.Reload();
    EXPECT_EQ(devices.m_List->GetSelectedIndex(), -1);
    EXPECT_EQ(StatesOf(devices), (ButtonStates{false, false, false, false}));
    EXPECT_FALSE(devices.m_ApplyButton->isEnabled());
}

TEST_F(DevicesPageTest, MovingSendsNothingAndApplyStoresTheRankingThenReloadsEveryList) {
    PlugDevice("A", "SA");
    PlugDevice("B", "SB");
    PlugDevice("C", "SC");
    CDlgPgDevices& devices = MakeView().m_dlgDevices;
    sim.ClearLog();

    devices.m_List->SelectRow(2);
    devices.m_UpButton->click();
    EXPECT_EQ(devices.m_List->GetSelectedIndex(), 1);
    EXPECT_TRUE(devices.m_ApplyButton->isEnabled());
    devices.m_UpButton->click();
    EXPECT_EQ(Column(*devices.m_List, 0), (QStringList{"C", "A", "B"}));
    EXPECT_EQ(Column(*devices.m_List, 1), (QStringList{"SC", "SA", "SB"}));
    EXPECT_EQ(devices.m_List->GetSelectedIndex(), 0);
    EXPECT_FALSE(devices.m_UpButton->isEnabled());
    EXPECT_TRUE(Requests().empty());
    // A move past the end leaves the row where it is.
    devices.MoveDevice(0, true);
    EXPECT_EQ(Column(*devices.m_List, 0), (QStringList{"C", "A", "B"}));

    devices.m_ApplyButton->click();
    EXPECT_EQ(DriverRankings(),
              (std::map<std::string, std::uint32_t>{{"A", 1}, {"B", 2}, {"C", 0}}));
    std::vector<std::uint32_t> expected;
    Append(expected, IOCTL_SET_DEVICE_PROPERTIES, 3);
    AppendReloadSequence(expected, 3, 6, 6);
    EXPECT_EQ(Requests(), expected);
    EXPECT_EQ(Column(*devices.m_List, 0), (QStringList{"C", "A", "B"}));
    EXPECT_FALSE(devices.m_ApplyButton->isEnabled());
    EXPECT_EQ(Column(*view->m_dlgInputChannels.m_List, 0),
              (QStringList{"C", "C", "A", "A", "B", "B"}));
}

TEST_F(DevicesPageTest, ApplyWritesTheRecordsInArrayOrderEvenWithoutAMove) {
    PlugDevice("A", "SA");
    PlugDevice("B", "SB");
    PlugDevice("C", "SC");
    CDlgPgDevices& devices = MakePage();
    devices.m_List->SelectRow(2);
    devices.m_UpButton->click();
    devices.m_UpButton->click();
    // The first record written is A's (array order), not C's (row order): A keeps its rank.
    sim.Fail(IOCTL_SET_DEVICE_PROPERTIES, kRefused, 1);
    devices.m_ApplyButton->click();
    EXPECT_EQ(DriverRankings(),
              (std::map<std::string, std::uint32_t>{{"A", 0}, {"B", 2}, {"C", 0}}));

    sim.ClearLog();
    devices.m_ApplyButton->click();  // disabled after Apply: nothing happens
    EXPECT_TRUE(Requests().empty());
    devices.Reload();
    sim.ClearLog();
    const QStringList order = Column(*devices.m_List, 0);
    devices.m_ApplyButton->setEnabled(true);
    devices.m_ApplyButton->click();
    std::vector<std::uint32_t> expected;
    Append(expected, IOCTL_SET_DEVICE_PROPERTIES, 3);
    Append(expected, IOCTL_GET_DEVICE_LIST);
    Append(expected, IOCTL_GET_DEVICE_PROPERTIES, 3);
    EXPECT_EQ(Requests(), expected);  // no view here: no channel pages to reload
    EXPECT_EQ(Column(*devices.m_List, 0), order);
    EXPECT_EQ(DriverRankings(),
              (std::map<std::string, std::uint32_t>{{"A", 0}, {"B", 2}, {"C", 1}}));
}

TEST_F(DevicesPageTest, AReloadAfterAMoveShowsTheDriversOrderAndKeepsApplyEnabled) {
    PlugDevice("A", "SA");
    PlugDevice("B", "SB");
    CDlgPgDevices& devices = MakePage();
    devices.m_List->SelectRow(1);
    devices.m_UpButton->click();
    EXPECT_EQ(Column(*devices.m_List, 0), (QStringList{"B", "A"}));
    devices.Reload();
    EXPECT_EQ(Column(*devices.m_List, 0), (QStringList{"A", "B"}));
    EXPECT_EQ(devices.m_List->GetSelectedIndex(), 0);
    EXPECT_TRUE(devices.m_ApplyButton->isEnabled());
}

TEST_F(DevicesPageTest, RenameStoresTheNameCutToThirtyNineBytesAndReloadsEveryList) {
    PlugDevice("Desk Unit", "S1", 1, 1);
    PlugDevice("Stage Box", "S2", 1, 2);
    sim.Mutate([](simdriver::SimState& s) { s.includeDeviceName = 1; });
    CDlgPgDevices& devices = MakeView().m_dlgDevices;
    std::string twentyUmlauts;
    for (int i = 0; i < 20; ++i) twentyUmlauts += "\xC3\xB6";
    struct Case {
        std::string typed;
        std::string stored;
    };
    const Case cases[] = {
        {"Main Desk", "Main Desk"},
        {std::string(45, 'm'), std::string(39, 'm')},
        {twentyUmlauts, twentyUmlauts.substr(0, 38)},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        devices.m_List->SelectRow(1);
        sim.ClearLog();
        AnswerNameDialog(QString::fromStdString(c.typed));
        devices.m_EditNameButton->click();
        EXPECT_EQ(DriverDeviceNames(), (std::vector<std::string>{"Desk Unit", c.stored}));
        std::vector<std::uint32_t> expected{IOCTL_SET_DEVICE_PROPERTIES};
        AppendReloadSequence(expected, 2, 2, 3);
        EXPECT_EQ(Requests(), expected);
        const QString stored = QString::fromStdString(c.stored);
        EXPECT_EQ(devices.m_List->GetItemText(1, 0), stored);
        EXPECT_EQ(devices.m_List->GetSelectedIndex(), 1);
        // The channel pages show the new name, in the device column and the display name.
        EXPECT_EQ(view->m_dlgOutputChannels.m_List->GetItemText(2, 0), stored);
        EXPECT_EQ(view->m_dlgOutputChannels.m_List->GetItemText(2, 2),
                  (stored + " - Out 2").left(32));
    }

    sim.ClearLog();
    AnswerNameDialog(QStringLiteral("Never stored"), false);
    devices.m_EditNameButton->click();
    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(DriverDeviceNames(), (std::vector<std::string>{"Desk Unit", ""}));
}

TEST_F(DevicesPageTest, DoubleClickAndEnterRenameTheSelectedDeviceOnly) {
    PlugDevice("Desk Unit", "S1");
    CDlgPgDevices& devices = MakePage();
    sim.ClearLog();
    emit devices.m_List->DoubleClicked();  // no row selected: nothing opens
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    devices.m_List->SelectRow(0);
    AnswerNameDialog(QStringLiteral("By Mouse"));
    emit devices.m_List->DoubleClicked();
    EXPECT_EQ(DriverDeviceNames(), (std::vector<std::string>{"By Mouse"}));

    AnswerNameDialog(QStringLiteral("By Keyboard"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(devices.m_List, &enter);
    EXPECT_EQ(DriverDeviceNames(), (std::vector<std::string>{"By Keyboard"}));
}

TEST_F(DevicesPageTest, ALoadFailingPartWayLeavesTheListEmptyAndCountsTheRecordsKept) {
    PlugDevice("A", "SA");
    PlugDevice("B", "SB");
    PlugDevice("C", "SC");
    CDlgPgDevices& devices = MakePage();
    devices.m_List->SelectRow(0);
    sim.Fail(IOCTL_GET_DEVICE_PROPERTIES, kRefused, 1);
    devices.Reload();
    EXPECT_EQ(theDrv.m_Devices.GetSize(), 2u);
    EXPECT_EQ(devices.m_List->GetItemCount(), 0);
    EXPECT_EQ(frame.m_panes[1], QStringLiteral("2 Device(s) connected."));
    EXPECT_EQ(StatesOf(devices), (ButtonStates{false, false, false, false}));

    sim.Fail(IOCTL_GET_DEVICE_LIST, kRefused, 1);
    devices.Reload();
    EXPECT_EQ(frame.m_panes[1], QStringLiteral("0 Device(s) connected."));
}

TEST_F(DevicesPageTest, ADeviceThatGoesWhileItsNeighbourIsRenamedLeavesTheRenameIntact) {
    PlugDevice("A", "SA");
    PlugDevice("B", "SB");
    CDlgPgDevices& devices = MakeView().m_dlgDevices;
    devices.m_List->SelectRow(1);
    // While the dialog is open A goes and every page reloads: the model's records are new.
    AnswerNameDialog(QStringLiteral("Renamed B"), true, [&] {
        sim.Unplug("SA");
        view->ReloadAllPages();
    });
    devices.m_EditNameButton->click();
    EXPECT_EQ(DriverDeviceNames(), (std::vector<std::string>{"Renamed B"}));
    EXPECT_EQ(Column(*devices.m_List, 0), (QStringList{"Renamed B"}));
    EXPECT_EQ(Column(*view->m_dlgInputChannels.m_List, 0), (QStringList{"Renamed B", "Renamed B"}));
}

TEST_F(DevicesPageTest, ADeviceUnpluggedWhileItsRenameDialogIsOpenIsReloadedAway) {
    PlugDevice("A", "SA");
    PlugDevice("B", "SB");
    CDlgPgDevices& devices = MakeView().m_dlgDevices;
    devices.m_List->SelectRow(1);
    AnswerNameDialog(QStringLiteral("Too late"), true, [&] {
        sim.Unplug("SB");
        view->ReloadAllPages();
    });
    sim.ClearLog();
    devices.m_EditNameButton->click();
    // The copy went to the driver, which no longer knows the device; the page reloaded.
    const auto log = sim.Log();
    const auto set = std::find_if(log.begin(), log.end(), [](const zeltest::LogEntry& e) {
        return e.code == IOCTL_SET_DEVICE_PROPERTIES;
    });
    ASSERT_NE(set, log.end());
    EXPECT_NE(set->status, 0u);
    EXPECT_EQ(DriverDeviceNames(), (std::vector<std::string>{"A"}));
    EXPECT_EQ(Column(*devices.m_List, 0), (QStringList{"A"}));
    EXPECT_EQ(frame.m_panes[1], QStringLiteral("1 Device(s) connected."));
}

TEST_F(DevicesPageTest, TheViewGoingWhileTheRenameDialogIsOpenEndsTheRenameSafely) {
    PlugDevice("A", "SA");
    CDlgPgDevices& devices = MakeView().m_dlgDevices;
    devices.m_List->SelectRow(0);
    // Quit while the dialog is open: the view and its pages go during the modal loop.
    AnswerNameDialog(QStringLiteral("Last word"), true, [&] { view.reset(); });
    devices.m_EditNameButton->click();
    EXPECT_EQ(view, nullptr);
    // The view closed the connection as it went, so the name had nowhere to go.
    EXPECT_FALSE(theDrv.IsOpen());
    EXPECT_EQ(DriverDeviceNames(), (std::vector<std::string>{"A"}));
}

TEST_F(DevicesPageTest, ARowValueThatNoLongerIndexesTheModelStopsEveryOperation) {
    PlugDevice("A", "SA");
    PlugDevice("B", "SB");
    CDlgPgDevices& devices = MakePage();
    devices.m_List->SelectRow(1);
    devices.m_List->SetItemData(1, 7);
    devices.m_ApplyButton->setEnabled(true);
    sim.ClearLog();
    devices.m_UpButton->click();
    devices.m_EditNameButton->click();  // would open a dialog; none appears
    devices.m_ApplyButton->click();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(Column(*devices.m_List, 0), (QStringList{"A", "B"}));
    EXPECT_EQ(theDrv.m_Devices.GetAt(0)->Ranking, 0u);
}

TEST_F(DevicesPageTest, NamesAndSerialsWithoutTerminatorsAreReadWithinTheirFields) {
    PlugDevice("A", "SA");
    _ZEL_USB_DEVICE_PROPERTIES record;
    std::memset(&record, 'x', sizeof record);
    std::memset(record.DeviceName, 'N', sizeof record.DeviceName);
    std::memset(record.SerialNumber, 'S', sizeof record.SerialNumber);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
    sim.Answer(IOCTL_GET_DEVICE_PROPERTIES, {bytes, bytes + sizeof record});
    CDlgPgDevices& devices = MakePage();
    EXPECT_EQ(devices.m_List->GetItemText(0, 0), QString(40, QLatin1Char('N')));
    EXPECT_EQ(devices.m_List->GetItemText(0, 1), QString(376, QLatin1Char('S')));
}

TEST_F(DevicesPageTest, ControlsCarryTheirIdsAndDistinctAccessibleNames) {
    CDlgPgDevices& devices = MakePage();
    QStringList names;
    for (const char* id : {"1001", "1079", "1085", "1084", "1086"}) {
        auto* control = devices.findChild<QWidget*>(id);
        ASSERT_NE(control, nullptr) << id;
        names << control->accessibleName();
    }
    EXPECT_EQ(names, (QStringList{"Devices", "Edit device name", "Move device up",
                                  "Move device down", "Apply device ranking"}));
    auto* help = devices.findChild<QLabel*>("1087");
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->accessibleName().isEmpty());
}

}  // namespace
