#include "DlgPgSync.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "SyncFormat.h"
#include "driver/Drv.h"

namespace {

template <typename Widget>
Widget* Named(Widget* widget, int id, const QString& accessibleName) {
    widget->setObjectName(QString::number(id));
    widget->setAccessibleName(accessibleName);
    return widget;
}

QPushButton* MakeApplyButton(int id, const QString& accessibleName, QWidget* parent) {
    auto* button = Named(new QPushButton(DlgPgSync::tr("Apply"), parent), id, accessibleName);
    button->setAutoDefault(false);
    return button;
}

// Checks the radio of `index` in a pair, or none for -1. Exclusive radios refuse to be
// unchecked, so exclusivity is lifted while the pair is set.
void CheckRadioIndex(QRadioButton* first, QRadioButton* second, int index) {
    first->setAutoExclusive(false);
    second->setAutoExclusive(false);
    first->setChecked(index == 0);
    second->setChecked(index == 1);
    first->setAutoExclusive(true);
    second->setAutoExclusive(true);
}

int CheckedRadioIndex(const QRadioButton* first, const QRadioButton* second) {
    if (first->isChecked()) return 0;
    if (second->isChecked()) return 1;
    return -1;
}

void EnablePair(QWidget* first, QWidget* second, bool enable) {
    first->setEnabled(enable);
    second->setEnabled(enable);
}

}  // namespace

DlgPgSync::DlgPgSync(QWidget* parent) : CDialogPage(148, parent) {}

void DlgPgSync::OnInitDialog() {
    BuildControls();
    Reload();
}

void DlgPgSync::BuildControls() {
    auto* page = new QVBoxLayout(this);

    auto* modeGroup = new QGroupBox(tr("Sampling Rate Selection Mode"), this);
    auto* modeRow = new QHBoxLayout(modeGroup);
    m_radioAutomatic =
        Named(new QRadioButton(tr("Automatic Mode"), modeGroup), 1098, tr("Automatic Mode"));
    m_radioManual = Named(new QRadioButton(tr("Manual Mode"), modeGroup), 1099, tr("Manual Mode"));
    m_btnApplyMode = MakeApplyButton(1100, tr("Apply sampling rate selection mode"), modeGroup);
    modeRow->addWidget(m_radioAutomatic);
    modeRow->addWidget(m_radioManual);
    modeRow->addStretch(1);
    modeRow->addWidget(m_btnApplyMode);
    // The driver picks the mode; the page shows it but does not offer a switch.
    m_radioAutomatic->hide();
    m_btnApplyMode->hide();

    auto* rateGroup = new QGroupBox(tr("Sampling Rate"), this);
    auto* rateRow = new QHBoxLayout(rateGroup);
    m_comboRates = Named(new QComboBox(rateGroup), 1092, tr("Sampling rate"));
    m_btnApplyRate = MakeApplyButton(1093, tr("Apply sampling rate"), rateGroup);
    rateRow->addWidget(m_comboRates, 1);
    rateRow->addWidget(m_btnApplyRate);

    auto* sourceGroup = new QGroupBox(tr("Clock Source"), this);
    auto* sourceRow = new QHBoxLayout(sourceGroup);
    m_comboSources = Named(new QComboBox(sourceGroup), 1101, tr("Clock source"));
    // Typed text is never read: it must not become an item of its own either.
    m_comboSources->setEditable(true);
    m_comboSources->setInsertPolicy(QComboBox::NoInsert);
    m_btnApplySource = MakeApplyButton(1102, tr("Apply clock source"), sourceGroup);
    sourceRow->addWidget(m_comboSources, 1);
    sourceRow->addWidget(m_btnApplySource);

    m_groupClockMaster = new QGroupBox(tr("Clock master"), this);
    auto* masterRow = new QHBoxLayout(m_groupClockMaster);
    m_radioPcMaster = Named(new QRadioButton(tr("PC is clock master"), m_groupClockMaster), 1090,
                            tr("PC is clock master"));
    m_radioDeviceMaster = Named(new QRadioButton(tr("Device is clock master"), m_groupClockMaster),
                                1091, tr("Device is clock master"));
    m_btnApplyClockMaster = MakeApplyButton(1094, tr("Apply clock master"), m_groupClockMaster);
    m_radioPcMaster->setEnabled(false);
    m_radioDeviceMaster->setEnabled(false);
    masterRow->addWidget(m_radioPcMaster);
    masterRow->addWidget(m_radioDeviceMaster);
    masterRow->addStretch(1);
    masterRow->addWidget(m_btnApplyClockMaster);
    m_groupClockMaster->hide();

    page->addWidget(modeGroup);
    page->addWidget(rateGroup);
    page->addWidget(sourceGroup);
    page->addWidget(m_groupClockMaster);
    page->addStretch(1);

    // Only the user's own clicks and selections enable an Apply; refills do not.
    connect(m_radioAutomatic, &QRadioButton::clicked, m_btnApplyMode,
            [this] { m_btnApplyMode->setEnabled(true); });
    connect(m_radioManual, &QRadioButton::clicked, m_btnApplyMode,
            [this] { m_btnApplyMode->setEnabled(true); });
    connect(m_radioPcMaster, &QRadioButton::clicked, this,
            [this] { m_btnApplyClockMaster->setEnabled(true); });
    connect(m_radioDeviceMaster, &QRadioButton::clicked, this,
            [this] { m_btnApplyClockMaster->setEnabled(true); });
    connect(m_comboRates, &QComboBox::activated, this,
            [this] { m_btnApplyRate->setEnabled(true); });
    connect(m_comboSources, &QComboBox::activated, this,
            [this] { m_btnApplySource->setEnabled(true); });

    connect(m_btnApplyRate, &QPushButton::clicked, this, [this] { OnApplySampleRate(); });
    connect(m_btnApplySource, &QPushButton::clicked, this, [this] { OnApplyClockSource(); });
    connect(m_btnApplyMode, &QPushButton::clicked, this, [this] { OnApplyRateSelectionMode(); });
    connect(m_btnApplyClockMaster, &QPushButton::clicked, this, [this] { OnApplyClockMaster(); });
}

