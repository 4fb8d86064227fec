// What pages reach through the application's main window: its active view and its
// status bar. The main frame implements it; pages check both steps for null.
#pragma once

#include <QString>

class CZEL_USB_CPLView;

class CFrameAccess {
public:
    virtual CZEL_USB_CPLView* GetActiveView() const = 0;
    // Status pane 0: the message line.
    virtual void SetStatusText(const QString& text) = 0;
    // Any pane by index; the devices page writes the device count into pane 1.
    virtual void SetPaneText(int pane, const QString& text) = 0;

protected:
    ~CFrameAccess() = default;
};

// The application's main window, or null while there is none.
CFrameAccess* AfxGetMainWnd();
void AfxSetMainWnd(CFrameAccess* frame);
