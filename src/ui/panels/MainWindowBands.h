#pragma once
// The main window's bands: one record holding every band's state, owned by
// the main window (MainWindow.cpp), and the bands' function records (Band.h)
// in z-order. GUI thread only.
//
// A frame lays every band out and then paints them bottom to top; input is
// offered top to bottom after a layout (MainWindow.cpp routes it in one loop).

#include "ui/panels/Band.h"
#include "ui/panels/BandDrawing.h"
#include "ui/panels/ControlPanel.h"
#include "ui/panels/EffectCards.h"
#include "ui/panels/HeaderBand.h"
#include "ui/panels/ProfileBar.h"
#include "ui/panels/StatusBar.h"

#include <span>
#include <string>
#include <vector>

namespace qv {

// What the bands are connected to, set once when the hooks are installed and
// kept by resetMainWindowBands().
struct BandConnections {
    CaptionActions caption;
    ConsoleToggle consoleToggle = nullptr;
    // The folder the profiles live under (ProfileActions.h); the application
    // data folder until set.
    std::string profileFolder;
    bool profileFolderSet = false;
    // Debugging and tests: the text boxes the bands lay out (BandDrawing.h).
    std::vector<bands::TextBox>* textBoxLog = nullptr;
    // Tests: other bands than the five (setBandsInZOrder).
    std::span<const Band* const> order;
};

struct MainWindowBands {
    BandConnections connections;
    HeaderState header;
    ProfileBarState profileBar;
    EffectCardsState cards;
    ControlPanelState panel;
    StatusBarState status;
};

// The main window's record of its bands (kept by MainWindow.cpp).
MainWindowBands& mainWindowBands();

// The bands bottom to top: header, profile bar, effect cards, control panel,
// status bar.
std::span<const Band* const> bandsInZOrder();
// Test seam: the bands the main window lays out, paints and routes input to,
// bottom to top; an empty span restores the five. The records must outlive
// their use.
void setBandsInZOrder(std::span<const Band* const> bands);

// Lays every band out for a client of frame.width x frame.height pixels.
void layoutMainWindowBands(const BandFrame& frame);

// Connects the bands to the window layer and the console window; called once
// by installGuiHooks().
void installMainWindowBands();

// Forgets every band's state (hit rectangles, hover and drag, meters, stored
// drawings) and the profile list, and builds the iRacing cards; keeps the
// connections (tests; a new main window).
void resetMainWindowBands();

}  // namespace qv