void DlgPgSync::PushRadios() {
    CheckRadioIndex(m_radioAutomatic, m_radioManual, m_RateModeIndex);
    CheckRadioIndex(m_radioPcMaster, m_radioDeviceMaster, m_ClockMasterIndex);
}

void DlgPgSync::ReadRadios() {
    m_RateModeIndex = CheckedRadioIndex(m_radioAutomatic, m_radioManual);
    m_ClockMasterIndex = CheckedRadioIndex(m_radioPcMaster, m_radioDeviceMaster);
}

void DlgPgSync::SelectModeRadio(int index) {
    m_RateModeIndex = index;
    PushRadios();
    EnablePair(m_radioAutomatic, m_radioManual, index >= 0);
}

void DlgPgSync::SelectClockMasterRadio(int index) {
    m_ClockMasterIndex = index;
    PushRadios();
    EnablePair(m_radioPcMaster, m_radioDeviceMaster, index >= 0);
}

void DlgPgSync::LoadRateSelectionMode() {
    if (theDrv.GetRateSelectionMode(theDrv.m_RateSelectionMode) == 0) {
        SelectModeRadio(ModeIndexFromValue(theDrv.m_RateSelectionMode));
    } else {
        SelectModeRadio(-1);
    }
}

void DlgPgSync::LoadClockMaster() {
    if (theDrv.GetClockMaster(theDrv.m_ClockMaster) == 0) {
        SelectClockMasterRadio(ClockMasterIndexFromValue(theDrv.m_ClockMaster.ClockMaster));
    } else {
        SelectClockMasterRadio(-1);
    }
}

void DlgPgSync::FillSampleRates() {
    m_comboRates->clear();
    if (theDrv.GetSampleRateInfo(theDrv.m_SampleRateInfo) != 0) {
        m_comboRates->setEnabled(false);
        return;
    }
    // The mode decides whether the rate is chosen here; it may have changed since.
    if (theDrv.GetRateSelectionMode(theDrv.m_RateSelectionMode) != 0) {
        SelectModeRadio(-1);
        return;
    }
    const _SAMPLE_RATE_INFO& info = theDrv.m_SampleRateInfo;
    const std::uint32_t count = UsableRateCount(info);
    for (std::uint32_t i = 0; i < count; ++i) {
        m_comboRates->addItem(RateText(info.Rates[i]), QVariant::fromValue(info.Rates[i]));
    }
    if (m_comboRates->count() == 0) {
        m_comboRates->setEnabled(false);
        return;
    }
    // In automatic mode, and in a mode the page does not know, the driver picks the rate.
    m_comboRates->setEnabled(theDrv.m_RateSelectionMode == 0);
    m_comboRates->setCurrentIndex(m_comboRates->findData(QVariant::fromValue(info.CurrentRate)));
}

