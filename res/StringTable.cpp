#include "StringTable.h"

#include <QCoreApplication>
#include <algorithm>
#include <iterator>

namespace {

struct Entry {
    unsigned id;
    const char* text;
};

// Menu prompts hold the status-line prompt, a line break, then the short name.
constexpr Entry kStrings[] = {
    {ids::IDR_MAINFRAME,
     QT_TRANSLATE_NOOP("StringTable",
                       "ZEL_USB_CPL\n\nZEL_USB_CPL\n\n\nRAVUZIZ.Document\nZEL_USB_CPL Document")},
    {ids::ID_HIDE_WINDOW, QT_TRANSLATE_NOOP("StringTable", "Hide the application in the task bar.\nClose")},
    {ids::ID_TRAY_OPEN, QT_TRANSLATE_NOOP("StringTable", "Open the control panel window\nOpen")},
    {ids::ID_TRAY_QUIT, QT_TRANSLATE_NOOP("StringTable", "Quit the control panel\nQuit")},
    {ids::AFX_IDS_APP_TITLE, QT_TRANSLATE_NOOP("StringTable", "ZEL_USB_CPL")},
    {ids::AFX_IDS_IDLEMESSAGE, QT_TRANSLATE_NOOP("StringTable", "Ready")},
    {ids::ID_APP_ABOUT,
     QT_TRANSLATE_NOOP("StringTable", "Display program information, version number and copyright\nAbout")},
    {ids::ID_APP_EXIT,
     QT_TRANSLATE_NOOP("StringTable", "Quit the application; prompts to save documents\nExit")},
    {ids::IDS_DEVICES, QT_TRANSLATE_NOOP("StringTable", "Devices")},
    {ids::IDS_SETTINGS, QT_TRANSLATE_NOOP("StringTable", "Settings")},
    {ids::IDS_INPUT_CHANNELS, QT_TRANSLATE_NOOP("StringTable", "Input Channels")},
    {ids::IDS_OUTPUT_CHANNELS, QT_TRANSLATE_NOOP("StringTable", "Output Channels")},
    {ids::IDS_DEVICE_NAME, QT_TRANSLATE_NOOP("StringTable", "Device name")},
    {ids::IDS_SERIAL_NUMBER, QT_TRANSLATE_NOOP("StringTable", "Serial number")},
    {ids::IDS_DEVICES_CONNECTED, QT_TRANSLATE_NOOP("StringTable", "Device(s) connected.")},
    {ids::IDS_CHANNEL_NAME, QT_TRANSLATE_NOOP("StringTable", "Channel name")},
    {ids::IDS_ASIO_DISPLAY_NAME, QT_TRANSLATE_NOOP("StringTable", "ASIO display name")},
    {ids::IDS_SAMPLES, QT_TRANSLATE_NOOP("StringTable", "samples")},
    {ids::IDS_MS, QT_TRANSLATE_NOOP("StringTable", "ms")},
    {ids::IDS_SYNCHRONISATION, QT_TRANSLATE_NOOP("StringTable", "Synchronisation")},
    {ids::IDS_RANKING_HELP,
     QT_TRANSLATE_NOOP("StringTable",
                       "Use Up and Down buttons to change device ranking and press Apply to store "
                       "settings.\nDevice ranking defines the order of channels shown in ASIO hosts.")},
    {ids::IDS_TITLE, QT_TRANSLATE_NOOP("StringTable", "Tolvane KM-8 USB Control Panel")},
};

}  // namespace

QString LoadStringId(unsigned id) {
    auto it = std::find_if(std::begin(kStrings), std::end(kStrings),
                           [id](const Entry& e) { return e.id == id; });
    if (it == std::end(kStrings)) return {};
    return QCoreApplication::translate("StringTable", it->text);
}
