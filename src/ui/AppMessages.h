#pragma once
// Temporary stand-in.
#include <cstdint>
namespace qv {
inline constexpr uint32_t kMsgDeviceSetup = 0x8002, kMsgRefreshEffects = 0x800A,
    kMsgBringToFront = 0x800B, kMsgCheckDpi = 0x8014, kMsgApplyAppearance = 0x8015,
    kMsgTrayIcon = 0x801E, kMsgQuit = 0x801F, kMsgUploadProfile = 0x8032,
    kMsgDownloadProfile = 0x8033;
inline constexpr uint32_t kTimerFrame = 1, kTimerVrCheck = 2;
inline constexpr float kHeaderHeight = 56, kProfileBarHeight = 52, kStatusBarHeight = 44;
}  // namespace qv