void DlgPgSync::FillClockSources() {
    m_comboSources->clear();
    if (theDrv.LoadSyncModes() != 0 || theDrv.m_SyncModes.IsEmpty()) {
        m_comboSources->setEnabled(false);
        return;
    }
    // The page shows and changes the first device's sources.
    const _DEVICE_SYNC_MODE_INFO& info = *theDrv.m_SyncModes.GetAt(0);
    const std::uint32_t count = UsableSourceCount(info);
    for (std::uint32_t i = 0; i < count; ++i) {
        m_comboSources->addItem(SourceNameText(info.Sources[i]),
                                QVariant::fromValue(info.Sources[i].SourceId));
    }
    if (m_comboSources->count() == 0) {
        m_comboSources->setEnabled(false);
        return;
    }
    m_comboSources->setEnabled(true);
    m_comboSources->setCurrentIndex(
        m_comboSources->findData(QVariant::fromValue(info.CurrentSource.SourceId)));
}

void DlgPgSync::Reload() {
    LoadRateSelectionMode();
    LoadClockMaster();
    FillSampleRates();
    FillClockSources();
    m_btnApplyClockMaster->setEnabled(false);
    m_btnApplyRate->setEnabled(false);
    m_btnApplyMode->setEnabled(false);
    m_btnApplySource->setEnabled(false);
}

void DlgPgSync::ShowError(const QString& text) {
    if (m_ErrorBox) m_ErrorBox(this, tr("Error"), text);
}

void DlgPgSync::ShowPlainErrorBox(QWidget* owner, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

void DlgPgSync::ReportApplyResult(std::uint32_t status, QPushButton* apply,
                                  const QString& streamingText, const QString& failedText) {
    if (status == 0) {
        apply->setEnabled(false);
    } else if (status == ZIVU_STATUS_STREAMING) {
        ShowError(streamingText);
    } else {
        ShowError(failedText);
    }
}

void DlgPgSync::OnApplySampleRate() {
    const int index = m_comboRates->currentIndex();
    if (index < 0) return;
    bool ok = false;
    const std::uint32_t rate = m_comboRates->itemData(index).toUInt(&ok);
    if (!ok) return;
    // The model keeps the chosen rate even if the driver refuses it, until the next
    // reload; the buffer page counts its samples with it.
    theDrv.m_SampleRateInfo.CurrentRate = rate;
    ReportApplyResult(theDrv.SetSampleRate(rate), m_btnApplyRate,
                      tr("Select Sample Rate failed, Audio Streaming is in progress."),
                      tr("Select Sample Rate failed."));
}

void DlgPgSync::OnApplyClockSource() {
    const int index = m_comboSources->currentIndex();
    if (index < 0) {
        m_btnApplySource->setEnabled(false);
        return;
    }
    const std::uint32_t sourceId = m_comboSources->itemData(index).toUInt();
    _DEVICE_SYNC_MODE_INFO* info = theDrv.m_SyncModes.GetAt(0);
    if (info == nullptr) {
        m_comboSources->setEnabled(false);
        m_btnApplySource->setEnabled(false);
        return;
    }
    const int source = FindSourceIndex(*info, sourceId);
    if (source < 0) {
        m_btnApplySource->setEnabled(false);
        return;
    }
    info->CurrentSource = info->Sources[source];
    // Every device gets a selection, each with the source it holds.
    ReportApplyResult(theDrv.ApplySyncModes(), m_btnApplySource,
                      tr("Select Clock Source failed, Audio Streaming is in progress."),
                      tr("Select Clock Source failed."));
}

void DlgPgSync::OnApplyRateSelectionMode() {
    ReadRadios();
    // The mode switches to the other of its two values.
    const std::uint32_t mode = theDrv.m_RateSelectionMode == 0 ? 1 : 0;
    theDrv.m_RateSelectionMode = mode;
    if (theDrv.SetRateSelectionMode(mode) == 0) {
        m_btnApplyMode->setEnabled(false);
        FillSampleRates();
    }
}

void DlgPgSync::OnApplyClockMaster() {
    ReadRadios();
    theDrv.m_ClockMaster.ClockMaster = m_ClockMasterIndex == 0 ? 0 : 1;
    if (theDrv.SetClockMaster(theDrv.m_ClockMaster) == 0) m_btnApplyClockMaster->setEnabled(false);
}
