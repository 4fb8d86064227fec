// The main frame offscreen: hidden start, exact title, fixed size, closing only hides,
// status panes and menu prompts, settings selection while hidden, the tray icon's
// messages and menu, and requests from other instances.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTreeWidgetItem>

#include "app/App.h"
#include "app/MainFrame.h"
#include "panel/ControlPanelView.h"
#include "qt/QtTestApp.h"
#include "res/Icons.h"
#include "res/StringTable.h"
#include "support/ScopedRunDir.h"

namespace {

using platform::InstanceRequest;

const QString kTitle = "Tolvane KM-8 USB Control Panel";

class MainFrameTest : public testing::Test {
protected:
    void SetUp() override {
        qttest::App();
        theApp.m_hIcon = AppIcon(128);
        frame = std::make_unique<CMainFrame>();
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        frame.reset();
        theApp.m_hIcon = QIcon();
    }

    QAction* Action(unsigned command) {
        return frame->findChild<QAction*>(QString::number(command));
    }
    QMenu* TrayMenu() { return frame->findChild<QMenu*>("151"); }
    CZEL_USB_CPLView* View() { return frame->GetActiveView(); }

    testsupport::ScopedRunDir runDir;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(MainFrameTest, StartsHiddenWithTheExactTitleAtAFixedSize) {
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(frame->windowTitle(), kTitle);
    EXPECT_EQ(frame->minimumSize(), frame->maximumSize());
    EXPECT_FALSE(frame->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(frame->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(AfxGetMainWnd(), frame.get());
    ASSERT_TRUE(View());
    EXPECT_EQ(frame->centralWidget(), View());
    EXPECT_EQ(frame->GetPaneText(0), "Ready") << "the idle message wins after start";
    ASSERT_TRUE(frame->m_trayIcon.ShellIcon());
    EXPECT_EQ(frame->m_trayIcon.ShellIcon()->toolTip(), kTitle);
    EXPECT_TRUE(platform::RunningInstance::Find(kTitle.toStdString()));

    frame->show();
    EXPECT_EQ(frame->windowTitle(), kTitle);
    frame.reset();
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
}

TEST_F(MainFrameTest, ClosingOnlyHides) {
    frame->show();
    EXPECT_FALSE(frame->close()) << "the close button and Alt+F4 arrive as a close request";
    EXPECT_FALSE(frame->isVisible());
    frame->show();
    Action(ids::ID_HIDE_WINDOW)->trigger();
    EXPECT_FALSE(frame->isVisible());
    EXPECT_TRUE(View());
    EXPECT_TRUE(frame->m_trayIcon.ShellIcon());
}

TEST_F(MainFrameTest, StatusPanesKeepTheirOwnTexts) {
    auto* pane0 = frame->findChild<QLabel*>("pane0");
    auto* pane1 = frame->findChild<QLabel*>("pane1");
    ASSERT_TRUE(pane0 && pane1);
    EXPECT_GE(pane0->minimumWidth(), 200);
    EXPECT_EQ(pane1->width(), 150);
    frame->SetStatusText("Devices");
    frame->SetPaneText(1, "2 Device(s) connected.");
    frame->SetPaneText(2, "nowhere");
    frame->SetPaneText(-1, "nowhere");
    EXPECT_EQ(pane0->text(), "Devices");
    EXPECT_EQ(pane1->text(), "2 Device(s) connected.");
    frame->SetPaneText(0, "Settings");
    EXPECT_EQ(frame->GetPaneText(0), "Settings");
}

TEST_F(MainFrameTest, MenusShowTheirPromptsInPaneZeroThenReady) {
    const QList<QAction*> menus = frame->menuBar()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->text(), "&Info");
    const struct {
        unsigned command;
        const char* text;
        const char* prompt;
    } items[] = {
        {ids::ID_HIDE_WINDOW, "&Close", "Hide the application in the task bar."},
        {ids::ID_APP_EXIT, "&Quit", "Quit the application; prompts to save documents"},
        {ids::ID_APP_ABOUT, "&About Control Panel...",
         "Display program information, version number and copyright"},
    };
    frame->show();
    const QString pane1 = frame->GetPaneText(1);
    for (const auto& item : items) {
        SCOPED_TRACE(item.text);
        QAction* action = Action(item.command);
        ASSERT_TRUE(action);
        EXPECT_EQ(action->text(), item.text);
        auto* menu = qobject_cast<QMenu*>(action->parent());
        ASSERT_TRUE(menu);
        frame->SetStatusText("Devices");
        // Opened from the menu bar, as the user opens it.
        frame->menuBar()->setActiveAction(menu->menuAction());
        ASSERT_TRUE(menu->isVisible());
        menu->setActiveAction(action);
        EXPECT_EQ(frame->GetPaneText(0), item.prompt);
        EXPECT_EQ(frame->GetPaneText(1), pane1) << "prompts leave the device count alone";
        menu->hide();
        EXPECT_EQ(frame->GetPaneText(0), "Ready");
    }
}

TEST_F(MainFrameTest, SelectSettingsWhileHiddenSelectsWithoutShowing) {
    ASSERT_TRUE(View() && View()->m_hItemSettings);
    EXPECT_NE(View()->m_tree.currentItem(), View()->m_hItemSettings);
    frame->OnInstanceRequest(InstanceRequest::SelectSettings);
    QCoreApplication::processEvents();
    EXPECT_EQ(View()->m_tree.currentItem(), View()->m_hItemSettings);
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(frame->OnSelectSettings(), 0);
    EXPECT_EQ(View()->m_tree.currentItem(), View()->m_hItemSettings);
}

TEST_F(MainFrameTest, TrayMessagesOpenTheFrameOrItsMenu) {
    const struct {
        std::uint32_t id;
        std::uint32_t mouse;
        bool opens;
        bool menu;
    } cases[] = {
        {CMainFrame::kTrayIconId, WM_LBUTTONDOWN, true, false},
        {CMainFrame::kTrayIconId, WM_LBUTTONDBLCLK, true, false},
        {CMainFrame::kTrayIconId, WM_RBUTTONDOWN, false, true},
        {CMainFrame::kTrayIconId, WM_RBUTTONDBLCLK, false, true},
        {CMainFrame::kTrayIconId, 0x202 /* left up */, false, false},
        {CMainFrame::kTrayIconId, 0x205 /* right up */, false, false},
        {CMainFrame::kTrayIconId, WM_MBUTTONDOWN, false, false},
        {CMainFrame::kTrayIconId, 0x200 /* move */, false, false},
        {0x42424243, WM_LBUTTONDOWN, false, false},
        {0, WM_RBUTTONDOWN, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.id << " " << c.mouse);
        frame->hide();
        // Through the event queue, as the icon delivers its clicks.
        QCoreApplication::postEvent(frame.get(), new CTrayIconEvent(c.id, c.mouse));
        QCoreApplication::processEvents();
        EXPECT_EQ(frame->isVisible(), c.opens);
        QMenu* menu = TrayMenu();
        EXPECT_EQ(menu && menu->isVisible(), c.menu);
        if (menu) {
            QStringList texts;
            for (QAction* a : menu->actions()) texts << a->objectName() + ":" + a->text();
            EXPECT_EQ(texts, QStringList({"32772:&Open", "32773:&Quit"}));
            menu->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
}

TEST_F(MainFrameTest, TrayMenuOpensAndQuitsWithAPostedExit) {
    frame->OnTrayIcon(CMainFrame::kTrayIconId, WM_RBUTTONDOWN);
    ASSERT_TRUE(TrayMenu());
    TrayMenu()->findChild<QAction*>("32772")->trigger();
    EXPECT_TRUE(frame->isVisible());

    frame->OnTrayIcon(CMainFrame::kTrayIconId, WM_RBUTTONDOWN);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(TrayMenu());
    TrayMenu()->findChild<QAction*>("32773")->trigger();
    EXPECT_TRUE(View()) << "the exit is posted, not handled at once";
    EXPECT_TRUE(frame->m_trayIcon.ShellIcon());
    QCoreApplication::processEvents();
    EXPECT_FALSE(View());
    EXPECT_FALSE(frame->m_trayIcon.ShellIcon()) << "quitting removes the tray icon";
    EXPECT_FALSE(frame->isVisible());
    EXPECT_FALSE(platform::RunningInstance::Find(kTitle.toStdString()));
}

TEST_F(MainFrameTest, FileQuitEndsTheSameWay) {
    Action(ids::ID_APP_EXIT)->trigger();
    EXPECT_FALSE(View());
    EXPECT_FALSE(frame->m_trayIcon.ShellIcon());
}

TEST_F(MainFrameTest, OtherInstancesReachTheFrameThroughItsChannel) {
    auto running = platform::RunningInstance::Find(kTitle.toStdString());
    ASSERT_TRUE(running);
    running->Post(InstanceRequest::SelectSettings);
    running->Post(InstanceRequest::Activate);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return frame->isVisible() && View()->m_tree.currentItem() == View()->m_hItemSettings;
        },
        5000));

    // Activation restores a minimised frame; the tray's Open shows it as it was.
    frame->showMinimized();
    frame->OnTrayOpen();
    EXPECT_TRUE(frame->isMinimized());
    running->Post(InstanceRequest::Activate);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !frame->isMinimized(); }, 5000));
    EXPECT_TRUE(frame->isVisible());

    running->Post(InstanceRequest::Quit);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !View(); }, 5000));
}

TEST(TrayIcon, NeedsAWindowAndCutsTheTip) {
    qttest::App();
    CTrayIcon tray;
    EXPECT_EQ(tray.Add(AppIcon(128), "tip"), 0);
    EXPECT_EQ(tray.Remove(), 0);
    EXPECT_FALSE(tray.ShellIcon());
    QWidget window;
    tray.Init(&window, CMainFrame::kTrayIconId);
    tray.Add(AppIcon(128), QString(127, 'a') + "bcdef");
    ASSERT_TRUE(tray.ShellIcon());
    EXPECT_EQ(tray.ShellIcon()->toolTip(), QString(127, 'a'));
    EXPECT_NE(tray.Remove(), 0);
    EXPECT_FALSE(tray.ShellIcon());
}

}  // namespace
