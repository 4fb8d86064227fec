// Shared pieces of the devices and channels page tests: the substitute driver in-process,
// a frame that records the status panes, the view when a test needs the pages linked,
// and the driver requests of the panel's shared connection.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <memory>
#include <string>
#include <vector>

#include "driver/Drv.h"
#include "fixtures/SimDriverInProcess.h"
#include "panel/ControlPanelView.h"
#include "panel/FrameAccess.h"
#include "panel/ListCtrlEx.h"
#include "qt/QtTestApp.h"

namespace pagetest {

using zeltest::PlugOptions;
using zeltest::SimDriverInProcess;

// Stands in for the main frame; the view is null until a test creates one.
class FakeFrame : public CFrameAccess {
public:
    FakeFrame() { AfxSetMainWnd(this); }
    ~FakeFrame() { AfxSetMainWnd(nullptr); }
    CZEL_USB_CPLView* GetActiveView() const override { return m_view; }
    void SetStatusText(const QString& text) override { m_panes[0] = text; }
    void SetPaneText(int pane, const QString& text) override {
        if (pane == 0 || pane == 1) m_panes[pane] = text;
    }

    CZEL_USB_CPLView* m_view = nullptr;
    QString m_panes[2];
};

// The substitute driver, theDrv connected to it and the fake frame; the view on demand.
class PageTest : public ::testing::Test {
protected:
    void SetUp() override { qttest::App(); }
    void TearDown() override {
        view.reset();
        theDrv.Close();
    }

    void Connect() { ASSERT_EQ(theDrv.Open(ZIVU_DRIVER_NAME), 0u); }

    // The whole view with its five pages, each loaded once. Its notificator is stopped,
    // so that the driver's notifications of a test's own changes make no reloads that
    // would mix with the requests the test looks at.
    CZEL_USB_CPLView& MakeView() {
        view = std::make_unique<CZEL_USB_CPLView>();
        frame.m_view = view.get();
        view->OnInitialUpdate();
        view->m_notificator.Stop();
        return *view;
    }

    std::string PlugDevice(const std::string& name, const std::string& serial, int inputs = 2,
                           int outputs = 2) {
        PlugOptions options;
        options.name = name;
        options.serial = serial;
        options.inputs = inputs;
        options.outputs = outputs;
        return sim.Plug(options);
    }

    // Codes of the requests the driver received, without the notificator's traffic.
    std::vector<std::uint32_t> Requests() {
        std::vector<std::uint32_t> codes;
        for (const zeltest::LogEntry& entry : sim.Log())
            if (entry.code != IOCTL_GET_NOTIFICATION &&
                entry.code != IOCTL_REGISTER_NOTIFICATION_EVENT)
                codes.push_back(entry.code);
        return codes;
    }

    // Device names and rankings as the driver keeps them, in its list order.
    std::vector<std::string> DriverDeviceNames() {
        std::vector<std::string> names;
        const nlohmann::json dump = sim.Dump();
        for (const auto& device : dump["devices"])
            names.push_back(device["name"].get<std::string>());
        return names;
    }

    SimDriverInProcess sim;
    FakeFrame frame;
    std::unique_ptr<CZEL_USB_CPLView> view;
};

// Appends `count` copies of `code` to `codes`.
inline void Append(std::vector<std::uint32_t>& codes, std::uint32_t code, std::size_t count = 1) {
    codes.insert(codes.end(), count, code);
}

inline QStringList Column(const CListCtrlEx& list, int column) {
    QStringList texts;
    for (int row = 0; row < list.GetItemCount(); ++row) texts << list.GetItemText(row, column);
    return texts;
}

// Types `text` into the next name dialog and ends it with OK (or Cancel); `during` runs
// first, while the dialog's modal loop is running.
inline void AnswerNameDialog(const QString& text, bool ok = true,
                             std::function<void()> during = {}) {
    qttest::AnswerNextModal([=](QWidget* dialog) {
        if (during) during();
        dialog->findChild<QLineEdit*>()->setText(text);
        dialog->findChild<QPushButton*>(ok ? "1" : "2")->click();
    });
}

}  // namespace pagetest
