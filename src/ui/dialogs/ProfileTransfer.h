#pragma once
// What the profile dialogs do to the profile files and the live settings:
// making another profile the active one, checking names that came from
// outside, and asking before a file is replaced. GUI thread only.
//
// Every change that replaces the active profile follows one order: the new
// values are read into a scratch copy first; only when that worked is the
// outgoing profile written from the live block (its last edits would
// otherwise wait for the coalesced save and land under the new name), and
// then the values and the name are committed in one gSettings.edit. A
// failure at any step is shown to the user and changes nothing.

#include "platform/Window.h"
#include "settings/HapticSettings.h"
#include "ui/dialogs/OutsideText.h"

#include <string>
#include <string_view>

namespace qv {

// The selected simulator of a block; iRacing when the stored value is out of range.
int selectedSimOf(const HapticSettings& settings);

// The profile file name of an imported file: its last path component
// without the text from its last "." (a name without "." is taken whole).
std::string importedProfileName(std::string_view path);

// Before a profile file of `name` is written on the user's behalf: true
// when nothing is there, or a regular file is there and the user agreed to
// replace it (Yes/No, owned by `owner`). A link, a folder or anything else
// in its place is refused with a message. `title` captions the boxes.
bool confirmProfileTarget(WindowHandle owner, const char* title, const std::string& base, int sim,
                          const std::string& name);

// Commits `profile` and `name` as the active profile of sim. When name
// differs from the active one, the outgoing profile is written first; a
// failed write is reported (the switch still happens: the values stay in the
// block and the routine save tries again). Raises the dirty flag and calls
// postProfileRefresh(owner).
void activateProfile(WindowHandle owner, int sim, const std::string& name, const EffectProfile& profile);

// After the active profile's file of sim was deleted: "default" becomes the
// active profile with the values of its file, or the simulator's factory
// values when that cannot be read (false, with the reason in `error`; the
// routine save then writes them as "default"). Nothing is written on the
// way, so the deleted profile is not written again. Raises the dirty flag
// and calls postProfileRefresh(owner).
bool fallBackToDefaultProfile(WindowHandle owner, const std::string& base, int sim, std::string* error = nullptr);

// Posts kMsgRefreshEffects to `owner` and, when the owner is another window
// (a dialog that opened this one), to the main window too, so the profile bar
// shows the new active name at once.
void postProfileRefresh(WindowHandle owner);

// Shows an error box owned by `owner` (a null owner centres it).
void reportProfileError(WindowHandle owner, const char* title, const std::string& text);

// Removes the profile file of `name`: false for a simulator outside 0..5,
// the name "default" (exactly), an invalid name or a failed removal.
bool deleteProfileFile(const std::string& base, int sim, const std::string& name, std::string* error = nullptr);

}  // namespace qv
