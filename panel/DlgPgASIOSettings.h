// The buffer settings page: stream, ASIO and WDM buffer depths and the drop-out count.
#pragma once

#include <QString>

#include "BufferDepth.h"
#include "DialogPage.h"
#include "driver/ZivuUsbRecords.h"

class QLabel;
class QPushButton;
class QSlider;

class CDlgPgASIOSettings : public CDialogPage {
    Q_OBJECT
public:
    explicit CDlgPgASIOSettings(QWidget* parent = nullptr);

    // Reads the three buffer records again, sets the sliders and disables every Apply.
    void Reload() override;

    // Showing and hiding the page itself starts and stops the statistics timer and
    // reloads; the main window being shown, hidden or minimised does neither.
    void setVisible(bool visible) override;

    // Id of the running statistics timer, 0 while none runs.
    int StatisticsTimerId() const { return m_Timer; }

    static constexpr int kStatisticsPeriodMs = 1000;

protected:
    void OnInitDialog() override;
    void timerEvent(QTimerEvent* event) override;

private:
    void BuildControls();
    void SetUpHoverNote();
    void UpdateDepthLabels();
    void PushLabelTexts();
    std::uint32_t DepthToSamples(const _AUDIO_BUFFER_INFO& record) const;
    void OnShowWindow(bool shown);
    void OnStatisticsTimer();
    void OnApplyStream();
    void OnApplyAsio();
    void OnApplyWdm();

    _STREAM_BUFFER_INFO m_StreamBuffer{};
    _AUDIO_BUFFER_INFO m_AsioBuffer{};
    _AUDIO_BUFFER_INFO m_WdmBuffer{};
    const BufferScale m_AsioScale = kAudioBufferScale;
    const BufferScale m_WdmScale = kAudioBufferScale;
    int m_Timer = 0;
    bool m_bInitialised = false;

    QString m_strDropOuts;
    QString m_strStreamDepth;
    QString m_strAsioDepth;
    QString m_strWdmDepth;

    QSlider* m_sliderStream = nullptr;        // 1048
    QSlider* m_sliderAsio = nullptr;          // 1053
    QSlider* m_sliderWdm = nullptr;           // 1056
    QLabel* m_lblStream = nullptr;            // 1050
    QLabel* m_lblAsio = nullptr;              // 1054
    QLabel* m_lblWdm = nullptr;               // 1057
    QLabel* m_lblDropOuts = nullptr;          // 1038
    QLabel* m_lblAsioCaption = nullptr;       // 1059
    QPushButton* m_btnApplyStream = nullptr;  // 1051
    QPushButton* m_btnApplyAsio = nullptr;    // 1035
    QPushButton* m_btnApplyWdm = nullptr;     // 1055
};
