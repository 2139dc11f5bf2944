// Renders a sample of every widget of the kit, in each of its states, to a
// PNG: one panel in the first accent preset and one in the last, side by side.
// Needs no display. Usage: qv_widget_gallery out.png

#include "platform/graphics/Graphics.h"
#include "platform/graphics/ImageTarget.h"
#include "ui/Appearance.h"
#include "ui/Dial.h"
#include "ui/WidgetPainters.h"
#include "ui/Widgets.h"

#include <cstdio>
#include <string>

namespace qv {
namespace {

constexpr float kPanelWidth = 820.0f;
constexpr float kPanelHeight = 880.0f;

void caption(DrawContext& c, float x, float y, const char* text) {
    c.drawText(guiTextFormat(kFormatSectionTitle), text, RectF{x, y, x + 400, y + 18}, guiBrush(kBrushText),
               TextAlignment::Leading, ParagraphAlignment::Center);
}

UiButton button(float x, float y, float w, const char* label, ButtonStyle style) {
    UiButton b;
    b.rect = RectF{x, y, x + w, y + 30};
    setWidgetText(b.label, label);
    b.style = style;
    return b;
}

void drawPanel(DrawContext& c, float left, int accent) {
    applyAccentTheme(accent);
    c.pushTranslation(left, 0);
    c.fillRect(RectF{0, 0, kPanelWidth, kPanelHeight}, guiBrush(kBrushWindow));
    c.drawText(guiTextFormat(kFormatLogo), currentAccent().name, RectF{20, 10, 400, 32}, guiBrush(kBrushAccent),
               TextAlignment::Leading, ParagraphAlignment::Center);

    // Buttons: plain, primary and destructive, each at rest, hovered and
    // pressed, and a disabled one.
    caption(c, 20, 40, "UiButton");
    const ButtonStyle styles[] = {kButtonPlain, kButtonPrimary, kButtonDestructive};
    const char* names[] = {"Plain", "Primary", "Delete"};
    float x = 20;
    for (int i = 0; i < 3; ++i) {
        for (int state = 0; state < 3; ++state) {
            UiButton b = button(x, 62, 72, names[i], styles[i]);
            b.hovered = state == 1;
            b.pressed = state == 2;
            drawButton(c, b);
            x += 79;
        }
    }
    UiButton disabled = button(x, 62, 72, "Disabled", kButtonPrimary);
    disabled.enabled = 0;
    drawButton(c, disabled);

    // Toggles.
    caption(c, 20, 104, "UiToggle");
    bool on = true;
    bool off = false;
    const struct {
        const char* label;
        bool* target;
        bool hovered;
        bool enabled;
    } toggles[] = {{"Checked", &on, false, true}, {"Unchecked", &off, false, true},
                   {"Hovered", &off, true, true}, {"Disabled", &on, false, false}};
    x = 20;
    for (const auto& t : toggles) {
        UiToggle toggle;
        toggle.rect = RectF{x, 126, x + 150, 150};
        setWidgetText(toggle.label, t.label);
        toggle.target = t.target;
        toggle.hovered = t.hovered;
        toggle.enabled = t.enabled;
        drawToggle(c, toggle);
        x += 170;
    }

    // Sliders.
    caption(c, 20, 160, "UiSlider");
    float gain = 0.65f;
    float delay = 2.5f;
    UiSlider percent;
    percent.rect = RectF{20, 182, 380, 206};
    setWidgetText(percent.label, "GAIN");
    setWidgetText(percent.unit, "%");
    percent.target = &gain;
    percent.percentDisplay = 1;
    percent.hovered = 1;
    drawSlider(c, percent);
    UiSlider plain;
    plain.rect = RectF{420, 182, 780, 206};
    setWidgetText(plain.label, "DELAY");
    setWidgetText(plain.unit, " ms");
    plain.target = &delay;
    plain.min = 0;
    plain.max = 10;
    drawSlider(c, plain);

    // List box with a selection, a hovered row and a scroll thumb.
    caption(c, 20, 218, "UiListBox");
    UiListBox list;
    list.rect = RectF{20, 258, 380, 382};
    setWidgetText(list.label, "PROFILES");
    const char* profiles[] = {"Default", "Endurance night", "Sprint - soft", "Oval", "Rain",
                              "Qualifying", "Drift", "Rallycross"};
    listBoxSetItems(list, profiles, 8);
    list.rowHeight = 24;
    list.selected = 1;
    listBoxScroll(list, -60);
    listBoxHover(list, 100, 258 + 3 * 24 - list.scroll + 4);
    drawListBox(c, list);

    // Segmented choices, enabled (one hovered) and disabled.
    caption(c, 420, 218, "UiSegmented");
    const char* densities[] = {"Compact", "Normal", "Roomy"};
    UiSegmented segmented;
    segmented.rect = RectF{420, 240, 780, 270};
    segmentedSetLabels(segmented, densities, 3);
    segmented.selected = 1;
    segmentedHover(segmented, 700, 250);
    drawSegmented(c, segmented);
    UiSegmented segmentedOff = segmented;
    segmentedOff.rect = RectF{420, 280, 780, 310};
    segmentedOff.enabled = 0;
    segmentedOff.hoverIndex = -1;
    drawSegmented(c, segmentedOff);

    // Faders: at rest, dragged, disabled.
    caption(c, 420, 320, "UiFader");
    const float faderValues[] = {0.3f, 0.75f, 0.5f};
    for (int i = 0; i < 3; ++i) {
        UiFader fader;
        fader.rect = RectF{420, 342.0f + i * 30.0f, 780, 366.0f + i * 30.0f};
        fader.value = faderValues[i];
        fader.dragging = i == 1;
        fader.enabled = i == 2 ? 0 : 1;
        drawFader(c, fader);
    }

    // Knobs at 0, 0.5 and 0.9, and an inactive one.
    caption(c, 20, 440, "UiKnob");
    const float values[] = {0.0f, 0.5f, 0.9f, 0.7f};
    for (int i = 0; i < 4; ++i) {
        UiKnob knob;
        knob.rect = RectF{30.0f + i * 95.0f, 466, 80.0f + i * 95.0f, 516};
        knob.value = values[i];
        setWidgetText(knob.caption, i == 3 ? "INACTIVE" : "DRIVE");
        knob.active = i == 3 ? 0 : 1;
        drawKnob(c, knob);
    }

    // Text fields: focused with a caret, placeholder while hovered, disabled.
    caption(c, 420, 440, "UiTextField");
    UiTextField focused;
    focused.rect = RectF{420, 482, 600, 514};
    setWidgetText(focused.label, "AUTHOR");
    setWidgetText(focused.text, "Night stint GT3");
    textFieldClick(focused, 430, 490);
    textFieldKey(focused, kKeyLeft);
    textFieldKey(focused, kKeyLeft);
    textFieldKey(focused, kKeyLeft);
    drawTextField(c, focused);
    UiTextField empty;
    empty.rect = RectF{620, 482, 800, 514};
    setWidgetText(empty.label, "DESCRIPTION");
    setWidgetText(empty.placeholder, "Optional");
    empty.hovered = 1;
    drawTextField(c, empty);
    UiTextField disabledField = empty;
    disabledField.rect = RectF{420, 546, 600, 578};
    setWidgetText(disabledField.label, "DISABLED");
    setWidgetText(disabledField.text, "Read only");
    disabledField.enabled = 0;
    disabledField.hovered = 0;
    drawTextField(c, disabledField);

    // Drop-downs: at rest, hovered, disabled, and open with its list.
    caption(c, 20, 590, "UiDropdown");
    const char* presets[kAccentPresetCount];
    for (int i = 0; i < kAccentPresetCount; ++i)
        presets[i] = gAccentPresets[i].name;
    UiDropdown rest;
    rest.rect = RectF{20, 630, 200, 662};
    setWidgetText(rest.label, "ACCENT COLOUR");
    dropdownSetItems(rest, presets, kAccentPresetCount);
    rest.selected = accent;
    rest.itemHeight = 28;
    UiDropdown hovered = rest;
    hovered.rect = RectF{220, 630, 400, 662};
    setWidgetText(hovered.label, "HOVERED");
    hovered.hovered = 1;
    UiDropdown closedOff = rest;
    closedOff.rect = RectF{420, 630, 600, 662};
    setWidgetText(closedOff.label, "DISABLED");
    closedOff.enabled = 0;
    UiDropdown open = rest;
    open.rect = RectF{620, 630, 800, 662};
    setWidgetText(open.label, "OPEN");
    dropdownClick(open, 630, 640);
    dropdownHover(open, 630, open.listRect.top + 2.5f * 28);
    drawDropdown(c, rest);
    drawDropdown(c, hovered);
    drawDropdown(c, closedOff);
    drawDropdown(c, open);

    // The larger dial.
    UiDial dial;
    dial.rect = RectF{210, 672, 410, 872};
    dial.value = 0.9f;
    setWidgetText(dial.caption, "MASTER");
    drawDial(c, dial);
    UiDial small = dial;
    small.rect = RectF{440, 700, 580, 840};
    small.value = 0.35f;
    setWidgetText(small.caption, "TRIM");
    drawDial(c, small);

    // The open list lies on top of everything.
    drawDropdownList(c, open);
    c.popTranslation();
}

}  // namespace
}  // namespace qv

