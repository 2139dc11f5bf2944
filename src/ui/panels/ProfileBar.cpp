#include "ui/panels/ProfileBar.h"

#include "platform/graphics/Graphics.h"
#include "settings/LiveSettings.h"
#include "settings/ProfileFile.h"
#include "settings/ProfileList.h"
#include "ui/AppMessages.h"
#include "ui/GuiHooks.h"
#include "ui/GuiHost.h"
#include "ui/PopupMenu.h"
#include "ui/Widgets.h"
#include "ui/panels/BandDrawing.h"
#include "ui/panels/FrameDamage.h"
#include "ui/panels/LayerCache.h"
#include "ui/panels/MainWindowBands.h"
#include "ui/panels/ProfileActions.h"

#include <string>

namespace qv {

using namespace bands;

const char* const kSimSelectorNames[6] = {"iRacing", "ACC", "LMU", "AC EVO", "AC", "rFactor 2"};

namespace {

constexpr float kBarTop = kHeaderHeight;
constexpr float kRowTop = kHeaderHeight + 11.0f;
constexpr float kRowHeight = 30.0f;
constexpr float kSelectorWidth = 182.0f;
constexpr float kMenuWidth = 32.0f;
constexpr float kArrowWidth = 26.0f;

struct ButtonSpec {
    const char* label;
    float width;
};
constexpr ButtonSpec kButtons[kProfileBarButtonCount] = {
    {"Setup Wizard", 108}, {"Zone Setup", 90}, {"Channel Routing", 120}, {"Options", 76}};

ProfileBarState& state() { return mainWindowBands().profileBar; }

RectF leftArrow(const RectF& selector, float s) {
    return RectF{selector.left, selector.top, selector.left + kArrowWidth * s, selector.bottom};
}

RectF rightArrow(const RectF& selector, float s) {
    return RectF{selector.right - kArrowWidth * s, selector.top, selector.right, selector.bottom};
}

int arrowBrush(bool enabled, bool hovered) {
    if (!enabled)
        return kBrushText22;
    return hovered ? kBrushAccent : kBrushText55;
}

void paintSelector(DrawContext& context, const RectF& r, const char* caption, std::string_view value,
                   bool arrowsEnabled, const uint8_t hover[2], float s) {
    const float radius = 6.0f * s;
    context.fillRoundedRect(r, radius, guiBrush(kBrushSurface));
    context.drawRoundedRect(r, radius, guiBrush(kBrushLine), 1.0f);
    hline(context, r.left + 6.0f * s, r.right - 6.0f * s, r.top + 1.0f, kBrushLineFaint);
    hline(context, r.left + 6.0f * s, r.right - 6.0f * s, r.bottom - 2.0f, kBrushShadow);
    const RectF left = leftArrow(r, s);
    const RectF right = rightArrow(r, s);
    context.fillRect(RectF{left.right, r.top + 4.0f * s, left.right + 1.0f, r.bottom - 4.0f * s}, guiBrush(kBrushLine));
    context.fillRect(RectF{right.left - 1.0f, r.top + 4.0f * s, right.left, r.bottom - 4.0f * s}, guiBrush(kBrushLine));
    text(context, kFormatControl, "<", left, arrowBrush(arrowsEnabled, hover[0] != 0));
    text(context, kFormatControl, ">", right, arrowBrush(arrowsEnabled, hover[1] != 0));
    const float split = r.top + 0.44f * r.height();
    text(context, kFormatCaption, caption, RectF{left.right, r.top, right.left, split}, kBrushText38);
    text(context, kFormatControl, value, RectF{left.right, split, right.left, r.bottom}, kBrushText);
}

void runProfileMenu(WindowHandle window, float x, float y) {
    static const PopupMenuItem kItems[] = {
        {kMenuSave, "Save"},
        {kMenuSaveAll, "Save All"},
        {0, nullptr, true},
        {kMenuSaveAs, "Save As"},
        {kMenuLoad, "Load"},
        {0, nullptr, true},
        {kMenuExport, "Export"},
        {kMenuImport, "Import"},
        {0, nullptr, true},
        {kMenuShareOnline, "Share Online"},
        {kMenuCommunityProfiles, "Community Profiles"},
    };
    const int chosen = runPopupMenu(window, x, y, kItems, static_cast<int>(sizeof(kItems) / sizeof(kItems[0])));
    state().layout.menuHover = 0;
    const DialogEntries& entries = dialogEntries();
    auto open = [window](void (*entry)(WindowHandle)) {
        if (entry)
            entry(window);
    };
    switch (chosen) {
    case kMenuSave:
        saveActiveProfile(window);
        break;
    case kMenuSaveAll:
        saveAllProfiles(window);
        break;
    case kMenuSaveAs:
        open(entries.openSaveProfileAs);
        break;
    case kMenuLoad:
        open(entries.openLoadProfile);
        break;
    case kMenuExport:
        open(entries.exportProfile);
        break;
    case kMenuImport:
        open(entries.importProfile);
        break;
    case kMenuShareOnline:
        open(entries.openShareProfile);
        break;
    case kMenuCommunityProfiles:
        open(entries.openCommunityProfiles);
        break;
    default:
        break;  // dismissed
    }
}

void openButtonDialog(int button, WindowHandle window, GuiHost* host) {
    const DialogEntries& entries = dialogEntries();
    switch (button) {
    case kButtonSetupWizard:
        if (entries.openDeviceWizard)
            entries.openDeviceWizard(window, host);
        break;
    case kButtonZoneSetup:
        if (entries.openZoneSetup)
            entries.openZoneSetup(window, host);
        break;
    case kButtonChannelRouting:
        if (entries.openChannelRouting)
            entries.openChannelRouting(window, host);
        break;
    default:
        if (entries.openSettings)
            entries.openSettings(window);
        break;
    }
}

bool setHover(uint8_t& byte, bool inside) {
    const uint8_t value = inside ? 1 : 0;
    const bool changed = byte != value;
    byte = value;
    return changed;
}

}  // namespace

const ProfileBarLayout& profileBarLayout() { return state().layout; }

void resetProfileBar() {
    ProfileBarState& band = state();
    band.layout = ProfileBarLayout{};
    band.sim = 0;
    band.profileCount = 0;
    band.profileName.clear();
    band.width = 0;
    band.cache.reset();
}

void layoutProfileBar(const BandFrame& frame) {
    ProfileBarState& band = state();
    ProfileBarLayout& bar = band.layout;
    const float width = frame.width;
    const float s = dpiScale();
    band.width = width;
    if (!(width > 0.0f))
        return;
    const float rowTop = kRowTop * s;
    const float rowBottom = (kRowTop + kRowHeight) * s;
    float x = 18.0f * s;
    for (int i = 0; i < kProfileBarButtonCount; ++i) {
        bar.buttons[i] = RectF{x, rowTop, x + kButtons[i].width * s, rowBottom};
        x = bar.buttons[i].right + 8.0f * s;
    }
    const float simRight = width - 18.0f * s;
    bar.simSelector = RectF{simRight - kSelectorWidth * s, rowTop, simRight, rowBottom};
    const float menuRight = bar.simSelector.left - 6.0f * s;
    bar.menuButton = RectF{menuRight - kMenuWidth * s, rowTop, menuRight, rowBottom};
    const float profileRight = bar.menuButton.left - 6.0f * s;
    bar.profileSelector = RectF{profileRight - kSelectorWidth * s, rowTop, profileRight, rowBottom};

    const HapticSettings& settings = gSettings.snapshot();
    band.sim = isValidSimIndex(settings.selectedSim) ? settings.selectedSim : kIRacing;
    band.profileCount = gProfileList.profileCount();
    std::string_view value = kDefaultProfileName;
    if (band.profileCount > 0)
        value = gProfileList.names()[static_cast<size_t>(gProfileList.profileIndex(settings.activeProfile[band.sim]))];
    if (band.profileName != value)
        band.profileName.assign(value);
    if (!frame.context)
        return;  // input: nothing is drawn

    CacheKey key;
    key.addAppearance();
    key.add(width);
    for (uint8_t hover : bar.buttonHover)
        key.add(hover);
    key.add(bar.menuHover);
    key.add(bar.profileArrowHover[0]);
    key.add(bar.profileArrowHover[1]);
    key.add(bar.simArrowHover[0]);
    key.add(bar.simArrowHover[1]);
    key.add(band.sim);
    key.add(band.profileCount > 1);
    key.addText(band.profileName);
    band.cache.prepare(key, RectF{0, kBarTop * s, width, (kBarTop + kProfileBarHeight) * s}, frame.damage);
}

void paintProfileBar(DrawContext& context, float width) {
    ProfileBarState& band = state();
    const ProfileBarLayout& bar = band.layout;
    const float s = dpiScale();
    if (!(width > 0.0f))
        return;
    const float top = kBarTop * s;
    const float bottom = (kBarTop + kProfileBarHeight) * s;
    const int sim = band.sim;
    const int count = band.profileCount;
    const std::string_view value = band.profileName;
    const RectF rect{0, top, width, bottom};
    DrawContext* layer = band.cache.begin();
    if (!layer && !band.cache.fallback()) {
        band.cache.drawOnto(context);
        return;
    }
    DrawContext& target = layer ? *layer : context;
    target.fillRect(rect, guiBrush(kBrushWindow));
    hline(target, 0, width, bottom - 1.0f, kBrushLine);
    for (int i = 0; i < kProfileBarButtonCount; ++i) {
        drawRaisedFace(target, bar.buttons[i], bar.buttonHover[i] != 0, s);
        text(target, kFormatControl, kButtons[i].label, bar.buttons[i], bar.buttonHover[i] ? kBrushText : kBrushText78);
    }
    drawRaisedFace(target, bar.menuButton, bar.menuHover != 0, s);
    text(target, kFormatControl, "...", bar.menuButton, bar.menuHover ? kBrushText : kBrushText55);
    paintSelector(target, bar.profileSelector, "PROFILE", value, count > 1, bar.profileArrowHover, s);
    paintSelector(target, bar.simSelector, "SIM", kSimSelectorNames[sim], true, bar.simArrowHover, s);
    if (layer) {
        band.cache.end();
        band.cache.drawOnto(context);
    }
}

bool profileBarHover(float x, float y) {
    ProfileBarLayout& bar = state().layout;
    const float s = dpiScale();
    bool changed = false;
    for (int i = 0; i < kProfileBarButtonCount; ++i)
        changed |= setHover(bar.buttonHover[i], pointInRect(bar.buttons[i], x, y));
    changed |= setHover(bar.menuHover, pointInRect(bar.menuButton, x, y));
    changed |= setHover(bar.profileArrowHover[0], pointInRect(leftArrow(bar.profileSelector, s), x, y) &&
                                                       pointInRect(bar.profileSelector, x, y));
    changed |= setHover(bar.profileArrowHover[1], pointInRect(rightArrow(bar.profileSelector, s), x, y) &&
                                                       pointInRect(bar.profileSelector, x, y));
    changed |= setHover(bar.simArrowHover[0],
                        pointInRect(leftArrow(bar.simSelector, s), x, y) && pointInRect(bar.simSelector, x, y));
    changed |= setHover(bar.simArrowHover[1],
                        pointInRect(rightArrow(bar.simSelector, s), x, y) && pointInRect(bar.simSelector, x, y));
    return changed;
}

bool handleHeaderClick(WindowHandle window, GuiHost* host, float x, float y) {
    const ProfileBarLayout& bar = state().layout;
    const float s = dpiScale();
    for (int i = 0; i < kProfileBarButtonCount; ++i) {
        if (pointInRect(bar.buttons[i], x, y)) {
            openButtonDialog(i, window, host);
            return true;
        }
    }
    if (pointInRect(bar.menuButton, x, y)) {
        runProfileMenu(window, x, y);
        return true;
    }
    if (pointInRect(bar.profileSelector, x, y) && gProfileList.profileCount() > 0) {
        const bool left = pointInRect(leftArrow(bar.profileSelector, s), x, y);
        const bool right = pointInRect(rightArrow(bar.profileSelector, s), x, y);
        if (left || right) {
            const HapticSettings settings = gSettings.snapshot();
            const int sim = isValidSimIndex(settings.selectedSim) ? settings.selectedSim : kIRacing;
            const int index = gProfileList.profileIndex(settings.activeProfile[sim]);
            selectProfileByIndex(window, index + (left ? -1 : 1));
            return true;
        }
        return false;
    }
    if (pointInRect(bar.simSelector, x, y)) {
        const bool left = pointInRect(leftArrow(bar.simSelector, s), x, y);
        const bool right = pointInRect(rightArrow(bar.simSelector, s), x, y);
        if (left || right) {
            switchSimulator(window, host, nextSimulator(gSettings.snapshot().selectedSim, left ? -1 : 1));
            return true;
        }
    }
    return false;
}

const Band kProfileBarBand = {
    "profile bar",
    layoutProfileBar,
    [](DrawContext& context, const BandFrame& frame) { paintProfileBar(context, frame.width); },
    [](const BandEvent& event) { return profileBarHover(event.x, event.y); },
    [](const BandEvent& event) { return handleHeaderClick(event.window, event.host, event.x, event.y); },
    nullptr,
    nullptr,
    resetProfileBar,
};

}  // namespace qv
