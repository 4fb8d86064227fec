// Start-up: what "-exit", a later instance and the first instance do, seen from the
// running instance's side of the channel and from the lock.
#include <gtest/gtest.h>

#include <QTreeWidgetItem>

#include "app/App.h"
#include "app/MainFrame.h"
#include "panel/ControlPanelView.h"
#include "platform/InstanceChannel.h"
#include "platform/SingleInstance.h"
#include "qt/QtTestApp.h"
#include "support/ScopedRunDir.h"

namespace {

using platform::InstanceRequest;

const std::string kTitle = "Tolvane KM-8 USB Control Panel";

// A stand-in for a running first instance: it holds the lock and listens.
struct RunningStandIn {
    std::unique_ptr<platform::SingleInstanceLock> lock =
        platform::SingleInstanceLock::Create(CZEL_USB_CPLApp::kMutexName, nullptr);
    std::unique_ptr<platform::InstanceListener> listener =
        platform::InstanceListener::Create(kTitle);
};

struct LaterCase {
    const char* commandLine;
    std::vector<InstanceRequest> expected;
    bool asio;
};

TEST(StartUp, LaterInstancesHandTheRequestToTheRunningOneAndEnd) {
    const LaterCase cases[] = {
        {"", {InstanceRequest::Activate}, false},
        {"-ASIO", {InstanceRequest::SelectSettings, InstanceRequest::Activate}, true},
        {"x -asio y", {InstanceRequest::SelectSettings, InstanceRequest::Activate}, true},
        {"-hide", {}, false},
        {"-asio -Hide", {}, true},
        {"-exit", {InstanceRequest::Quit}, false},
        {"-asio -exit -hide", {InstanceRequest::Quit}, false},
        {"\"-asio\" -asio2", {InstanceRequest::Activate}, false},
    };
    testsupport::ScopedRunDir runDir;
    RunningStandIn running;
    ASSERT_TRUE(running.lock && running.listener);
    for (const LaterCase& c : cases) {
        SCOPED_TRACE(c.commandLine);
        CZEL_USB_CPLApp app;
        bool guiStarted = false;
        EXPECT_FALSE(app.InitInstance(c.commandLine, [&] { guiStarted = true; }));
        EXPECT_FALSE(guiStarted);
        EXPECT_FALSE(app.MainFrame());
        EXPECT_EQ(app.m_bAsio, c.asio);
        EXPECT_EQ(running.listener->TakeRequests(), c.expected);
    }
}

TEST(StartUp, ExitTakesNoLockAndEndsQuietlyWithoutARunningInstance) {
    testsupport::ScopedRunDir runDir;
    CZEL_USB_CPLApp app;
    EXPECT_FALSE(app.InitInstance("-exit", nullptr));
    EXPECT_FALSE(app.m_hMutex);
    bool alreadyHeld = true;
    EXPECT_TRUE(platform::SingleInstanceLock::Create(CZEL_USB_CPLApp::kMutexName, &alreadyHeld));

    // A first instance that holds the lock but has no window yet: nothing to reach.
    auto lock = platform::SingleInstanceLock::Create(CZEL_USB_CPLApp::kMutexName, nullptr);
    CZEL_USB_CPLApp later;
    EXPECT_FALSE(later.InitInstance("-asio", nullptr));
}

TEST(StartUp, FirstInstanceHoldsTheLockAndCreatesTheFrame) {
    for (const char* commandLine : {"-hide -asio", ""}) {
        SCOPED_TRACE(commandLine);
        testsupport::ScopedRunDir runDir;
        bool guiStarted = false;
        ASSERT_TRUE(theApp.InitInstance(commandLine, [&] {
            guiStarted = true;
            qttest::App();
        }));
        EXPECT_TRUE(guiStarted);
        ASSERT_TRUE(theApp.MainFrame());
        EXPECT_FALSE(theApp.m_hIcon.isNull());
        const bool hidden = *commandLine != '\0';
        EXPECT_EQ(theApp.MainFrame()->isVisible(), !hidden);
        CZEL_USB_CPLView* view = theApp.MainFrame()->GetActiveView();
        ASSERT_TRUE(view);
        EXPECT_EQ(view->m_tree.currentItem(),
                  hidden ? view->m_hItemSettings : view->m_hItemDevices);

        bool alreadyHeld = false;
        EXPECT_FALSE(
            platform::SingleInstanceLock::Create(CZEL_USB_CPLApp::kMutexName, &alreadyHeld));
        EXPECT_TRUE(alreadyHeld);
        EXPECT_TRUE(platform::RunningInstance::Find(kTitle));

        theApp.ExitInstance();
        theApp.m_hMutex.reset();
        theApp.m_bAsio = false;
        EXPECT_FALSE(platform::RunningInstance::Find(kTitle));
    }
}

}  // namespace
