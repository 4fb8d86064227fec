// The synchronisation page against the substitute driver: the reload's requests and what
// it shows, the enable rules, each Apply, refusals and their messages.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstring>
#include <memory>
#include <vector>

#include "driver/Drv.h"
#include "fixtures/SimDriverInProcess.h"
#include "panel/DlgPgSync.h"
#include "qt/QtTestApp.h"

namespace {

using Codes = std::vector<std::uint32_t>;

struct Message {
    QWidget* owner;
    QString caption;
    QString text;
};

template <typename Record>
std::vector<std::uint8_t> Bytes(const Record& record) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&record);
    return {p, p + sizeof record};
}

class SyncPageTest : public testing::Test {
protected:
    // The host widget of the fixture needs the application first.
    static void SetUpTestSuite() { qttest::App(); }

    void SetUp() override {
        // The driver starts in manual mode with 44.1, 48, 88.2 and 96 kHz, at 48 kHz.
        m_firstSerial = m_sim.Plug();
        ASSERT_EQ(theDrv.Open(ZIVU_DRIVER_NAME), 0u);
    }
    void TearDown() override {
        m_page.reset();
        theDrv.Close();
        theDrv.m_SampleRateInfo = {};
        theDrv.m_SyncModes.RemoveAll();
    }

    DlgPgSync& CreatePage(bool answerMessages = true) {
        m_page = std::make_unique<DlgPgSync>();
        if (answerMessages) {
            m_page->SetErrorBox(
                [this](QWidget* owner, const QString& caption, const QString& text) {
                    m_messages.push_back({owner, caption, text});
                });
        }
        m_page->CreatePage(&m_host);
        m_host.show();
        m_page->show();
        m_sim.ClearLog();
        return *m_page;
    }

    template <typename T>
    T* Control(int id) {
        T* control = m_page->findChild<T*>(QString::number(id));
        EXPECT_NE(control, nullptr) << id;
        return control;
    }
    QComboBox* Combo(int id) { return Control<QComboBox>(id); }
    bool Enabled(int id) { return Control<QWidget>(id)->isEnabled(); }
    void Click(int id) { Control<QPushButton>(id)->click(); }
    // The user picks the next entry of a list with the keyboard.
    void PickNext(int comboId) { QTest::keyClick(Combo(comboId), Qt::Key_Down); }
    QStringList Items(int comboId) {
        QStringList items;
        for (int i = 0; i < Combo(comboId)->count(); ++i) items << Combo(comboId)->itemText(i);
        return items;
    }

    Codes RequestCodes() {
        Codes codes;
        for (const zeltest::LogEntry& entry : m_sim.Log()) codes.push_back(entry.code);
        return codes;
    }
    simdriver::SimState DriverState() {
        simdriver::SimState state;
        m_sim.WithCore([&](simdriver::SimDriverCore& core) { state = core.State(); });
        return state;
    }

    zeltest::SimDriverInProcess m_sim;
    std::string m_firstSerial;
    QWidget m_host;
    std::unique_ptr<DlgPgSync> m_page;
    std::vector<Message> m_messages;
};

TEST_F(SyncPageTest, ReloadAsksInItsOrderAndShowsTheFirstDevicesSources) {
    zeltest::PlugOptions second;
    second.sources = 2;
    m_sim.Plug(second);
    CreatePage();
    m_page->Reload();
    EXPECT_EQ(RequestCodes(),
              (Codes{IOCTL_GET_RATE_SELECTION_MODE, IOCTL_GET_CLOCK_MASTER,
                     IOCTL_GET_SAMPLE_RATE_INFO, IOCTL_GET_RATE_SELECTION_MODE,
                     IOCTL_GET_DEVICE_LIST, IOCTL_GET_SYNC_MODE_INFO, IOCTL_GET_SYNC_MODE_INFO}));

    EXPECT_EQ(Items(1092), (QStringList{"44.1 kHz", "48.0 kHz", "88.2 kHz", "96.0 kHz"}));
    EXPECT_EQ(Combo(1092)->currentData().toUInt(), 48000u);
    EXPECT_EQ(Items(1101), (QStringList{"Internal", "S/PDIF", "Word Clock"}));
    EXPECT_EQ(Combo(1101)->currentText(), "Internal");
    EXPECT_TRUE(Enabled(1092));
    EXPECT_TRUE(Enabled(1101));
    for (int id : {1093, 1102, 1100, 1094}) EXPECT_FALSE(Enabled(id)) << id;
    // What the page keeps hidden.
    for (int id : {1098, 1100, 1090, 1091, 1094})
        EXPECT_FALSE(Control<QWidget>(id)->isVisible()) << id;
    EXPECT_TRUE(Control<QWidget>(1099)->isVisible());
    EXPECT_EQ(m_page->GetClockMasterIndex(), 0);
}

