#include "DeviceEventNotifier.h"

#ifdef Q_OS_WIN
#include <QWinEventNotifier>
#else
#include <QSocketNotifier>
#endif

CDeviceEventNotifier::CDeviceEventNotifier(QObject* parent) : QObject(parent) {}

CDeviceEventNotifier::~CDeviceEventNotifier() = default;

bool CDeviceEventNotifier::Register(const char* interfaceClass) {
    m_notifier.reset();
    if (!m_watcher.Register(interfaceClass)) return false;
#ifdef Q_OS_WIN
    auto* notifier = new QWinEventNotifier(reinterpret_cast<Qt::HANDLE>(m_watcher.WaitHandle()));
    connect(notifier, &QWinEventNotifier::activated, this, &CDeviceEventNotifier::ReadEvents);
#else
    auto* notifier =
        new QSocketNotifier(static_cast<qintptr>(m_watcher.WaitHandle()), QSocketNotifier::Read);
    connect(notifier, &QSocketNotifier::activated, this, &CDeviceEventNotifier::ReadEvents);
#endif
    m_notifier.reset(notifier);
    return true;
}

void CDeviceEventNotifier::ReadEvents() {
    for (const platform::DeviceInterfaceEvent& event : m_watcher.ReadEvents())
        emit DeviceChange(event.type, QByteArray::fromStdString(event.name));
}
