#pragma once
// This program's version, as shown to users and sent to the backend.

namespace qv {

inline constexpr const char* kVersionText = QV_VERSION_TEXT;  // "0.6.103"

}  // namespace qv
