#include "DlgPgASIOSettings.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimerEvent>
#include <QVBoxLayout>

#include "driver/Drv.h"
#include "res/StringTable.h"

namespace {

// Widest line of the hover note before it wraps, in pixels.
constexpr int kNoteWrapWidth = 180;

QLabel* MakeLabel(const QString& text, int id, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    if (id != 0) label->setObjectName(QString::number(id));
    return label;
}

QSlider* MakeDepthSlider(int id, const QString& accessibleName, QWidget* parent) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(QString::number(id));
    slider->setAccessibleName(accessibleName);
    slider->setTickPosition(QSlider::TicksBothSides);
    slider->setFocusPolicy(Qt::StrongFocus);
    return slider;
}

QPushButton* MakeApplyButton(int id, const QString& accessibleName, QWidget* parent) {
    auto* button = new QPushButton(CDlgPgASIOSettings::tr("Apply"), parent);
    button->setObjectName(QString::number(id));
    button->setAccessibleName(accessibleName);
    button->setAutoDefault(false);
    return button;
}

void ApplySetup(QSlider* slider, const SliderSetup& setup) {
    slider->setRange(setup.minimum, setup.maximum);
    slider->setTickInterval(setup.tickFrequency);
    slider->setPageStep(setup.tickFrequency);
    slider->setSingleStep(setup.singleStep);
    // setValue, unlike a user action, raises no actionTriggered: a refill enables nothing.
    slider->setValue(setup.position);
}

// Where a slider stands while the user moves it; the value follows after the action.
int SliderPosition(const QSlider* slider) { return slider->sliderPosition(); }

}  // namespace

CDlgPgASIOSettings::CDlgPgASIOSettings(QWidget* parent) : CDialogPage(103, parent) {}

void CDlgPgASIOSettings::OnInitDialog() {
    BuildControls();
    PushLabelTexts();
    Reload();
    SetUpHoverNote();
    m_bInitialised = true;
}

void CDlgPgASIOSettings::BuildControls() {
    auto* page = new QVBoxLayout(this);

    auto* streamGroup = new QGroupBox(tr("Isochronous Streaming"), this);
    streamGroup->setObjectName(QStringLiteral("1047"));
    auto* streamGrid = new QGridLayout(streamGroup);
    m_sliderStream = MakeDepthSlider(1048, tr("Stream buffer depth"), streamGroup);
    m_lblStream = MakeLabel(QString(), 1050, streamGroup);
    m_btnApplyStream = MakeApplyButton(1051, tr("Apply stream buffer depth"), streamGroup);
    streamGrid->addWidget(MakeLabel(tr("Stream buffer depth:"), 1058, streamGroup), 0, 0, 1, 3);
    streamGrid->addWidget(m_sliderStream, 1, 0);
    streamGrid->addWidget(m_lblStream, 1, 1);
    streamGrid->addWidget(m_btnApplyStream, 1, 2);

    auto* audioGroup = new QGroupBox(tr("Audio Buffers"), this);
    audioGroup->setObjectName(QStringLiteral("1052"));
    auto* audioGrid = new QGridLayout(audioGroup);
    m_lblAsioCaption = MakeLabel(tr("ASIO buffer depth:"), 1059, audioGroup);
    m_sliderAsio = MakeDepthSlider(1053, tr("ASIO buffer depth"), audioGroup);
    m_lblAsio = MakeLabel(QString(), 1054, audioGroup);
    m_btnApplyAsio = MakeApplyButton(1035, tr("Apply ASIO buffer depth"), audioGroup);
    m_sliderWdm = MakeDepthSlider(1056, tr("WDM sound buffer depth"), audioGroup);
    m_lblWdm = MakeLabel(QString(), 1057, audioGroup);
    m_btnApplyWdm = MakeApplyButton(1055, tr("Apply WDM sound buffer depth"), audioGroup);
    audioGrid->addWidget(m_lblAsioCaption, 0, 0, 1, 3);
    audioGrid->addWidget(m_sliderAsio, 1, 0);
    audioGrid->addWidget(m_lblAsio, 1, 1);
    audioGrid->addWidget(m_btnApplyAsio, 1, 2);
    audioGrid->addWidget(MakeLabel(tr("WDM sound buffer depth:"), 1060, audioGroup), 2, 0, 1, 3);
    audioGrid->addWidget(m_sliderWdm, 3, 0);
    audioGrid->addWidget(m_lblWdm, 3, 1);
    audioGrid->addWidget(m_btnApplyWdm, 3, 2);

    auto* statisticsGroup = new QGroupBox(tr("ASIO Statistics"), this);
    auto* statisticsRow = new QHBoxLayout(statisticsGroup);
    m_lblDropOuts = MakeLabel(QString(), 1038, statisticsGroup);
    statisticsRow->addWidget(MakeLabel(tr("Drop outs detected:"), 0, statisticsGroup));
    statisticsRow->addWidget(m_lblDropOuts, 1);

    // Room for "80.0 ms" over "3840 samples" so the rows do not shift while sliding.
    for (QGridLayout* grid : {streamGrid, audioGrid}) {
        grid->setColumnStretch(0, 1);
        grid->setColumnMinimumWidth(1, 110);
    }

    page->addWidget(streamGroup);
    page->addWidget(audioGroup);
    page->addWidget(statisticsGroup);
    page->addStretch(1);

    // Any move the user makes (drag, keys, page clicks, wheel) updates the labels; the
    // end of a drag as well.
    for (QSlider* slider : {m_sliderStream, m_sliderAsio, m_sliderWdm}) {
        connect(slider, &QSlider::actionTriggered, this, [this] { UpdateDepthLabels(); });
        connect(slider, &QSlider::sliderReleased, this, [this] { UpdateDepthLabels(); });
    }
    connect(m_btnApplyStream, &QPushButton::clicked, this, [this] { OnApplyStream(); });
    connect(m_btnApplyAsio, &QPushButton::clicked, this, [this] { OnApplyAsio(); });
    connect(m_btnApplyWdm, &QPushButton::clicked, this, [this] { OnApplyWdm(); });
}

