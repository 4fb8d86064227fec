// The program's string table: user-visible texts by id, translatable with Qt Linguist.
#pragma once

#include <QString>

// The text of string `id`, translated when a translation is loaded; empty for an unknown id.
QString LoadStringId(unsigned id);

namespace ids {
constexpr unsigned IDR_MAINFRAME = 128;
constexpr unsigned ID_HIDE_WINDOW = 32771;
constexpr unsigned ID_TRAY_OPEN = 32772;
constexpr unsigned ID_TRAY_QUIT = 32773;
constexpr unsigned AFX_IDS_APP_TITLE = 57344;
constexpr unsigned AFX_IDS_IDLEMESSAGE = 57345;
constexpr unsigned ID_APP_ABOUT = 57664;
constexpr unsigned ID_APP_EXIT = 57665;
constexpr unsigned IDS_DEVICES = 61205;
constexpr unsigned IDS_SETTINGS = 61206;
constexpr unsigned IDS_INPUT_CHANNELS = 61207;
constexpr unsigned IDS_OUTPUT_CHANNELS = 61208;
constexpr unsigned IDS_DEVICE_NAME = 61212;
constexpr unsigned IDS_SERIAL_NUMBER = 61213;
constexpr unsigned IDS_DEVICES_CONNECTED = 61215;
constexpr unsigned IDS_CHANNEL_NAME = 61218;
constexpr unsigned IDS_ASIO_DISPLAY_NAME = 61219;
constexpr unsigned IDS_SAMPLES = 61224;
constexpr unsigned IDS_MS = 61225;
constexpr unsigned IDS_SYNCHRONISATION = 61243;
constexpr unsigned IDS_RANKING_HELP = 61259;
constexpr unsigned IDS_TITLE = 61263;
}  // namespace ids
