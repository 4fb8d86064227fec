// Shared pieces of the view tests: a frame that records the status line, a private run
// directory, and a recorder of the page reloads the view makes.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "panel/ControlPanelView.h"
#include "panel/FrameAccess.h"

namespace viewtest {

// Stands in for the main frame: the view reaches it through AfxGetMainWnd().
class FakeFrame : public CFrameAccess {
public:
    explicit FakeFrame(CZEL_USB_CPLView* view = nullptr) : m_view(view) { AfxSetMainWnd(this); }
    ~FakeFrame() { AfxSetMainWnd(nullptr); }
    CZEL_USB_CPLView* GetActiveView() const override { return m_view; }
    void SetStatusText(const QString& text) override { statusTexts << text; }
    void SetPaneText(int, const QString&) override {}

    CZEL_USB_CPLView* m_view;
    QStringList statusTexts;
};

// XDG_RUNTIME_DIR pointed at a fresh directory for the test's lifetime, so that no test
// reaches a driver of the user's session.
class TempRunDir {
public:
    TempRunDir() {
        char pattern[] = "/tmp/zel-view-XXXXXX";
        m_path = mkdtemp(pattern);
        if (const char* saved = std::getenv("XDG_RUNTIME_DIR")) m_saved = saved;
        setenv("XDG_RUNTIME_DIR", m_path.c_str(), 1);
    }
    ~TempRunDir() {
        if (m_saved.empty())
            unsetenv("XDG_RUNTIME_DIR");
        else
            setenv("XDG_RUNTIME_DIR", m_saved.c_str(), 1);
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
    std::string m_saved;
};

// The pages the view reloaded, by name, in order.
class ReloadRecorder {
public:
    explicit ReloadRecorder(CZEL_USB_CPLView& view) : m_view(view) {
        QObject::connect(&view, &CZEL_USB_CPLView::PageReloaded, &view,
                         [this](CDialogPage* page) { reloads << NameOf(page); });
    }
    QString NameOf(const CDialogPage* page) const {
        if (page == &m_view.m_dlgDevices) return "devices";
        if (page == &m_view.m_dlgInputChannels) return "input";
        if (page == &m_view.m_dlgOutputChannels) return "output";
        if (page == &m_view.m_dlgSettings) return "settings";
        if (page == &m_view.m_dlgSync) return "sync";
        return "?";
    }
    // Number of complete reloads of all five pages.
    int FullReloads() const { return static_cast<int>(reloads.count("devices")); }

    QStringList reloads;

private:
    CZEL_USB_CPLView& m_view;
};

inline const QStringList kFullReload = {"devices", "input", "output", "settings", "sync"};

// Runs the event loop until `done` holds or `limitMs` has passed; returns `done()`.
inline bool ProcessEventsUntil(const std::function<bool()>& done, int limitMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

}  // namespace viewtest
