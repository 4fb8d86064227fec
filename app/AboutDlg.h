// The About box: product title, the panel's version and, when the driver answers, the
// driver interface and driver versions, read anew each time the box opens.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

#include "driver/ZivuUsbRecords.h"

// The box's text for a version request that ended with `status`; `info` is looked at
// only when the status is 0.
QString AboutText(const QString& title, std::uint32_t status, const _DRIVER_VERSION_INFO& info);

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kProgramVersion = "V 1.01";
    static constexpr const char* kClosingLine = "All settings are kept by the driver.";

    explicit CAboutDlg(QWidget* parent = nullptr);

    QString m_strText;
};