TEST_F(SyncPageTest, TheModeDecidesTheRadiosAndWhetherTheRateCanBeChosen) {
    struct Case {
        std::uint32_t mode;
        int index;
        bool manualChecked;
        bool radiosEnabled;
        bool ratesEnabled;
    };
    const Case cases[] = {
        {1, 0, false, true, false},  // automatic: the driver picks the rate
        {0, 1, true, true, true},
        {2, -1, false, false, false},  // unknown: no choice shown
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        m_sim.Mutate([&](simdriver::SimState& s) { s.rateSelectionMode = c.mode; });
        CreatePage();
        EXPECT_EQ(m_page->GetRateModeIndex(), c.index);
        EXPECT_EQ(Control<QRadioButton>(1098)->isChecked(), c.index == 0);
        EXPECT_EQ(Control<QRadioButton>(1099)->isChecked(), c.manualChecked);
        EXPECT_EQ(Enabled(1098), c.radiosEnabled);
        EXPECT_EQ(Enabled(1099), c.radiosEnabled);
        EXPECT_EQ(Enabled(1092), c.ratesEnabled);
        EXPECT_EQ(Combo(1092)->count(), 4);  // filled and selected all the same
        EXPECT_EQ(Combo(1092)->currentData().toUInt(), 48000u);
    }
}

TEST_F(SyncPageTest, ACurrentRateNotAmongTheRatesSelectsNothing) {
    m_sim.Mutate([](simdriver::SimState& s) { s.currentRate = 32000; });
    CreatePage();
    EXPECT_EQ(Combo(1092)->currentIndex(), -1);
    Click(1093);  // nothing chosen: nothing sent (the button is disabled anyway)
    EXPECT_TRUE(RequestCodes().empty());
}

TEST_F(SyncPageTest, OnlyTheUsersChoiceEnablesAnApplyAndTheRefillDoesNot) {
    CreatePage();
    PickNext(1092);
    PickNext(1101);
    Control<QRadioButton>(1099)->click();
    EXPECT_TRUE(Enabled(1093));
    EXPECT_TRUE(Enabled(1102));
    EXPECT_TRUE(Enabled(1100));
    EXPECT_TRUE(RequestCodes().empty());  // choosing sends nothing

    m_page->Reload();
    for (int id : {1093, 1102, 1100}) EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_EQ(Combo(1092)->currentData().toUInt(), 48000u);  // the driver's rate again
}

