// How a page reaches the view and the other pages: through the active view of the
// application's main window, each step checked for none.
#pragma once

class CZEL_USB_CPLView;

// The view, or null while there is no main window or it has no active view.
CZEL_USB_CPLView* ActiveView();

// Makes the view reload the input channels page, then the output channels page.
void ReloadChannelPagesOfView();
