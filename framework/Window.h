// A window handle with the few operations the program needs of it.
#pragma once

#include <windows.h>

namespace fw {

class Window {
public:
    HWND m_hWnd = nullptr;

    // Centres this top-level window on hWndCenter, or on its owner when none is given, or on
    // the work area of the nearest monitor when that is hidden, minimised or absent; keeps it
    // inside the work area (right and bottom edges first). False when no monitor information
    // was available or the move failed.
    BOOL CenterWindow(HWND hWndCenter = nullptr);
};

}  // namespace fw
