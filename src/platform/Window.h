#pragma once
// STAND-IN until the window layer lands: the declarations of the shared GUI
// contract that the dialogs use. Replaced by the real header on merge.

#include <cstdint>

namespace qv {

struct PlatformWindow;
using WindowHandle = PlatformWindow*;

inline constexpr uint32_t kWmDestroy = 0x0002, kWmSize = 0x0005, kWmActivate = 0x0006, kWmPaint = 0x000F,
                          kWmClose = 0x0010, kWmKeyDown = 0x0100, kWmKeyUp = 0x0101, kWmChar = 0x0102,
                          kWmSysKeyDown = 0x0104, kWmTimer = 0x0113, kWmMouseMove = 0x0200,
                          kWmLButtonDown = 0x0201, kWmLButtonUp = 0x0202, kWmLButtonDblClk = 0x0203,
                          kWmRButtonDown = 0x0204, kWmRButtonUp = 0x0205, kWmMouseWheel = 0x020A,
                          kWmCaptureChanged = 0x0215, kWmApp = 0x8000;
inline constexpr int kVkBack = 8, kVkTab = 9, kVkReturn = 13, kVkShift = 16, kVkControl = 17, kVkEscape = 27,
                     kVkSpace = 32, kVkPrior = 33, kVkNext = 34, kVkEnd = 35, kVkHome = 36, kVkLeft = 37,
                     kVkUp = 38, kVkRight = 39, kVkDown = 40, kVkDelete = 46, kVkF1 = 112;

bool postWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
void invalidateWindow(WindowHandle window);
void setMouseCapture(WindowHandle window);
void releaseMouseCapture();

}  // namespace qv
