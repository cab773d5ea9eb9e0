#pragma once
// What the viewer's window shows, written for a test that runs the program where nobody can
// look at it (under wine, in a virtual display): when VANTREL_VIEWER_REPORT names a file, the
// window's client size, its buttons with their places and states, its menu commands with
// their states and whether the control takes dropped files go there as lines of text.

#include <windows.h>

namespace vantrel::winviewer {

void writeWindowReport(HWND frame, bool acceptsDrops);

}  // namespace vantrel::winviewer
