#include "ui/panels/MainWindowBands.h"

#include "app/AppGlobals.h"
#include "settings/ProfileList.h"
#include "ui/ConsoleWindow.h"
#include "ui/GuiHooks.h"
#include "ui/panels/ControlPanel.h"
#include "ui/panels/EffectCards.h"
#include "ui/panels/HeaderBand.h"
#include "ui/panels/ProfileActions.h"
#include "ui/panels/ProfileBar.h"
#include "ui/panels/StatusBar.h"

namespace qv {

namespace {

// "Console - Open / Close": shows or hides the console window; the first
// show creates it, and then the main thread draws its console lines again.
void toggleConsole() {
    const bool creating = consoleWindow() == nullptr;
    if (toggleConsoleWindow() && creating)
        gConsoleToggleRequested.exchange(1);
}

}  // namespace

void installMainWindowBands() {
    CaptionActions& caption = captionActions();
    caption.minimize = [](WindowHandle window) { showWindow(window, ShowCommand::Minimize); };
    caption.maximize = [](WindowHandle window) { showWindow(window, ShowCommand::Maximize); };
    caption.restore = [](WindowHandle window) { showWindow(window, ShowCommand::Restore); };
    caption.isMaximized = isWindowMaximized;
    setConsoleToggle(toggleConsole);

    MainWindowBands& bands = mainWindowBands();
    bands.refreshProfileList = [](int sim) { gProfileList.refreshProfileList(profileBaseFolder(), sim); };
    bands.buildEffectCards = [](int sim) { buildEffectCards(sim); };
    bands.resetCardDrag = resetCardDrag;
    bands.updateLevelMeters = updateLevelMeters;
    bands.anyMeterActive = anyMeterActive;
    bands.paintHeader = paintHeader;
    bands.paintProfileBar = paintProfileBar;
    bands.paintEffectCards = paintEffectCards;
    bands.paintControlPanel = paintControlPanel;
    bands.paintStatusBar = paintStatusBar;
    bands.captionHover = captionButtonHover;
    bands.captionDown = captionButtonClick;
    bands.headerHover = profileBarHover;
    bands.headerDown = handleHeaderClick;
    bands.statusHover = [](float x, float y, float, float) { return statusBarHover(x, y); };
    bands.statusDown = [](WindowHandle window, float x, float y, float, float) {
        return headerButtonClick(window, x, y);
    };
    bands.cardsDrag = [](float x, float y, float, float) { return cardDrag(x, y); };
    bands.cardsDown = [](WindowHandle, GuiHost* host, float x, float y, float, float) {
        return cardMouseDown(host, x, y);
    };
    bands.cardsUp = cardMouseUp;
    bands.cardsScroll = cardScroll;
    bands.panelDrag = controlPanelDrag;
    bands.panelDown = [](float x, float y, float, float) { return controlPanelMouseDown(x, y); };
    bands.panelUp = controlPanelMouseUp;
    bands.panelScroll = controlPanelScroll;
    bands.cardsFocus = moveCardFocus;
    bands.cardsToggleFocused = toggleFocusedCard;
    bands.cardsVolume = [](int direction) {
        return nudgeFocusedCardVolume(direction > 0 ? kCardVolumeKeyStep : -kCardVolumeKeyStep);
    };
    bands.cardsToggleNumber = toggleCardByNumber;
    // The main thread hands the block to the settings saver at its next pass.
    bands.saveNow = [] { gSaveRequested.exchange(1); };
}

void resetMainWindowBands() {
    resetHeaderBand();
    resetProfileBar();
    resetStatusBar();
    resetControlPanel();
    resetLevelMeters();
    resetEffectCardCaches();
    resetCardDrag();
    buildEffectCards(kIRacing);
    gProfileList = ProfileList{};
}

}  // namespace qv
