// Hooks the platform's device-interface watcher into the Qt event loop: whenever the
// watcher has events, emits DeviceChange once per event, in order.
#pragma once

#include <QByteArray>
#include <QObject>
#include <cstdint>
#include <memory>

#include "platform/DeviceInterfaceWatcher.h"

class CDeviceEventNotifier : public QObject {
    Q_OBJECT
public:
    explicit CDeviceEventNotifier(QObject* parent = nullptr);
    ~CDeviceEventNotifier() override;

    // Registers for the interface class (GUID without braces); false when refused.
    bool Register(const char* interfaceClass);

signals:
    void DeviceChange(std::uint32_t eventType, const QByteArray& name);

private:
    void ReadEvents();

    platform::DeviceInterfaceWatcher m_watcher;
    std::unique_ptr<QObject> m_notifier;  // QSocketNotifier, or QWinEventNotifier on Windows
};
