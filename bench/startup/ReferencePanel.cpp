// The bare reference for start-up and memory: a Qt 6 Widgets main window with a tree,
// a status bar and a tray icon, and nothing else.
#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTreeWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    auto* tree = new QTreeWidget;
    tree->setHeaderHidden(true);
    for (const char* entry : {"Devices", "Input Channels", "Output Channels", "Synchronisation",
                              "Settings"})
        new QTreeWidgetItem(tree, QStringList{entry});
    window.setCentralWidget(tree);
    window.statusBar()->showMessage("Ready");
    window.setWindowTitle("Reference");
    window.resize(675, 430);
    QSystemTrayIcon tray(app.style()->standardIcon(QStyle::SP_ComputerIcon));
    tray.show();
    window.show();
    return app.exec();
}
