#include "FrameMenus.h"

#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>

#include "res/StringTable.h"

namespace {

struct MenuItem {
    const char* text;
    unsigned command;
};

void AddItems(QMenu* menu, std::initializer_list<MenuItem> items, const CommandHandler& onCommand) {
    for (const MenuItem& item : items) {
        QAction* action = menu->addAction(QCoreApplication::translate("Menu", item.text));
        action->setObjectName(QString::number(item.command));
        action->setStatusTip(CommandPrompt(item.command));
        const unsigned command = item.command;
        QObject::connect(action, &QAction::triggered, menu,
                         [onCommand, command] { onCommand(command); });
    }
}

}  // namespace

QString CommandPrompt(unsigned command) {
    const QString text = LoadStringId(command);
    return text.left(text.indexOf(QLatin1Char('\n')));
}

void BuildMainMenu(QMenuBar* bar, const CommandHandler& onCommand) {
    bar->setObjectName(QString::number(ids::IDR_MAINFRAME));
    QMenu* file = bar->addMenu(QCoreApplication::translate("Menu", "&File"));
    file->setObjectName("File");
    AddItems(file,
             {{QT_TRANSLATE_NOOP("Menu", "&Close"), ids::ID_HIDE_WINDOW},
              {QT_TRANSLATE_NOOP("Menu", "&Quit"), ids::ID_APP_EXIT}},
             onCommand);
    QMenu* info = bar->addMenu(QCoreApplication::translate("Menu", "&Info"));
    info->setObjectName("Info");
    AddItems(info, {{QT_TRANSLATE_NOOP("Menu", "&About Control Panel..."), ids::ID_APP_ABOUT}},
             onCommand);
}

QMenu* CreateTrayMenu(QWidget* parent, const CommandHandler& onCommand) {
    auto* menu = new QMenu(parent);
    menu->setObjectName("151");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    AddItems(menu,
             {{QT_TRANSLATE_NOOP("Menu", "&Open"), ids::ID_TRAY_OPEN},
              {QT_TRANSLATE_NOOP("Menu", "&Quit"), ids::ID_TRAY_QUIT}},
             onCommand);
    return menu;
}