int main(int argc, char** argv) {
    using namespace qv;
    const std::string out = argc > 1 ? argv[1] : "widget_gallery.png";
    if (!graphicsInit(GraphicsConfig{{}, kDefaultDpi})) {
        std::fprintf(stderr, "qv_widget_gallery: %s\n", lastGraphicsError().c_str());
        return 1;
    }
    if (privateFontFiles().empty())
        std::fprintf(stderr, "qv_widget_gallery: no private fonts found; system fonts are used\n");
    applyDensity(1);
    createTextFormats();
    createBrushes(0);
    int status = 0;
    {
        auto target = ImageTarget::create(static_cast<int>(2 * kPanelWidth), static_cast<int>(kPanelHeight));
        if (!target) {
            std::fprintf(stderr, "qv_widget_gallery: cannot allocate the image\n");
            return 1;
        }
        DrawContext& c = target->context();
        c.clear(rgb(16, 18, 22));
        drawPanel(c, 0, 0);
        drawPanel(c, kPanelWidth, kAccentPresetCount - 1);
        std::string error;
        if (!c.isHealthy() || !target->savePng(out, &error)) {
            std::fprintf(stderr, "qv_widget_gallery: %s\n", error.empty() ? "drawing failed" : error.c_str());
            status = 1;
        } else {
            std::printf("%s\n", out.c_str());
        }
    }
    releaseGuiResources();
    graphicsShutdown();
    return status;
}
