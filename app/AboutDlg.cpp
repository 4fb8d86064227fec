#include "AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "driver/Drv.h"
#include "res/Icons.h"
#include "res/StringTable.h"

QString AboutText(const QString& title, std::uint32_t status, const _DRIVER_VERSION_INFO& info) {
    const QString version = QString::fromLatin1(CAboutDlg::kProgramVersion);
    const QString closing = QString::fromLatin1(CAboutDlg::kClosingLine);
    if (status != 0)
        return QString::asprintf("%s: %s\n\n\n%s", qUtf8Printable(title), qUtf8Printable(version),
                                 qUtf8Printable(closing));
    // The build number is unsigned on the wire; printing it signed would show builds
    // above 2^31 as negative numbers.
    return QString::asprintf(
        "%s: %s\n\n - Driver Interface Version %u.%u\n\n - Driver Version %u.%u.%u\n\n%s",
        qUtf8Printable(title), qUtf8Printable(version), unsigned{info.InterfaceMajor},
        unsigned{info.InterfaceMinor}, unsigned{info.DriverMajor}, unsigned{info.DriverMinor},
        unsigned{info.DriverBuild}, qUtf8Printable(closing));
}

// Template 100: 270 by 121 dialog units; the pixel positions below are those units at
// the panel's font (1.5 pixels across, 1.625 down).
CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    _DRIVER_VERSION_INFO info{};
    const std::uint32_t status = theDrv.GetDriverVersion(info);
    m_strText = AboutText(LoadStringId(ids::IDS_TITLE), status, info);

    setObjectName("100");
    setWindowTitle(tr("About Control Panel"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(405, 197);

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon(128).pixmap(32, 32));
    icon->setGeometry(16, 28, 32, 32);

    auto* text = new QLabel(this);
    text->setObjectName("1062");
    text->setTextFormat(Qt::PlainText);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setGeometry(78, 31, 316, 132);
    text->setText(m_strText);

    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName("1");
    ok->setAccessibleName(tr("Close the About box"));
    ok->setDefault(true);
    ok->setGeometry(165, 162, 75, 23);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
