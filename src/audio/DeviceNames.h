#pragma once
// Device names: the normalised hardware name that groups PortAudio's
// per-host-API entries of one interface, and the test for outputs that are
// no place for a shaker (HDMI, Bluetooth, S/PDIF, virtual devices ...).
//
// Names are byte strings as PortAudio and the registry deliver them; every
// lower-casing is ASCII lower-casing, byte by byte, of a copy.

#include <string>
#include <string_view>

namespace qv {

// Host-API suffixes, tested in this order; at most one is cut.
inline constexpr std::string_view kHostApiSuffixes[] = {
    " (WDM-KS)", " (WASAPI)", " (MME)", " (ASIO)", " (DirectSound)",
    " (Windows DirectSound)", " (Windows WASAPI)", " (Windows WDM-KS)"};

// Role prefixes, tested in this order.
inline constexpr std::string_view kRolePrefixes[] = {"Speakers ", "Line ", "Headphones ", "Digital Audio "};

// Lower-case keywords of unsuitable outputs, matched as substrings.
inline constexpr std::string_view kUnsuitableKeywords[] = {
    "hdmi", "bluetooth", "digital", "spdif", "s/pdif", "nvidia", "amd",
    "displayport", "optical", "communications", "virtual", "voip"};

// The name given to a device whose name is empty or blank.
inline constexpr std::string_view kUnnamedDevice = "Unnamed device";

std::string toLowerCopy(std::string_view text);

// Cuts one host-API suffix and a role prefix (only when what remains has a
// parenthesis or is longer than 4 characters), trims spaces and unwraps a
// name that is one parenthesised group: "Speakers (Focus 2)" and
// "Focus 2 (WDM-KS)" both become "Focus 2"; "Line 1" stays.
// Never returns an empty name: when nothing would remain, the trimmed raw
// name is kept ("Unnamed device" for a blank one), since an empty name would
// be contained in, and so match, every other name.
std::string normaliseHardwareName(std::string_view name);

// True when the lower-cased name contains an unsuitable keyword.
bool isUnsuitableOutput(std::string_view name);

}  // namespace qv
