// The buffer settings page against the substitute driver: what a reload shows, the
// requests each Apply makes, the enable rules, failures, and the statistics timer.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimerEvent>
#include <memory>
#include <vector>

#include "driver/Drv.h"
#include "fixtures/SimDriverInProcess.h"
#include "panel/DlgPgASIOSettings.h"
#include "qt/QtTestApp.h"

namespace {

using Codes = std::vector<std::uint32_t>;

class BufferPageTest : public testing::Test {
protected:
    // The host widget of the fixture needs the application first.
    static void SetUpTestSuite() { qttest::App(); }

    void SetUp() override {
        m_sim.Plug();
        ASSERT_EQ(theDrv.Open(ZIVU_DRIVER_NAME), 0u);
        // The rate the synchronisation page would have read.
        theDrv.m_SampleRateInfo.CurrentRate = 48000;
    }
    void TearDown() override {
        m_page.reset();
        theDrv.Close();
        theDrv.m_SampleRateInfo = {};
    }

    CDlgPgASIOSettings& CreatePage() {
        m_page = std::make_unique<CDlgPgASIOSettings>();
        m_page->CreatePage(&m_host);
        m_sim.ClearLog();
        return *m_page;
    }
    // The page as the view shows it: shown and given the keyboard.
    CDlgPgASIOSettings& ShowPage() {
        CreatePage();
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
    QString Text(int id) { return Control<QLabel>(id)->text(); }
    bool Enabled(int id) { return Control<QWidget>(id)->isEnabled(); }
    void Key(int sliderId, Qt::Key key) { QTest::keyClick(Control<QSlider>(sliderId), key); }
    void Tick() {
        QTimerEvent tick(m_page->StatisticsTimerId());
        QCoreApplication::sendEvent(m_page.get(), &tick);
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
    QWidget m_host;
    std::unique_ptr<CDlgPgASIOSettings> m_page;
};

const Codes kReadAll{IOCTL_GET_STREAM_BUFFER, IOCTL_GET_ASIO_BUFFER, IOCTL_GET_WDM_BUFFER};

TEST_F(BufferPageTest, ReloadShowsTheDriversDepthsAndEnablesNoApply) {
    // The driver starts with stream 1000..8000 step 125 at 2000, ASIO 4000 in
    // multiples of 16 samples, WDM 10000.
    CreatePage();
    m_page->Reload();
    EXPECT_EQ(RequestCodes(), kReadAll);

    const QSlider* stream = Control<QSlider>(1048);
    EXPECT_EQ(stream->minimum(), 8);
    EXPECT_EQ(stream->maximum(), 64);
    EXPECT_EQ(stream->value(), 16);
    EXPECT_EQ(stream->tickInterval(), 1);
    EXPECT_EQ(stream->tickPosition(), QSlider::TicksBothSides);
    const QSlider* asio = Control<QSlider>(1053);
    EXPECT_EQ(asio->minimum(), 1);
    EXPECT_EQ(asio->maximum(), 80);
    EXPECT_EQ(asio->value(), 4);

    EXPECT_EQ(Text(1050), "2.0 ms");
    EXPECT_EQ(Text(1054), "4.0 ms\n192 samples");
    EXPECT_EQ(Text(1057), "10.0 ms\n480 samples");
    for (int id : {1048, 1053, 1056}) EXPECT_TRUE(Enabled(id)) << id;
    for (int id : {1051, 1035, 1055}) EXPECT_FALSE(Enabled(id)) << id;
}

TEST_F(BufferPageTest, EachApplySendsItsRecordThenRereadsAllThree) {
    struct Case {
        int slider;
        int apply;
        Codes requests;
    };
    const Case cases[] = {
        {1048,
         1051,
         {IOCTL_SET_STREAM_BUFFER, IOCTL_BUFFER_CHANGE_STEP1, IOCTL_BUFFER_CHANGE_STEP2}},
        // An ASIO depth takes effect without the change steps.
        {1053, 1035, {IOCTL_SET_ASIO_BUFFER}},
        {1056, 1055, {IOCTL_SET_WDM_BUFFER, IOCTL_BUFFER_CHANGE_STEP1, IOCTL_BUFFER_CHANGE_STEP2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.apply);
        ShowPage();
        Key(c.slider, Qt::Key_Right);
        ASSERT_TRUE(Enabled(c.apply));
        m_sim.ClearLog();
        Control<QPushButton>(c.apply)->click();
        Codes expected = c.requests;
        expected.insert(expected.end(), kReadAll.begin(), kReadAll.end());
        EXPECT_EQ(RequestCodes(), expected);
        EXPECT_FALSE(Enabled(c.apply));
    }
    // Each record went back whole (the driver refuses changed reserved bytes) with the
    // depth one step up.
    const simdriver::SimState state = DriverState();
    EXPECT_EQ(state.streamBuffer.currentUs, 2125u);
    EXPECT_EQ(state.asioBuffer.currentUs, 5000u);
    EXPECT_EQ(state.wdmBuffer.currentUs, 11000u);
    EXPECT_EQ(Text(1054), "5.0 ms\n240 samples");
}

TEST_F(BufferPageTest, AnApplyStaysEnabledWhenTheSliderGoesBackUntilTheNextReload) {
    ShowPage();
    Key(1053, Qt::Key_Right);
    Key(1053, Qt::Key_Left);
    EXPECT_EQ(Control<QSlider>(1053)->value(), 4);
    EXPECT_EQ(Text(1054), "4.0 ms\n192 samples");
    EXPECT_TRUE(Enabled(1035));
    EXPECT_FALSE(Enabled(1051));
    EXPECT_FALSE(Enabled(1055));
    EXPECT_TRUE(RequestCodes().empty());  // moving a slider sends nothing

    m_page->Reload();
    EXPECT_FALSE(Enabled(1035));
}

TEST_F(BufferPageTest, AStreamDepthBetweenStepsShowsAndSendsTheLowerStep) {
    m_sim.Mutate([](simdriver::SimState& s) { s.streamBuffer = {1000, 8000, 1000, 2500}; });
    ShowPage();
    EXPECT_EQ(Control<QSlider>(1048)->value(), 2);
    EXPECT_EQ(Text(1050), "2.0 ms");
    EXPECT_FALSE(Enabled(1051));

    Key(1048, Qt::Key_Right);
    Key(1048, Qt::Key_Left);
    Control<QPushButton>(1051)->click();
    EXPECT_EQ(DriverState().streamBuffer.currentUs, 2000u);
}

TEST_F(BufferPageTest, ARefusedDepthShowsTheDriversValueAgain) {
    ShowPage();
    m_sim.Fail(IOCTL_SET_ASIO_BUFFER, 87);
    m_sim.Fail(IOCTL_BUFFER_CHANGE_STEP1, 87);  // the steps' statuses are not looked at
    Key(1053, Qt::Key_PageUp);
    Control<QPushButton>(1035)->click();
    EXPECT_EQ(Control<QSlider>(1053)->value(), 4);
    EXPECT_EQ(Text(1054), "4.0 ms\n192 samples");
    EXPECT_FALSE(Enabled(1035));

    Key(1048, Qt::Key_Right);
    m_sim.ClearLog();
    Control<QPushButton>(1051)->click();
    EXPECT_EQ(RequestCodes(),
              (Codes{IOCTL_SET_STREAM_BUFFER, IOCTL_BUFFER_CHANGE_STEP1, IOCTL_BUFFER_CHANGE_STEP2,
                     IOCTL_GET_STREAM_BUFFER, IOCTL_GET_ASIO_BUFFER, IOCTL_GET_WDM_BUFFER}));
    EXPECT_EQ(Text(1050), "2.1 ms");
}

TEST_F(BufferPageTest, UnreadableRecordsDisableTheirSliderAndEmptyTheirLabel) {
    struct Case {
        const char* name;
        std::vector<std::uint32_t> failing;
        bool streamStepZero;
        const char* stream;
        const char* asio;
        const char* wdm;
    };
    const Case cases[] = {
        {"all three fail",
         {IOCTL_GET_STREAM_BUFFER, IOCTL_GET_ASIO_BUFFER, IOCTL_GET_WDM_BUFFER},
         false,
         "",
         "",
         ""},
        {"only WDM readable",
         {IOCTL_GET_STREAM_BUFFER, IOCTL_GET_ASIO_BUFFER},
         false,
         "",
         "",
         "10.0 ms\n480 samples"},
        {"only stream readable",
         {IOCTL_GET_ASIO_BUFFER, IOCTL_GET_WDM_BUFFER},
         false,
         "2.0 ms",
         "",
         ""},
        {"stream without a step", {}, true, "", "4.0 ms\n192 samples", "10.0 ms\n480 samples"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShowPage();  // first filled from a readable driver
        ASSERT_EQ(Text(1050), "2.0 ms");
        for (std::uint32_t code : c.failing) m_sim.Fail(code, 31, 0);
        if (c.streamStepZero)
            m_sim.Mutate([](simdriver::SimState& s) { s.streamBuffer.stepUs = 0; });
        m_page->Reload();

        EXPECT_EQ(Text(1050), c.stream);
        EXPECT_EQ(Text(1054), c.asio);
        EXPECT_EQ(Text(1057), c.wdm);
        EXPECT_EQ(Enabled(1048), *c.stream != '\0');
        EXPECT_EQ(Enabled(1053), *c.asio != '\0');
        EXPECT_EQ(Enabled(1056), *c.wdm != '\0');
        for (int id : {1051, 1035, 1055}) EXPECT_FALSE(Enabled(id)) << id;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

        // The statistics go on regardless.
        m_sim.SetDropouts(3);
        Tick();
        EXPECT_EQ(Text(1038), "3");
        m_sim.ClearFaults();
        m_sim.Mutate([](simdriver::SimState& s) { s.streamBuffer.stepUs = 125; });
    }
}

TEST_F(BufferPageTest, StatisticsTimerRunsOnlyWhileThePageItselfIsShown) {
    CreatePage();
    EXPECT_EQ(m_page->StatisticsTimerId(), 0);

    // The view shows the page while the main window may still be hidden.
    m_page->show();
    const int timer = m_page->StatisticsTimerId();
    EXPECT_NE(timer, 0);
    EXPECT_EQ(RequestCodes(), kReadAll);  // every own show reloads

    // The main window being shown, hidden or minimised leaves the page and its timer alone.
    m_sim.ClearLog();
    m_host.show();
    m_host.hide();
    m_host.showMinimized();
    m_host.showNormal();
    EXPECT_EQ(m_page->StatisticsTimerId(), timer);
    EXPECT_TRUE(RequestCodes().empty());

    // One tick, one request, nothing else.
    Tick();
    EXPECT_EQ(RequestCodes(), Codes{IOCTL_GET_STREAM_STATISTICS});

    m_sim.ClearLog();
    m_page->hide();
    EXPECT_EQ(m_page->StatisticsTimerId(), 0);
    EXPECT_EQ(RequestCodes(), kReadAll);  // every own hide reloads too

    // A hide of a hidden page is no hide.
    m_sim.ClearLog();
    m_page->hide();
    EXPECT_TRUE(RequestCodes().empty());
}

TEST_F(BufferPageTest, DropOutsAreShownUnsignedAndAFailedReadEmptiesTheLabelUntilTheNextTick) {
    ShowPage();
    m_sim.SetDropouts(4294967295u);
    Tick();
    EXPECT_EQ(Text(1038), "4294967295");

    m_sim.Fail(IOCTL_GET_STREAM_STATISTICS, 31);
    Tick();
    EXPECT_EQ(Text(1038), "");
    EXPECT_NE(m_page->StatisticsTimerId(), 0);

    m_sim.SetDropouts(7);
    Tick();
    EXPECT_EQ(Text(1038), "7");
}

TEST_F(BufferPageTest, SamplesFollowTheRateTheModelHolds) {
    theDrv.m_SampleRateInfo.CurrentRate = 44100;
    m_sim.Mutate([](simdriver::SimState& s) {
        s.asioBuffer.currentUs = 1000;
        s.asioBuffer.sampleGranularity = 16;
        s.wdmBuffer.currentUs = 1000;
        s.wdmBuffer.sampleGranularity = 0;
    });
    CreatePage();
    EXPECT_EQ(Text(1054), "1.0 ms\n48 samples");
    EXPECT_EQ(Text(1057), "1.0 ms\n44 samples");

    theDrv.m_SampleRateInfo.CurrentRate = 0;  // no rate read yet
    m_page->Reload();
    EXPECT_EQ(Text(1054), "1.0 ms\n0 samples");
}

TEST_F(BufferPageTest, ControlsCarryIdsAndDistinctNames) {
    CreatePage();
    QStringList names;
    for (int id : {1048, 1051, 1053, 1035, 1056, 1055})
        names << Control<QWidget>(id)->accessibleName();
    EXPECT_EQ(names, (QStringList{"Stream buffer depth", "Apply stream buffer depth",
                                  "ASIO buffer depth", "Apply ASIO buffer depth",
                                  "WDM sound buffer depth", "Apply WDM sound buffer depth"}));
    for (int id : {1050, 1054, 1057, 1038})
        EXPECT_TRUE(Control<QWidget>(id)->accessibleName().isEmpty());
    for (int id : {1035, 1053, 1054, 1059})
        EXPECT_TRUE(
            Control<QWidget>(id)->toolTip().contains("round up samples to the next power of 2"));
}

}  // namespace
