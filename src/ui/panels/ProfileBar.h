#pragma once
// The profile bar below the header: four buttons that open the set-up
// dialogs, the profile selector with its action menu ("...") and the
// simulator selector. GUI thread only.
//
// Its layout writes the hit rectangles and reads what the selectors show;
// before the first layout every click misses. The buttons open their dialogs through dialogEntries(); a dialog
// that is not installed makes its button do nothing.

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"
#include "ui/panels/Band.h"
#include "ui/panels/LayerCache.h"

#include <cstdint>
#include <string>

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

// The profile bar's record (inside MainWindowBands).
struct ProfileBarState {
    ProfileBarLayout layout;
    // What the selectors show, read by the layout.
    int32_t sim = 0;
    int32_t profileCount = 0;
    std::string profileName;
    float width = 0;  // of the last layout
    LayerCache cache;
};

// The band: layout, paint, hover (profileBarHover), press
// (handleHeaderClick), reset.
extern const Band kProfileBarBand;

void layoutProfileBar(const BandFrame& frame);
// Paints the band (0, 56 s, width, 108 s) as the last layout left it.
void paintProfileBar(DrawContext& context, float width);

// Hover bytes of the buttons, the menu button and the selectors' arrows;
// true when one changed.
bool profileBarHover(float x, float y);
// A click on the bar (the profile bar's press; the name is the one the
// main window has always used): a button opens its dialog, the menu button runs the
// profile menu, the selectors' arrows step. False when nothing took it.
bool handleHeaderClick(WindowHandle window, GuiHost* host, float x, float y);

// Forgets hit rectangles and hover bytes (tests; a new main window).
void resetProfileBar();

}  // namespace qv
