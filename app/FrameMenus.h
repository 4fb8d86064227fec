// The menu resources of the frame: 128, its menu bar, and 151, the tray icon's menu.
#pragma once

#include <QString>
#include <functional>

class QMenu;
class QMenuBar;
class QWidget;

using CommandHandler = std::function<void(unsigned command)>;

// The status-line prompt of a command: its string-table text before the line break.
QString CommandPrompt(unsigned command);

// Fills `bar` with menu 128 (&File: &Close, &Quit; &Info: &About Control Panel...).
// Each action carries its command id as objectName and its prompt as status tip.
void BuildMainMenu(QMenuBar* bar, const CommandHandler& onCommand);

// The first submenu of menu 151 (&Open, &Quit), deleted when it closes.
QMenu* CreateTrayMenu(QWidget* parent, const CommandHandler& onCommand);
