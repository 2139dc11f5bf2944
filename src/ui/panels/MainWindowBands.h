#pragma once
// Plugs the bands (header, profile bar, status bar, effect cards, control
// panel) into the main window's hook table. GUI thread only.

namespace qv {

// Fills mainWindowBands() with the bands' painters and handlers; called once
// by installGuiHooks().
void installMainWindowBands();

// Forgets every band's hit rectangles, hover and drag state, meters and the
// profile list (tests; a new main window).
void resetMainWindowBands();

}  // namespace qv
