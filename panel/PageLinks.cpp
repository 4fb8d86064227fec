#include "PageLinks.h"

#include "ControlPanelView.h"
#include "FrameAccess.h"

CZEL_USB_CPLView* ActiveView() {
    CFrameAccess* frame = AfxGetMainWnd();
    return frame ? frame->GetActiveView() : nullptr;
}

void ReloadChannelPagesOfView() {
    if (CZEL_USB_CPLView* view = ActiveView()) view->ReloadChannelPages();
}