void CDlgPgASIOSettings::SetUpHoverNote() {
    const QString note =
        tr("Note: Some applications such as ProTools 9 may round up samples to the next power "
           "of 2.");
    // A fixed-width table makes the tip wrap its text at that width.
    const QString tip = QStringLiteral("<table width=\"%1\"><tr><td>%2</td></tr></table>")
                            .arg(kNoteWrapWidth)
                            .arg(note.toHtmlEscaped());
    for (QWidget* w : std::initializer_list<QWidget*>{m_btnApplyAsio, m_sliderAsio, m_lblAsio,
                                                      m_lblAsioCaption}) {
        w->setToolTip(tip);
    }
}

void CDlgPgASIOSettings::Reload() {
    bool any = false;

    const std::optional<SliderSetup> stream =
        theDrv.GetStreamBuffer(m_StreamBuffer) == 0
            ? ComputeSliderSetup(StreamBufferScale(m_StreamBuffer), m_StreamBuffer.CurrentUs)
            : std::nullopt;
    if (stream) {
        ApplySetup(m_sliderStream, *stream);
        m_sliderStream->setEnabled(true);
        any = true;
    } else {
        // A record without a step cannot be shown on the slider: treated as unreadable.
        m_sliderStream->setEnabled(false);
        m_strStreamDepth.clear();
    }

    if (theDrv.GetAsioBuffer(m_AsioBuffer) == 0) {
        ApplySetup(m_sliderAsio, *ComputeSliderSetup(m_AsioScale, m_AsioBuffer.CurrentUs));
        m_sliderAsio->setEnabled(true);
        any = true;
    } else {
        m_sliderAsio->setEnabled(false);
        m_strAsioDepth.clear();
    }

    if (theDrv.GetWdmBuffer(m_WdmBuffer) == 0) {
        ApplySetup(m_sliderWdm, *ComputeSliderSetup(m_WdmScale, m_WdmBuffer.CurrentUs));
        m_sliderWdm->setEnabled(true);
        UpdateDepthLabels();
    } else {
        m_sliderWdm->setEnabled(false);
        m_strWdmDepth.clear();
        if (any) UpdateDepthLabels();
    }

    m_btnApplyStream->setEnabled(false);
    m_btnApplyAsio->setEnabled(false);
    m_btnApplyWdm->setEnabled(false);
    // Without this, a label beside a slider that could not be read would keep showing
    // the old depth until the next statistics tick.
    PushLabelTexts();
}

