#pragma once
// STAND-IN until the GUI host lands (shared GUI contract).

#include <cstdint>

namespace qv {

inline constexpr uint32_t kMsgDeviceSetup = 0x8002, kMsgRefreshEffects = 0x800A, kMsgBringToFront = 0x800B;

}  // namespace qv
