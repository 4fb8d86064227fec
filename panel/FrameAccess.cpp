#include "FrameAccess.h"

namespace {
CFrameAccess* g_mainWnd = nullptr;
}

CFrameAccess* AfxGetMainWnd() { return g_mainWnd; }
void AfxSetMainWnd(CFrameAccess* frame) { g_mainWnd = frame; }
