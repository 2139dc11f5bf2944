#pragma once
// The profile bar below the header: four buttons that open the set-up
// dialogs, the profile selector with its action menu ("...") and the
// simulator selector. GUI thread only.
//
// The painter writes the hit rectangles; before the first paint every click
// misses. The buttons open their dialogs through dialogEntries(); a dialog
// that is not installed makes its button do nothing.

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"

#include <cstdint>

namespace qv {

class GuiHost;

enum ProfileBarButton : int {
    kButtonSetupWizard = 0,
    kButtonZoneSetup = 1,
    kButtonChannelRouting = 2,
    kButtonOptions = 3,
    kProfileBarButtonCount = 4,
};

// Ids of the profile menu's entries.
enum ProfileMenuId : int {
    kMenuSaveAs = 1,
    kMenuLoad = 2,
    kMenuExport = 3,
    kMenuImport = 4,
    kMenuShareOnline = 5,
    kMenuCommunityProfiles = 6,
    kMenuSave = 7,
    kMenuSaveAll = 8,
};

// The simulator selector's texts by simulator index.
extern const char* const kSimSelectorNames[6];

struct ProfileBarLayout {
    RectF buttons[kProfileBarButtonCount];
    RectF profileSelector;
    RectF menuButton;
    RectF simSelector;
    uint8_t buttonHover[kProfileBarButtonCount] = {};
    uint8_t menuHover = 0;
    uint8_t profileArrowHover[2] = {};  // left, right
    uint8_t simArrowHover[2] = {};
};
const ProfileBarLayout& profileBarLayout();

// Paints the band (0, 56 s, width, 108 s).
void paintProfileBar(DrawContext& context, float width);

// Hover bytes of the buttons, the menu button and the selectors' arrows;
// true when one changed.
bool profileBarHover(float x, float y);
// A click on the bar: a button opens its dialog, the menu button runs the
// profile menu, the selectors' arrows step. False when nothing took it.
bool handleHeaderClick(WindowHandle window, GuiHost* host, float x, float y);

// Forgets hit rectangles and hover bytes (tests; a new main window).
void resetProfileBar();

}  // namespace qv