TEST_F(SyncPageTest, ApplyingARateSendsItAndDisablesApply) {
    CreatePage();
    PickNext(1092);
    ASSERT_EQ(Combo(1092)->currentData().toUInt(), 88200u);
    Click(1093);
    EXPECT_EQ(RequestCodes(), Codes{IOCTL_SET_SAMPLE_RATE});
    EXPECT_EQ(DriverState().currentRate, 88200u);
    EXPECT_EQ(theDrv.m_SampleRateInfo.CurrentRate, 88200u);
    EXPECT_FALSE(Enabled(1093));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(SyncPageTest, ARefusedRateIsReportedAndStaysChosenInTheModel) {
    struct Case {
        bool streaming;
        std::uint32_t status;
        const char* text;
    };
    const Case cases[] = {
        {true, 0, "Select Sample Rate failed, Audio Streaming is in progress."},
        {false, 5, "Select Sample Rate failed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        m_messages.clear();
        m_sim.SetStreaming(c.streaming);
        if (c.status != 0) m_sim.Fail(IOCTL_SET_SAMPLE_RATE, c.status);
        CreatePage();
        PickNext(1092);
        Click(1093);
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_EQ(m_messages[0].owner, m_page.get());
        EXPECT_EQ(m_messages[0].caption, "Error");
        EXPECT_EQ(m_messages[0].text, c.text);
        EXPECT_TRUE(Enabled(1093));  // the user may press it again
        EXPECT_EQ(theDrv.m_SampleRateInfo.CurrentRate, 88200u);
        EXPECT_EQ(DriverState().currentRate, 48000u);
        m_sim.SetStreaming(false);
    }
}

TEST_F(SyncPageTest, AClockSourceGoesToEveryDeviceEachWithItsOwnSource) {
    m_sim.Plug();
    m_sim.Mutate([](simdriver::SimState& s) { s.devices[1].currentSource = 2; });
    CreatePage();
    PickNext(1101);
    ASSERT_EQ(Combo(1101)->currentText(), "S/PDIF");
    Click(1102);
    EXPECT_EQ(RequestCodes(), (Codes{IOCTL_SET_SYNC_MODE, IOCTL_SET_SYNC_MODE}));
    const simdriver::SimState state = DriverState();
    EXPECT_EQ(state.devices[0].currentSource, 1u);
    EXPECT_EQ(state.devices[1].currentSource, 2u);
    EXPECT_FALSE(Enabled(1102));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(SyncPageTest, ARefusedClockSourceIsReportedAndApplyStaysEnabled) {
    struct Case {
        bool streaming;
        std::uint32_t status;
        const char* text;
    };
    const Case cases[] = {
        {true, 0, "Select Clock Source failed, Audio Streaming is in progress."},
        {false, 5, "Select Clock Source failed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        m_messages.clear();
        m_sim.SetStreaming(c.streaming);
        if (c.status != 0) m_sim.Fail(IOCTL_SET_SYNC_MODE, c.status);
        CreatePage();
        PickNext(1101);
        Click(1102);
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_EQ(m_messages[0].caption, "Error");
        EXPECT_EQ(m_messages[0].text, c.text);
        EXPECT_TRUE(Enabled(1102));
        EXPECT_EQ(DriverState().devices[0].currentSource, 0u);
        m_sim.SetStreaming(false);
    }
}

TEST_F(SyncPageTest, TheErrorIsAPlainBoxWithOneOkButtonOwnedByThePage) {
    m_sim.SetStreaming(true);
    CreatePage(/*answerMessages=*/false);
    PickNext(1092);
    bool seen = false;
    qttest::AnswerNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        seen = true;
        EXPECT_EQ(box->windowTitle(), "Error");
        EXPECT_EQ(box->text(), "Select Sample Rate failed, Audio Streaming is in progress.");
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box->buttons().size(), 1);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        EXPECT_EQ(box->parentWidget(), m_page.get());
        box->accept();
    });
    Click(1093);
    EXPECT_TRUE(seen);
}

TEST_F(SyncPageTest, FailedReadsDisableTheirControlsWithoutAMessage) {
    struct Case {
        const char* name;
        std::vector<std::uint32_t> failing;
        bool modeRadios, clockMasterRadios, rates, sources;
    };
    const Case cases[] = {
        {"everything",
         {IOCTL_GET_RATE_SELECTION_MODE, IOCTL_GET_CLOCK_MASTER, IOCTL_GET_SAMPLE_RATE_INFO,
          IOCTL_GET_DEVICE_LIST},
         false,
         false,
         false,
         false},
        // A failed clock-master read leaves the mode radios alone.
        {"clock master", {IOCTL_GET_CLOCK_MASTER}, true, false, true, true},
        {"rate record", {IOCTL_GET_SAMPLE_RATE_INFO}, true, true, false, true},
        {"a device's sources", {IOCTL_GET_SYNC_MODE_INFO}, true, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_messages.clear();
        for (std::uint32_t code : c.failing) m_sim.Fail(code, 31, 0);
        CreatePage();
        EXPECT_EQ(Enabled(1099), c.modeRadios);
        EXPECT_EQ(Enabled(1092), c.rates);
        EXPECT_EQ(Enabled(1101), c.sources);
        EXPECT_EQ(Enabled(1090), c.clockMasterRadios);
        EXPECT_EQ(Enabled(1091), c.clockMasterRadios);
        if (!c.rates) {
            EXPECT_EQ(Combo(1092)->count(), 0);
        }
        if (!c.sources) {
            EXPECT_EQ(Combo(1101)->count(), 0);
        }
        for (int id : {1093, 1102, 1100, 1094}) EXPECT_FALSE(Enabled(id)) << id;
        EXPECT_TRUE(m_messages.empty());
        m_sim.ClearFaults();
    }
}

TEST_F(SyncPageTest, CountsBeyondTheRecordsAndAnUnterminatedNameAreReadWithinTheRecord) {
    _SAMPLE_RATE_INFO rates{};
    rates.CurrentRate = 8000 * 8;
    rates.RateCount = 0xFFFFFFFFu;
    for (std::uint32_t i = 0; i < ZIVU_MAX_RATES; ++i) rates.Rates[i] = 8000 * (i + 1);
    m_sim.Answer(IOCTL_GET_SAMPLE_RATE_INFO, Bytes(rates));

    // Each device answers for itself; the first record is the one the page shows.
    auto sources = std::make_unique<_DEVICE_SYNC_MODE_INFO>();
    std::memset(sources.get(), 0, sizeof *sources);
    sources->SourceCount = 17;
    for (std::uint32_t i = 0; i < ZIVU_MAX_SOURCES; ++i) {
        sources->Sources[i].SourceId = 100 + i;
        std::snprintf(sources->Sources[i].SourceName, ZIVU_NAME_SIZE, "Source %u", i);
    }
    std::memset(sources->Sources[15].SourceName, 'X', ZIVU_NAME_SIZE);  // no terminating zero
    sources->CurrentSource = sources->Sources[15];
    m_sim.Answer(IOCTL_GET_SYNC_MODE_INFO, Bytes(*sources));

    CreatePage();
    EXPECT_EQ(Combo(1092)->count(), 8);
    EXPECT_EQ(Combo(1092)->currentText(), "64.0 kHz");
    EXPECT_EQ(Combo(1101)->count(), 16);
    EXPECT_EQ(Combo(1101)->itemText(15), QString(40, QLatin1Char('X')));
    EXPECT_EQ(Combo(1101)->currentIndex(), 15);
}

TEST_F(SyncPageTest, TheHiddenModeAndClockMasterAppliesSwitchTheDriver) {
    m_sim.Mutate([](simdriver::SimState& s) { s.rateSelectionMode = 1; });
    CreatePage();
    ASSERT_FALSE(Enabled(1092));
    Control<QRadioButton>(1099)->click();
    Click(1100);
    EXPECT_EQ(RequestCodes(), (Codes{IOCTL_SET_RATE_SELECTION_MODE, IOCTL_GET_SAMPLE_RATE_INFO,
                                     IOCTL_GET_RATE_SELECTION_MODE}));
    EXPECT_EQ(DriverState().rateSelectionMode, 0u);
    EXPECT_TRUE(Enabled(1092));
    EXPECT_FALSE(Enabled(1100));

    Control<QRadioButton>(1091)->click();
    Click(1094);
    EXPECT_EQ(DriverState().clockMaster, 1u);  // reserved words went back as read
    EXPECT_FALSE(Enabled(1094));
}

TEST_F(SyncPageTest, ControlsCarryIdsAndDistinctNames) {
    CreatePage();
    QStringList names;
    for (int id : {1098, 1099, 1100, 1092, 1093, 1101, 1102, 1090, 1091, 1094})
        names << Control<QWidget>(id)->accessibleName();
    names.removeDuplicates();
    EXPECT_EQ(names.size(), 10);
    EXPECT_EQ(Control<QWidget>(1092)->accessibleName(), "Sampling rate");
    EXPECT_EQ(Control<QWidget>(1093)->accessibleName(), "Apply sampling rate");
    EXPECT_EQ(Control<QWidget>(1102)->accessibleName(), "Apply clock source");
    EXPECT_FALSE(Combo(1092)->isEditable());
    EXPECT_TRUE(Combo(1101)->isEditable());
}

}  // namespace
