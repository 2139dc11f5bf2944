#pragma once
// The desktop's settings as its settings daemon publishes them on the X
// server (the XSETTINGS protocol: the owner of the selection
// "_XSETTINGS_S<screen>" holds them in its property "_XSETTINGS_SETTINGS").
// Used for what SDL does not read itself, such as "Net/DoubleClickTime".
//
// The property comes from another client and is untrusted: the reader checks
// every length against the bytes present and gives nothing for a setting it
// cannot read whole.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qv {

// The integer setting `name` in the bytes of an _XSETTINGS_SETTINGS
// property; nullopt when it is absent, not an integer, or the bytes up to it
// are malformed.
std::optional<int32_t> xsettingsInteger(const uint8_t* data, size_t size, std::string_view name);

// Reads the integer setting `name` from the X server named by DISPLAY over a
// short connection of its own; nullopt without a display, without a
// settings daemon, or when the setting is missing. Any thread; it touches no
// connection of the window layer.
std::optional<int32_t> desktopXSettingInteger(std::string_view name);

// The desktop's double-click time in milliseconds ("Net/DoubleClickTime"),
// when it publishes one between 100 and 2000 ms.
std::optional<int> desktopDoubleClickMs();

}  // namespace qv
