// The synchronisation page: rate selection mode, sampling rate, clock source, and the
// clock master, which the page loads and sets in controls that it keeps hidden.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

#include "DialogPage.h"

class QComboBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

class DlgPgSync : public CDialogPage {
    Q_OBJECT
public:
    // Shows an error to the user: a plain box with one OK button and no icon, owned by
    // `owner`. Replaceable so that tests can see the message without a modal loop.
    using ErrorBox =
        std::function<void(QWidget* owner, const QString& caption, const QString& text)>;

    explicit DlgPgSync(QWidget* parent = nullptr);

    // Reads mode, clock master, rates and clock sources again; disables every Apply.
    void Reload() override;

    void SetErrorBox(ErrorBox box) { m_ErrorBox = std::move(box); }
    static void ShowPlainErrorBox(QWidget* owner, const QString& caption, const QString& text);

    int GetRateModeIndex() const { return m_RateModeIndex; }
    int GetClockMasterIndex() const { return m_ClockMasterIndex; }

protected:
    void OnInitDialog() override;

private:
    void BuildControls();
    void SelectModeRadio(int index);
    void SelectClockMasterRadio(int index);
    void LoadRateSelectionMode();
    void LoadClockMaster();
    void FillSampleRates();
    void FillClockSources();
    void PushRadios();
    void ReadRadios();
    void ShowError(const QString& text);
    // A refused change keeps its Apply enabled and tells the user, naming streaming
    // apart from other failures; a change the driver took disables its Apply.
    void ReportApplyResult(std::uint32_t status, QPushButton* apply, const QString& streamingText,
                           const QString& failedText);

    void OnApplySampleRate();
    void OnApplyClockSource();
    void OnApplyRateSelectionMode();
    void OnApplyClockMaster();

    int m_RateModeIndex = -1;     // 0 automatic, 1 manual, -1 none
    int m_ClockMasterIndex = -1;  // 0 PC, 1 device, -1 none
    ErrorBox m_ErrorBox = &DlgPgSync::ShowPlainErrorBox;

    QRadioButton* m_radioAutomatic = nullptr;      // 1098, hidden
    QRadioButton* m_radioManual = nullptr;         // 1099
    QPushButton* m_btnApplyMode = nullptr;         // 1100, hidden
    QComboBox* m_comboRates = nullptr;             // 1092
    QPushButton* m_btnApplyRate = nullptr;         // 1093
    QComboBox* m_comboSources = nullptr;           // 1101
    QPushButton* m_btnApplySource = nullptr;       // 1102
    QGroupBox* m_groupClockMaster = nullptr;       // hidden
    QRadioButton* m_radioPcMaster = nullptr;       // 1090, hidden
    QRadioButton* m_radioDeviceMaster = nullptr;   // 1091, hidden
    QPushButton* m_btnApplyClockMaster = nullptr;  // 1094, hidden
};
