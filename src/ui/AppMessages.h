#pragma once
// Application messages and timers of the main window. Any thread may post
// these to the main window (postWindowMessage); the numbers are fixed.

#include "platform/Window.h"

#include <cstdint>

namespace qv {

inline constexpr uint32_t kMsgDeviceSetup = 0x8002,  // open the device set-up wizard
    kMsgRefreshEffects = 0x800A,                     // reload the profile list and effect cards, repaint
    kMsgBringToFront = 0x800B,                       // raise the window; wParam kBringToFrontRestore: restore it first
    kMsgCheckDpi = 0x8014,                           // compare the display's DPI with the layout's
    kMsgApplyAppearance = 0x8015,                    // wParam accent index, lParam density
    kMsgTrayIcon = 0x801E,                           // tray events: wParam a TrayEvent
    kMsgQuit = 0x801F,                               // end the program
    kMsgUploadProfile = 0x8032,                      // the share dialog to itself
    kMsgDownloadProfile = 0x8033;                    // the community profiles dialog to itself

inline constexpr uint32_t kTimerFrame = 1, kTimerVrCheck = 2;

// Band heights in 96-dpi units (times dpiScale()).
inline constexpr float kHeaderHeight = 56, kProfileBarHeight = 52, kStatusBarHeight = 44;
// The smallest client size (96-dpi units) at which every band still fits;
// the user cannot resize the main window below it.
inline constexpr float kMainWindowMinWidth = 1000, kMainWindowMinHeight = 600;

// wParam of kMsgBringToFront. A plain raise (0, after a click and after a
// dialog) leaves a window in the tray or minimised where it is; only another
// start of the program asks for the restore.
inline constexpr uintptr_t kBringToFrontRaise = 0, kBringToFrontRestore = 1;

// wParam of kMsgTrayIcon, posted by the tray's thread.
enum class TrayEvent : uintptr_t { Activate = 1, Restore = 2, Exit = 3, ContextMenu = 4 };  // ContextMenu: lParam = screen point

}  // namespace qv