void CDlgPgASIOSettings::UpdateDepthLabels() {
    const QString ms = LoadStringId(ids::IDS_MS);
    const QString samples = LoadStringId(ids::IDS_SAMPLES);

    // Each Apply compares with the depth held just before, not with the driver's: once
    // enabled it stays enabled until the next Reload, even when the slider goes back.
    const auto updateAudio = [&](QSlider* slider, _AUDIO_BUFFER_INFO& record,
                                 const BufferScale& scale, QString& text, QPushButton* apply) {
        if (!slider->isEnabled()) return;
        const std::uint32_t previous = record.CurrentUs;
        record.CurrentUs = DepthFromPosition(SliderPosition(slider), scale.step);
        text = DepthWithSamplesText(record.CurrentUs, DepthToSamples(record), ms, samples);
        if (record.CurrentUs != previous) apply->setEnabled(true);
    };
    updateAudio(m_sliderAsio, m_AsioBuffer, m_AsioScale, m_strAsioDepth, m_btnApplyAsio);
    updateAudio(m_sliderWdm, m_WdmBuffer, m_WdmScale, m_strWdmDepth, m_btnApplyWdm);

    if (m_sliderStream->isEnabled()) {
        const std::uint32_t previous = m_StreamBuffer.CurrentUs;
        m_StreamBuffer.CurrentUs =
            DepthFromPosition(SliderPosition(m_sliderStream), m_StreamBuffer.StepUs);
        m_strStreamDepth = DepthText(m_StreamBuffer.CurrentUs, ms);
        if (m_StreamBuffer.CurrentUs != previous) m_btnApplyStream->setEnabled(true);
    }

    PushLabelTexts();
}

void CDlgPgASIOSettings::PushLabelTexts() {
    m_lblDropOuts->setText(m_strDropOuts);
    m_lblStream->setText(m_strStreamDepth);
    m_lblAsio->setText(m_strAsioDepth);
    m_lblWdm->setText(m_strWdmDepth);
}

std::uint32_t CDlgPgASIOSettings::DepthToSamples(const _AUDIO_BUFFER_INFO& record) const {
    // The rate is the one the synchronisation page last read or chose; 0 before that.
    return ::DepthToSamples(record.CurrentUs, record.SampleGranularity,
                            theDrv.m_SampleRateInfo.CurrentRate);
}

// The driver puts a new stream or WDM depth into effect with the two change steps; an
// ASIO depth needs none. Statuses are not looked at: the reload shows what the driver holds.
void CDlgPgASIOSettings::OnApplyStream() {
    theDrv.SetStreamBuffer(m_StreamBuffer);
    theDrv.BufferChangeStep1();
    theDrv.BufferChangeStep2();
    Reload();
}

void CDlgPgASIOSettings::OnApplyAsio() {
    theDrv.SetAsioBuffer(m_AsioBuffer);
    Reload();
}

void CDlgPgASIOSettings::OnApplyWdm() {
    theDrv.SetWdmBuffer(m_WdmBuffer);
    theDrv.BufferChangeStep1();
    theDrv.BufferChangeStep2();
    Reload();
}

void CDlgPgASIOSettings::setVisible(bool visible) {
    const bool wasShown = !isHidden();
    CDialogPage::setVisible(visible);
    // The page is created hidden: only show and hide after that count.
    if (m_bInitialised && visible != wasShown) OnShowWindow(visible);
}

void CDlgPgASIOSettings::OnShowWindow(bool shown) {
    if (shown && m_Timer == 0) {
        m_Timer = startTimer(kStatisticsPeriodMs);  // 0 when it could not be started
    } else if (!shown && m_Timer != 0) {
        killTimer(m_Timer);
        m_Timer = 0;
    }
    Reload();
}

void CDlgPgASIOSettings::timerEvent(QTimerEvent* event) {
    if (m_Timer != 0 && event->timerId() == m_Timer) {
        OnStatisticsTimer();
    } else {
        CDialogPage::timerEvent(event);
    }
}

void CDlgPgASIOSettings::OnStatisticsTimer() {
    _STREAM_STATISTICS statistics{};
    if (theDrv.GetStreamStatistics(statistics) == 0) {
        m_strDropOuts = DropOutText(statistics.DropOutCount);
    } else {
        m_strDropOuts.clear();
    }
    PushLabelTexts();
}
