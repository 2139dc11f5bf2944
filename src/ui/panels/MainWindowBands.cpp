#include "ui/panels/MainWindowBands.h"

#include "app/AppGlobals.h"
#include "settings/ProfileList.h"
#include "ui/ConsoleWindow.h"

namespace qv {

namespace {

// "Console - Open / Close": shows or hides the console window; the first
// show creates it, and then the main thread draws its console lines again.
void toggleConsole() {
    const bool creating = consoleWindow() == nullptr;
    if (toggleConsoleWindow() && creating)
        gConsoleToggleRequested.exchange(1);
}

const Band* const kZOrder[] = {&kHeaderBand, &kProfileBarBand, &kEffectCardsBand, &kControlPanelBand,
                               &kStatusBarBand};

}  // namespace

std::span<const Band* const> bandsInZOrder() {
    const std::span<const Band* const> order = mainWindowBands().connections.order;
    return order.empty() ? std::span<const Band* const>(kZOrder) : order;
}

void setBandsInZOrder(std::span<const Band* const> bands) { mainWindowBands().connections.order = bands; }

void layoutMainWindowBands(const BandFrame& frame) {
    for (const Band* band : bandsInZOrder())
        if (band->layout)
            band->layout(frame);
}

void installMainWindowBands() {
    CaptionActions& caption = captionActions();
    caption.minimize = [](WindowHandle window) { showWindow(window, ShowCommand::Minimize); };
    caption.maximize = [](WindowHandle window) { showWindow(window, ShowCommand::Maximize); };
    caption.restore = [](WindowHandle window) { showWindow(window, ShowCommand::Restore); };
    caption.isMaximized = isWindowMaximized;
    setConsoleToggle(toggleConsole);
}

void resetMainWindowBands() {
    for (const Band* band : bandsInZOrder())
        if (band->reset)
            band->reset();
    gProfileList = ProfileList{};
}

}  // namespace qv
