#pragma once
// Plugs the bands (header, profile bar, status bar, effect cards, control
// panel) into the main window's hook table. GUI thread only.

namespace qv {

// The smallest client size (96-dpi units) at which every band still fits;
// the main window should not be made smaller.
inline constexpr float kMainWindowMinWidth = 1000.0f;
inline constexpr float kMainWindowMinHeight = 600.0f;

// Fills mainWindowBands() with the bands' painters and handlers; called once
// by installGuiHooks().
void installMainWindowBands();

// Forgets every band's hit rectangles, hover and drag state, meters and the
// profile list (tests; a new main window).
void resetMainWindowBands();

}  // namespace qv
