#pragma once
// Temporary stand-in for the window layer's declarations (removed when the
// window layer lands).
#include <cstdint>

namespace qv {
struct PlatformWindow;
using WindowHandle = PlatformWindow*;
inline constexpr uint32_t kWmDestroy = 0x0002, kWmSize = 0x0005, kWmActivate = 0x0006,
    kWmPaint = 0x000F, kWmClose = 0x0010, kWmKeyDown = 0x0100, kWmKeyUp = 0x0101,
    kWmChar = 0x0102, kWmSysKeyDown = 0x0104, kWmTimer = 0x0113,
    kWmMouseMove = 0x0200, kWmLButtonDown = 0x0201, kWmLButtonUp = 0x0202,
    kWmLButtonDblClk = 0x0203, kWmRButtonDown = 0x0204, kWmRButtonUp = 0x0205,
    kWmMouseWheel = 0x020A, kWmCaptureChanged = 0x0215, kWmApp = 0x8000;
bool postWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
}  // namespace qv
