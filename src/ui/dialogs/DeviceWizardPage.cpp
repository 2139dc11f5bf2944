// The device wizard's window side: layout (the hit rectangles), painting,
// mouse and keys. Sections: constants and helpers; layout; painting; input.

#include "ui/dialogs/DeviceWizard.h"

#include "platform/Window.h"
#include "platform/graphics/Graphics.h"
#include "ui/Appearance.h"
#include "ui/WidgetList.h"
#include "ui/WidgetPainters.h"

#include <algorithm>
#include <cstdio>

namespace qv {

namespace {

// ---- constants and helpers ------------------------------------------------

// The classes' names on this system, for the texts that name them.
constexpr const char* kProClassName = "JACK";
constexpr const char* kDirectClassName = "ALSA";

constexpr float kRowHeight = 28, kListTop = 96;
constexpr int kMaxVisibleRows = 5;
constexpr float kTestBlockHeight = 112, kTestBlockGap = 8;

int deviceCount(const WizardState& state) { return static_cast<int>(state.devices.size()); }

int clampIndex(int value, int count) { return count <= 0 ? 0 : std::clamp(value, 0, count - 1); }

const PhysicalDevice* deviceAt(const WizardState& state, int index) {
    const int count = deviceCount(state);
    return count == 0 ? nullptr : &state.devices[static_cast<size_t>(clampIndex(index, count))];
}

std::string deviceName(const WizardState& state, int which) {
    const PhysicalDevice* d = deviceAt(state, which == 1 ? state.device1 : state.device2);
    return d ? d->hardwareName : std::string("No device");
}

int largestChannels(const PhysicalDevice& device) {
    int most = 0;
    for (const DeviceInfo& v : device.apis)
        most = std::max(most, v.maxOutputChannels);
    return most;
}

const DeviceInfo* proVariant(const PhysicalDevice& device) {
    for (const DeviceInfo& v : device.apis) {
        if (isProVariant(v))
            return &v;
    }
    return nullptr;
}

bool bothOnProClass(const WizardState& state) {
    if (!state.useSecond || state.devices.empty())
        return false;
    const int count = deviceCount(state);
    if (clampIndex(state.device1, count) == clampIndex(state.device2, count))
        return false;  // one device chosen twice is one device
    const DeviceInfo* a = chosenVariant(state, 1);
    const DeviceInfo* b = chosenVariant(state, 2);
    return a && b && isProVariant(*a) && isProVariant(*b);
}

std::string format(const char* pattern, auto... args) {
    if constexpr (sizeof...(args) == 0) {
        return pattern;
    } else {
        char buffer[512];
        std::snprintf(buffer, sizeof buffer, pattern, args...);
        return buffer;
    }
}

void log(WizardState& state, const char* pattern, auto... args) {
    if (state.log)
        state.log->log("%s", format(pattern, args...).c_str());
}

void warn(WizardState& state, const char* title, const char* text) {
    if (state.services.showWarning)
        state.services.showWarning(title, text);
}

// Driver selector of device 1 or 2: its pro/direct variants, at most 8.
void layoutDriverSelector(const WizardState& state, int which, UiSegmented& selector) {
    const PhysicalDevice* d = deviceAt(state, which == 1 ? state.device1 : state.device2);
    selector.count = 0;
    if (!d)
        return;
    const std::vector<int> variants = listWizardVariants(*d);
    const int apiSel = which == 1 ? state.apiSel1 : state.apiSel2;
    const int current = clampIndex(apiSel, static_cast<int>(d->apis.size()));
    int selected = 0;
    const int n = std::min(static_cast<int>(variants.size()), kSegmentedMaxLabels);
    for (int i = 0; i < n; ++i) {
        setWidgetText(selector.labels[i], d->apis[static_cast<size_t>(variants[static_cast<size_t>(i)])].hostApiName.c_str());
        if (variants[static_cast<size_t>(i)] == current)
            selected = i;
    }
    selector.count = n;
    selector.selected = selected;
}

void layoutBufferSelector(const WizardState& state, int which, UiSegmented& selector) {
    const DeviceInfo* v = chosenVariant(state, which);
    const int bufSel = std::clamp(which == 1 ? state.bufSel1 : state.bufSel2, 0, kWizardBufferSizeCount - 1);
    const bool pro = v && isProVariant(*v);
    const int first = pro ? 0 : 2;
    selector.count = kWizardBufferSizeCount - first;
    for (int i = 0; i < selector.count; ++i)
        setWidgetText(selector.labels[i], std::to_string(kWizardBufferSizes[first + i]).c_str());
    selector.selected = pro ? bufSel : std::max(bufSel - 2, 0);
}

// Height of a step-1 block of device 1 or 2 from its top.
float blockHeight(const WizardState& state, int which) {
    const PhysicalDevice* d = deviceAt(state, which == 1 ? state.device1 : state.device2);
    const bool driver = d && listWizardVariants(*d).size() > 1;
    return 28 + (driver ? 54.0f : 0.0f) + 24 + 54 + 22;
}

void setButton(UiButton& button, const RectF& rect, const char* label, uint8_t style = kButtonPlain) {
    button.rect = rect;
    setWidgetText(button.label, label);
    button.style = style;
}

}  // namespace

// ---- layout ------------------------------------------------------------------

void layoutWizard(WizardState& state, float width, float height) {
    const float s = dpiScale();
    WizardLayout& L = state.layout;
    L = WizardLayout{};
    L.s = s;
    const float w = width > 0 ? width : kWizardWidth * s;
    const float h = height > 0 ? height : kWizardHeight * s;
    const int count = deviceCount(state);

    // Footer.
    const float footerY = h - 44 * s;
    setButton(state.back, {24 * s, footerY, 124 * s, footerY + 32 * s}, "Back");
    state.back.enabled = state.step > 0;
    const RectF primary{w - 124 * s, footerY, w - 24 * s, footerY + 32 * s};
    setButton(state.next, primary, state.step == 2 ? "Apply" : "Next", kButtonPrimary);
    state.next.enabled = state.step == 2 || count > 0;
    setButton(state.close, {primary.left - 108 * s, footerY, primary.left - 8 * s, footerY + 32 * s}, "Close");

    if (state.step == 0) {
        L.visibleRows = std::clamp(count, 1, kMaxVisibleRows);
        L.list1 = {24 * s, kListTop * s, w - 24 * s, (kListTop + L.visibleRows * kRowHeight) * s};
        L.toggle = {24 * s, L.list1.bottom + 8 * s, w - 24 * s, L.list1.bottom + 36 * s};
        state.secondChoices = secondInterfaceChoices(state);
        const int choices = static_cast<int>(state.secondChoices.size());
        L.visibleRows2 = std::clamp(choices, 1, kMaxVisibleRows);
        state.scroll2 = std::clamp(state.scroll2, 0, std::max(choices - kMaxVisibleRows, 0));
        if (state.useSecond && count > 0)
            L.list2 = {24 * s, L.toggle.top + 56 * s, w - 24 * s, L.toggle.top + (56 + L.visibleRows2 * kRowHeight) * s};
        setButton(state.lookAgain, {24 * s, L.toggle.top + 48 * s, 164 * s, L.toggle.top + 80 * s}, "Look again");
        state.lookAgain.enabled = count == 0;
    } else if (state.step == 1) {
        float y = 96 * s;
        for (int which = 1; which <= (state.useSecond ? 2 : 1); ++which) {
            L.blockTop[which - 1] = y;
            UiSegmented& driver = which == 1 ? state.driver1 : state.driver2;
            UiSegmented& buffer = which == 1 ? state.buffer1 : state.buffer2;
            layoutDriverSelector(state, which, driver);
            layoutBufferSelector(state, which, buffer);
            float row = y + 28 * s;
            if (driver.count > 1) {
                driver.rect = {24 * s, row + 18 * s, 24 * s + driver.count * 90 * s, row + 46 * s};
                row += 54 * s;
            } else {
                driver.rect = {};
            }
            row += 24 * s;
            buffer.rect = {24 * s, row + 18 * s, 24 * s + buffer.count * 70 * s, row + 46 * s};
            y += blockHeight(state, which) * s + 16 * s;
        }
    } else {
        // The channel counts the restarted audio really opened.
        const HapticSettings settings = state.services.settings->snapshot();
        if (settings.devices[0].channels > 0)
            state.channelsOf[0] = settings.devices[0].channels;
        if (state.useSecond && settings.devices[1].channels > 0)
            state.channelsOf[1] = settings.devices[1].channels;
        if (state.troubleshooter) {
            UiSegmented& c = state.troubleChannels;
            c.count = kTroubleshooterChannelCount;
            for (int i = 0; i < c.count; ++i)
                setWidgetText(c.labels[i], std::to_string(kTroubleshooterChannels[i]).c_str());
            c.rect = {24 * s, 200 * s, 264 * s, 228 * s};
            setButton(state.troubleTest, {24 * s, 232 * s, 144 * s, 264 * s},
                      state.testMarker == kTroubleshooterTestMarker ? "TESTING" : "HOLD TEST", kButtonPrimary);
            setButton(state.troubleUse, {24 * s, 276 * s, 164 * s, 306 * s}, "Use this setting");
            setButton(state.troubleBack, {172 * s, 276 * s, 252 * s, 306 * s}, "Back");
            L.statusTop = 320 * s;
        } else {
            L.warning = bothOnProClass(state);
            float top = (L.warning ? 168 : 128) * s;
            const int blocks = state.useSecond ? 2 : 1;
            for (int i = 0; i < blocks; ++i) {
                L.blockTop[i] = top;
                const int channels = state.channelsOf[i] > 0 ? state.channelsOf[i] : 2;
                L.channelCount[i] = std::min(channels, 8);
                setButton(state.testAll[i], {24 * s, top + 22 * s, w - 24 * s, top + 52 * s},
                          state.testMarker == i && state.testChannel < 0 ? "TESTING ALL" : "HOLD TO TEST ALL CHANNELS");
                for (int j = 0; j < L.channelCount[i]; ++j) {
                    const float x = (24 + j * 40) * s;
                    setButton(state.channelButtons[i][j], {x, top + 76 * s, x + 36 * s, top + 100 * s},
                              std::to_string(j + 1).c_str(),
                              state.testMarker == i && state.testChannel == j ? kButtonPrimary : kButtonPlain);
                }
                top += (kTestBlockHeight + kTestBlockGap) * s;
            }
            L.link = {24 * s, top, 24 * s + 380 * s, top + 20 * s};
            L.statusTop = L.link.bottom + 12 * s;
        }
    }
}

// ---- painting ----------------------------------------------------------------

namespace {

void text(DrawContext& c, int format, const std::string& value, const RectF& rect, int brush,
          TextAlignment align = TextAlignment::Leading, ParagraphAlignment para = ParagraphAlignment::Center) {
    drawTextUtf8(&c, guiTextFormat(format), value.c_str(), rect, guiBrush(brush), align, para);
}

void paintStepIndicator(DrawContext& c, const WizardState& state, float w) {
    const float s = state.layout.s;
    const float column = (w - 48 * s) / 3;
    const float y = 18 * s;
    const auto centre = [&](int i) { return 24 * s + column * (i + 0.5f); };
    for (int i = 0; i < 2; ++i) {
        const int brush = i < state.step ? kBrushAccent : kBrushLineBright;
        c.drawLine({centre(i) + 10 * s, y}, {centre(i + 1) - 10 * s, y}, guiBrush(brush), 2 * s);
    }
    for (int i = 0; i < 3; ++i) {
        const PointF p{centre(i), y};
        const std::string number = std::to_string(i + 1);
        if (i == state.step) {
            c.fillEllipse(p, 10 * s, 10 * s, guiBrush(kBrushAccent));
            text(c, kFormatSmall, number, {p.x - 10 * s, y - 10 * s, p.x + 10 * s, y + 10 * s}, accentLabelBrush(),
                 TextAlignment::Center);
        } else if (i < state.step) {
            c.fillEllipse(p, 7 * s, 7 * s, guiBrush(kBrushAccent));
            c.beginPath();
            c.moveTo({p.x - 3.5f * s, y});
            c.lineTo({p.x - 1 * s, y + 2.5f * s});
            c.lineTo({p.x + 3.5f * s, y - 2.5f * s});
            c.strokePath(guiBrush(accentLabelBrush()), 1.6f * s, LineCap::Round);
        } else {
            c.fillEllipse(p, 7 * s, 7 * s, guiBrush(kBrushHover));
            text(c, kFormatCaption, number, {p.x - 7 * s, y - 7 * s, p.x + 7 * s, y + 7 * s}, kBrushText55,
                 TextAlignment::Center);
        }
    }
    text(c, kFormatSectionTitle, kWizardSteps[std::clamp(state.step, 0, 2)], {0, 38 * s, w, 62 * s}, kBrushText,
         TextAlignment::Center);
}

// `rows` holds the listed devices (indices into devices), `visibleRows` how
// many rows the box shows; `selected` and `hover` are device indices.
void paintDeviceList(DrawContext& c, const WizardState& state, const RectF& box, const std::vector<int>* rows,
                     int visibleRows, int selected, int hover, int scroll) {
    const float s = state.layout.s;
    fillRoundedRect(&c, box, 6 * s, guiBrush(kBrushSurface));
    drawRoundedRect(&c, box, 6 * s, guiBrush(kBrushLine), 1);
    const int count = rows ? static_cast<int>(rows->size()) : deviceCount(state);
    if (count == 0) {
        text(c, kFormatControl, "No devices found", {box.left + 10 * s, box.top, box.right - 10 * s, box.bottom},
             kBrushText55);
        return;
    }
    const float row = kRowHeight * s;
    const bool scrolling = count > kMaxVisibleRows;
    const float right = scrolling ? box.right - 8 * s : box.right;
    for (int r = 0; r < visibleRows; ++r) {
        const int position = r + scroll;
        if (position >= count)
            break;
        const int index = rows ? (*rows)[static_cast<size_t>(position)] : position;
        const PhysicalDevice& d = state.devices[static_cast<size_t>(index)];
        const RectF cell{box.left + 1, box.top + r * row, right - 1, box.top + (r + 1) * row};
        if (index == selected)
            c.fillRect(cell, guiBrush(kBrushAccentShade2));
        else if (index == hover)
            c.fillRect(cell, guiBrush(kBrushHover));
        const int nameBrush = index == selected || index == hover ? kBrushText : kBrushText78;
        text(c, kFormatControl, d.hardwareName, {cell.left + 10 * s, cell.top, cell.right - 120 * s, cell.bottom},
             nameBrush);
        text(c, kFormatSmall, format("%dch", largestChannels(d)),
             {cell.right - 110 * s, cell.top, cell.right - 64 * s, cell.bottom}, kBrushText55, TextAlignment::Trailing);
        if (const DeviceInfo* pro = proVariant(d)) {
            const RectF badge{cell.right - 56 * s, cell.top + 6 * s, cell.right - 10 * s, cell.bottom - 6 * s};
            fillRoundedRect(&c, badge, 4 * s, guiBrush(kBrushAccent));
            text(c, kFormatCaption, pro->hostApiName, badge, accentLabelBrush(), TextAlignment::Center);
        }
    }
    if (scrolling) {
        const float listHeight = box.height();
        const float thumb = std::max(listHeight * kMaxVisibleRows / count, 12 * s);
        const float offset = (listHeight - thumb) * scroll / (count - kMaxVisibleRows);
        fillRoundedRect(&c, {box.right - 6 * s, box.top + offset, box.right - 2 * s, box.top + offset + thumb}, 2 * s,
                        guiBrush(kBrushLineBright));
    }
}

void paintStep0(DrawContext& c, const WizardState& state, float w) {
    const float s = state.layout.s;
    const WizardLayout& L = state.layout;
    text(c, kFormatControl, "Select Audio Interface", {24 * s, 70 * s, w - 24 * s, 92 * s}, kBrushText78);
    paintDeviceList(c, state, L.list1, nullptr, L.visibleRows, state.device1, state.hoverRow1, state.scroll1);
    if (state.devices.empty()) {
        text(c, kFormatSmall,
             format("Start the audio server (%s) or plug in the interface,\nthen look again.", kProClassName),
             {24 * s, L.toggle.top, w - 24 * s, L.toggle.top + 40 * s}, kBrushText55, TextAlignment::Leading,
             ParagraphAlignment::Near);
        drawButton(c, state.lookAgain);
        return;
    }
    const RectF& t = L.toggle;
    if (state.toggleHover)
        fillRoundedRect(&c, t, 6 * s, guiBrush(kBrushHover));
    drawRoundedRect(&c, t, 6 * s, guiBrush(kBrushLine), 1);
    text(c, kFormatControl,
         state.useSecond ? "+ Second interface: ON  (click to remove)" : "+ Add a second audio interface",
         {t.left + 10 * s, t.top, t.right - 10 * s, t.bottom}, state.useSecond ? kBrushAccent : kBrushText78);
    if (state.useSecond) {
        text(c, kFormatSmall, "Second Audio Interface", {24 * s, t.bottom + 4 * s, w - 24 * s, L.list2.top - 2 * s},
             kBrushText55);
        paintDeviceList(c, state, L.list2, &state.secondChoices, L.visibleRows2, state.device2, state.hoverRow2,
                        state.scroll2);
    } else if (state.secondRefused) {
        text(c, kFormatSmall, noSecondInterfaceReason(state), {24 * s, t.bottom + 6 * s, w - 24 * s, t.bottom + 40 * s},
             kBrushText78, TextAlignment::Leading, ParagraphAlignment::Near);
    }
}

void paintStep1Block(DrawContext& c, const WizardState& state, int which, float w) {
    const float s = state.layout.s;
    const float top = state.layout.blockTop[which - 1];
    const std::string heading = state.useSecond ? format("Device %d: %s", which, deviceName(state, which).c_str())
                                                : std::string("Audio Output");
    text(c, kFormatSectionTitle, heading, {24 * s, top, w - 24 * s, top + 22 * s}, kBrushText);
    const UiSegmented& driver = which == 1 ? state.driver1 : state.driver2;
    const UiSegmented& buffer = which == 1 ? state.buffer1 : state.buffer2;
    float y = top + 28 * s;
    if (driver.count > 1) {
        text(c, kFormatSmall, "Audio Driver", {24 * s, y, w - 24 * s, y + 16 * s}, kBrushText38);
        drawSegmented(c, driver);
        y += 54 * s;
    }
    const DeviceInfo* v = chosenVariant(state, which);
    text(c, kFormatSmall, format("Channels: %d (auto-detected from device)", v ? v->maxOutputChannels : 0),
         {24 * s, y, w - 24 * s, y + 18 * s}, kBrushText78);
    y += 24 * s;
    // jackd sets the buffer size itself; PipeWire grants the size asked for
    // (within its limits), so there the list applies and the page says what
    // was granted.
    const bool serverSets = v && isProVariant(*v) && v->hostApiName == kProClassName && !v->serverTakesRequest;
    const bool serverGrants = v && v->serverTakesRequest && v->serverBufferFrames > 0;
    text(c, kFormatSmall,
         serverSets ? format("Buffer Size (the list applies to %s devices)", kDirectClassName) : std::string("Buffer Size"),
         {24 * s, y, w - 24 * s, y + 16 * s}, kBrushText38);
    drawSegmented(c, buffer);
    y += 54 * s;
    const int bufSel = std::clamp(which == 1 ? state.bufSel1 : state.bufSel2, 0, kWizardBufferSizeCount - 1);
    std::string latency;
    if (serverSets && v->serverBufferFrames > 0)
        latency = format("The %s server sets the buffer size: %d samples, %.1fms output latency", kProClassName,
                         v->serverBufferFrames, v->serverLatencyMs);
    else if (serverSets)
        latency = format("The %s server sets the buffer size", kProClassName);
    else if (serverGrants)
        latency = format("Estimated latency: %.1fms at 48kHz; the server granted %d samples, %.1fms",
                         kWizardBufferSizes[bufSel] / 48.0, v->serverBufferFrames, v->serverLatencyMs);
    else
        latency = format("Estimated latency: %.1fms at 48kHz", kWizardBufferSizes[bufSel] / 48.0);
    text(c, kFormatSmall, latency, {24 * s, y, w - 24 * s, y + 18 * s}, kBrushText55);
}

void paintStep1(DrawContext& c, const WizardState& state, float w) {
    const float s = state.layout.s;
    paintStep1Block(c, state, 1, w);
    if (state.useSecond) {
        const float line = state.layout.blockTop[1] - 8 * s;
        c.drawLine({24 * s, line}, {w - 24 * s, line}, guiBrush(kBrushLine), 1);
        paintStep1Block(c, state, 2, w);
    } else {
        const float y = state.layout.blockTop[0] + (blockHeight(state, 1) + 12) * s;
        text(c, kFormatSmall, "Lower buffer = lower latency. Use the smallest buffer\nyour system handles without glitches.",
             {24 * s, y, w - 24 * s, y + 36 * s}, kBrushText38, TextAlignment::Leading, ParagraphAlignment::Near);
    }
}

void paintRestartStatus(DrawContext& c, const WizardState& state, float w) {
    const float s = state.layout.s;
    std::string status;
    const std::string name = deviceName(state, 1);
    switch (state.restart) {
    case RestartState::Pending: status = format("Waiting for the audio system to open %s...", name.c_str()); break;
    case RestartState::Opening: status = format("Opening %s...", name.c_str()); break;
    case RestartState::Failed:
        status = format("%s did not open. Check that it is connected and not in use.", name.c_str());
        break;
    default: return;
    }
    const float y = state.layout.statusTop;
    text(c, kFormatSmall, status, {24 * s, y, w - 24 * s, y + 18 * s},
         state.restart == RestartState::Failed ? kBrushAccent : kBrushText78);
}

void paintStep2(DrawContext& c, const WizardState& state, float w) {
    const float s = state.layout.s;
    const WizardLayout& L = state.layout;
    if (state.troubleshooter) {
        text(c, kFormatSectionTitle, "Channel Troubleshooter", {24 * s, 96 * s, w - 24 * s, 118 * s}, kBrushText);
        text(c, kFormatControl,
             format("Device %d:  %s", state.troubleshooterDevice + 1,
                    deviceName(state, state.troubleshooterDevice == 0 ? 1 : 2).c_str()),
             {24 * s, 120 * s, w - 24 * s, 140 * s}, kBrushText78);
        text(c, kFormatSmall, "Select a channel count and test. Some devices need\nfewer channels to work correctly.",
             {24 * s, 144 * s, w - 24 * s, 178 * s}, kBrushText55, TextAlignment::Leading, ParagraphAlignment::Near);
        text(c, kFormatSmall, "Output Channels", {24 * s, 182 * s, w - 24 * s, 198 * s}, kBrushText38);
        drawSegmented(c, state.troubleChannels);
        drawButton(c, state.troubleTest);
        drawButton(c, state.troubleUse);
        drawButton(c, state.troubleBack);
        paintRestartStatus(c, state, w);
        return;
    }
    text(c, kFormatSmall, "Hold buttons to test output. Use channel buttons to identify wiring.",
         {24 * s, 96 * s, w - 24 * s, 116 * s}, kBrushText78);
    if (L.warning) {
        text(c, kFormatSmall,
             format("Warning: both devices are %s. Switch one to %s.", kProClassName, kDirectClassName),
             {24 * s, 132 * s, w - 24 * s, 152 * s}, kBrushAccent);
    }
    for (int i = 0; i < (state.useSecond ? 2 : 1); ++i) {
        const float top = L.blockTop[i];
        const int channels = state.channelsOf[i] > 0 ? state.channelsOf[i] : 2;
        text(c, kFormatControl, format("Device %d:  %s  (%dch)", i + 1, deviceName(state, i + 1).c_str(), channels),
             {24 * s, top, w - 24 * s, top + 20 * s}, kBrushText);
        drawButton(c, state.testAll[i]);
        text(c, kFormatSmall, "Test individual channels:", {24 * s, top + 56 * s, w - 24 * s, top + 74 * s},
             kBrushText38);
        for (int j = 0; j < L.channelCount[i]; ++j)
            drawButton(c, state.channelButtons[i][j]);
    }
    text(c, kFormatSmall, "Test not working?  Try a different channel count >", L.link,
         state.linkHover ? kBrushAccent : kBrushText55);
    paintRestartStatus(c, state, w);
}

}  // namespace

void wizardPaint(DrawContext& context, float width, float height, void* user) {
    auto* state = static_cast<WizardState*>(user);
    if (!state)
        return;
    state->width = width;
    state->height = height;
    layoutWizard(*state, width, height);
    const float s = state->layout.s;
    paintStepIndicator(context, *state, width);
    if (state->step == 0)
        paintStep0(context, *state, width);
    else if (state->step == 1)
        paintStep1(context, *state, width);
    else
        paintStep2(context, *state, width);
    const float line = height - 56 * s;
    context.drawLine({0, line}, {width, line}, guiBrush(kBrushLine), 1);
    if (state->step > 0)
        drawButton(context, state->back);
    drawButton(context, state->close);
    drawButton(context, state->next);
}

// ---- input -------------------------------------------------------------------

namespace {

void closeWith(WizardState& state, int code) {
    if (state.services.closeDialog)
        state.services.closeDialog(code);
}

void capture(WizardState& state, bool on) {
    if (state.captured == on)
        return;
    state.captured = on;
    if (state.services.setCapture)
        state.services.setCapture(on);
}

int rowAt(const RectF& list, float y, float s, int scroll) {
    return static_cast<int>((y - list.top) / (kRowHeight * s)) + scroll;
}

// After device 1 changed: a second interface that can no longer play beside
// it gives way to one that can, or is removed (and step 0 says why).
void keepSecondBesideFirst(WizardState& state) {
    if (!state.useSecond)
        return;
    const std::vector<int> choices = secondInterfaceChoices(state);
    if (std::find(choices.begin(), choices.end(), state.device2) != choices.end()) {
        chooseSecondDevice(state, state.device2);
        return;
    }
    if (!choices.empty()) {
        chooseSecondDevice(state, choices.front());
        log(state, "Step1: device2 idx=%d", state.device2);
        return;
    }
    state.useSecond = false;
    state.secondRefused = true;
    log(state, "Step1: no second interface: %s", noSecondInterfaceReason(state).c_str());
}

bool pressStep0(WizardState& state, float x, float y) {
    const WizardLayout& L = state.layout;
    const int count = deviceCount(state);
    if (count == 0) {
        if (pointInRect(state.lookAgain.rect, x, y)) {
            lookForDevicesAgain(state);
            return true;
        }
        return false;
    }
    if (pointInRect(L.list1, x, y)) {
        const int index = rowAt(L.list1, y, L.s, state.scroll1);
        if (index < count && index != state.device1) {
            state.device1 = index;
            state.apiSel1 = 0;
            const auto& apis = state.devices[static_cast<size_t>(index)].apis;
            state.bufSel1 = apis.empty() ? 3 : initialBufferSelection(apis[0], -1);
            log(state, "Step1: device idx=%d \"%s\"", index, state.devices[static_cast<size_t>(index)].hardwareName.c_str());
            state.secondRefused = false;
            keepSecondBesideFirst(state);
            return true;
        }
        return false;
    }
    if (pointInRect(L.toggle, x, y)) {
        if (state.useSecond) {
            state.useSecond = false;
        } else {
            const std::vector<int> choices = secondInterfaceChoices(state);
            state.secondRefused = choices.empty();
            if (state.secondRefused) {
                log(state, "Step1: no second interface: %s", noSecondInterfaceReason(state).c_str());
                return true;
            }
            // The next device after the first that can play beside it.
            const auto after = std::find_if(choices.begin(), choices.end(), [&](int i) { return i > state.device1; });
            chooseSecondDevice(state, after != choices.end() ? *after : choices.front());
            state.useSecond = true;
        }
        log(state, "Step1: useSecondDevice=%s", state.useSecond ? "true" : "false");
        return true;
    }
    if (state.useSecond && pointInRect(L.list2, x, y)) {
        const int row = rowAt(L.list2, y, L.s, state.scroll2);
        const int choices = static_cast<int>(state.secondChoices.size());
        const int index = row < choices ? state.secondChoices[static_cast<size_t>(row)] : -1;
        if (index >= 0 && index != state.device2) {
            chooseSecondDevice(state, index);
            log(state, "Step1: device2 idx=%d", index);
            return true;
        }
    }
    return false;
}

bool pressStep1(WizardState& state, float x, float y) {
    for (int which = 1; which <= (state.useSecond ? 2 : 1); ++which) {
        UiSegmented& driver = which == 1 ? state.driver1 : state.driver2;
        UiSegmented& buffer = which == 1 ? state.buffer1 : state.buffer2;
        int& apiSel = which == 1 ? state.apiSel1 : state.apiSel2;
        int& bufSel = which == 1 ? state.bufSel1 : state.bufSel2;
        if (driver.count > 1 && segmentedClick(driver, x, y) == kWidgetChanged) {
            const PhysicalDevice* d = deviceAt(state, which == 1 ? state.device1 : state.device2);
            const std::vector<int> variants = listWizardVariants(*d);
            apiSel = variants[static_cast<size_t>(std::clamp(driver.selected, 0, static_cast<int>(variants.size()) - 1))];
            const DeviceInfo& v = d->apis[static_cast<size_t>(apiSel)];
            bufSel = initialBufferSelection(v, -1);
            if (which == 1)
                log(state, "Step2: API -> %s, bufSel=%d", v.hostApiName.c_str(), bufSel);
            return true;
        }
        if (segmentedClick(buffer, x, y) == kWidgetChanged) {
            const DeviceInfo* v = chosenVariant(state, which);
            const bool pro = v && isProVariant(*v);
            bufSel = std::clamp(pro ? buffer.selected : buffer.selected + 2, 0, kWizardBufferSizeCount - 1);
            if (which == 1)
                log(state, "Step2: bufSel=%d (%d)", bufSel, kWizardBufferSizes[bufSel]);
            if (!pro && kWizardBufferSizes[bufSel] == 256)
                warn(state, "Low Buffer Warning",
                     "Most standard sound cards will distort at 256 samples.\n\nUse the Test button on the next step "
                     "to check.");
            return true;
        }
    }
    return false;
}

int troubleshooterCount(const WizardState& state) {
    return kTroubleshooterChannels[std::clamp(state.troubleChannels.selected, 0, kTroubleshooterChannelCount - 1)];
}

bool pressStep2(WizardState& state, float x, float y) {
    if (state.troubleshooter) {
        if (segmentedClick(state.troubleChannels, x, y) == kWidgetChanged) {
            log(state, "Troubleshooter: ch sel=%d", state.troubleChannels.selected);
            return true;
        }
        const int ch = troubleshooterCount(state);
        if (pointInRect(state.troubleTest.rect, x, y)) {
            stopTestTone(state);
            log(state, "Troubleshooter: re-open with %dch", ch);
            previewApply(state, ch);
            state.channelsOf[state.troubleshooterDevice] = ch;
            state.testMarker = kTroubleshooterTestMarker;
            startWizardTone(state, -1, state.troubleshooterDevice);
            capture(state, true);
            return true;
        }
        if (pointInRect(state.troubleUse.rect, x, y)) {
            log(state, "Troubleshooter: accept %dch", ch);
            previewApply(state, ch);
            state.channelsOf[state.troubleshooterDevice] = ch;
            state.troubleshooter = false;
            return true;
        }
        if (pointInRect(state.troubleBack.rect, x, y)) {
            log(state, "Troubleshooter: back to auto");
            previewApply(state, 0);
            state.troubleshooter = false;
            return true;
        }
        return false;
    }
    for (int i = 0; i < (state.useSecond ? 2 : 1); ++i) {
        for (int j = 0; j < state.layout.channelCount[i]; ++j) {
            if (pointInRect(state.channelButtons[i][j].rect, x, y)) {
                stopTestTone(state);
                state.testMarker = i;
                state.testChannel = j;
                log(state, "Step3: test ch %d on device %d", j + 1, i);
                startWizardTone(state, j, i);
                capture(state, true);
                return true;
            }
        }
        if (pointInRect(state.testAll[i].rect, x, y)) {
            stopTestTone(state);
            state.testMarker = i;
            state.testChannel = -1;
            log(state, "Step3: test ALL on device %d", i);
            startWizardTone(state, -1, i);
            capture(state, true);
            return true;
        }
    }
    if (pointInRect(state.layout.link, x, y)) {
        state.troubleshooter = true;
        state.troubleshooterDevice = 0;
        state.troubleChannels.selected = 1;
        log(state, "Step3: entering troubleshooter");
        return true;
    }
    return false;
}

// The footer's buttons act on the press.
bool pressFooter(WizardState& state, float x, float y) {
    if (state.step > 0 && pointInRect(state.back.rect, x, y)) {
        log(state, "Nav: Back (step %d -> %d)", state.step, state.step - 1);
        stopTestTone(state);
        state.step -= 1;
        state.troubleshooter = false;
        return true;
    }
    if (pointInRect(state.next.rect, x, y)) {
        if (state.step == 2) {
            applyWizard(state);
            closeWith(state, 1);
            return true;
        }
        if (state.devices.empty())
            return false;
        if (bothOnProClass(state)) {
            log(state, "BLOCKED: dual-%s conflict", kProClassName);
            warn(state, format("%s Conflict", kProClassName).c_str(),
                 format("Only one %s device can be active at a time.\n\nPlease select %s for the second interface,\n"
                        "or remove the second device.",
                        kProClassName, kDirectClassName)
                     .c_str());
            return true;
        }
        log(state, "Nav: Next (step %d -> %d)", state.step, state.step + 1);
        if (state.step == 1)
            previewApply(state, 0);
        state.step += 1;
        return true;
    }
    if (pointInRect(state.close.rect, x, y)) {
        log(state, "Nav: Close (step %d)", state.step);
        closeWith(state, 0);
        return true;
    }
    return false;
}

bool hover(WizardState& state, float x, float y) {
    const WizardLayout& L = state.layout;
    // The page's kit widgets follow the pointer; what a page does not show
    // gets nothing. Their presses act at once (pressFooter, pressStep*).
    const bool troubleshooting = state.step >= 2 && state.troubleshooter;
    const bool channels = state.step >= 2 && !state.troubleshooter;
    WidgetList widgets;
    widgets.add(state.back, kNoWidget);
    widgets.add(state.next, kNoWidget);
    widgets.add(state.close, kNoWidget);
    widgets.add(state.lookAgain, kNoWidget, state.step == 0);
    widgets.add(state.driver1, kNoWidget, state.step == 1);
    widgets.add(state.buffer1, kNoWidget, state.step == 1);
    widgets.add(state.driver2, kNoWidget, state.step == 1 && state.useSecond);
    widgets.add(state.buffer2, kNoWidget, state.step == 1 && state.useSecond);
    widgets.add(state.troubleChannels, kNoWidget, troubleshooting);
    widgets.add(state.troubleTest, kNoWidget, troubleshooting);
    widgets.add(state.troubleUse, kNoWidget, troubleshooting);
    widgets.add(state.troubleBack, kNoWidget, troubleshooting);
    for (int i = 0; i < 2; ++i) {
        const bool shown = channels && (i == 0 || state.useSecond);
        widgets.add(state.testAll[i], kNoWidget, shown);
        for (int j = 0; j < 8; ++j)
            widgets.add(state.channelButtons[i][j], kNoWidget, shown && j < L.channelCount[i]);
    }
    bool changed = routeWidgetMouse(widgets, kWmMouseMove, x, y).repaint;
    const auto setFlag = [&](auto& flag, auto value) {
        if (flag != value) {
            flag = value;
            changed = true;
        }
    };
    if (state.step == 0) {
        const int count = deviceCount(state);
        const auto rowUnder = [&](const RectF& list, int scroll, const std::vector<int>* rows) {
            const int listed = rows ? static_cast<int>(rows->size()) : count;
            if (listed == 0 || !pointInRect(list, x, y))
                return -1;
            const int position = rowAt(list, y, L.s, scroll);
            if (position >= listed)
                return -1;
            return rows ? (*rows)[static_cast<size_t>(position)] : position;
        };
        setFlag(state.hoverRow1, rowUnder(L.list1, state.scroll1, nullptr));
        setFlag(state.hoverRow2, state.useSecond ? rowUnder(L.list2, state.scroll2, &state.secondChoices) : -1);
        setFlag(state.toggleHover, count > 0 && pointInRect(L.toggle, x, y));
    } else if (channels) {
        setFlag(state.linkHover, pointInRect(L.link, x, y));
    }
    return changed;
}

bool wheel(WizardState& state, float x, float y, int delta) {
    if (state.step != 0)
        return false;
    const int notches = delta / 120;
    int* scroll = nullptr;
    int listed = 0;
    if (pointInRect(state.layout.list1, x, y)) {
        scroll = &state.scroll1;
        listed = deviceCount(state);
    } else if (state.useSecond && pointInRect(state.layout.list2, x, y)) {
        scroll = &state.scroll2;
        listed = static_cast<int>(state.secondChoices.size());
    }
    if (!scroll || notches == 0 || listed <= kMaxVisibleRows)
        return false;
    const int most = listed - kMaxVisibleRows;
    const int moved = std::clamp(*scroll - notches, 0, most);
    if (moved == *scroll)
        return false;
    *scroll = moved;
    return true;
}

}  // namespace

bool wizardMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user) {
    auto* state = static_cast<WizardState*>(user);
    if (!state)
        return false;
    layoutWizard(*state, state->width, state->height);
    switch (message) {
    case kWmMouseMove: return hover(*state, x, y);
    case kWmLButtonDown:
    case kWmLButtonDblClk: {
        // The second click of a quick pair arrives as a double click: it is
        // a press like any other (Next, Next).
        if (pressFooter(*state, x, y))
            return true;
        if (state->step == 0)
            return pressStep0(*state, x, y);
        if (state->step == 1)
            return pressStep1(*state, x, y);
        return pressStep2(*state, x, y);
    }
    case kWmLButtonUp:
        if (state->testMarker >= 0) {
            log(*state, "Step3: test tone STOP");
            stopTestTone(*state);
            capture(*state, false);
            return true;
        }
        capture(*state, false);
        return false;
    case kWmMouseWheel: return wheel(*state, x, y, wheelDelta(wParam));
    default: return false;
    }
}

bool wizardKey(uint32_t message, uintptr_t wParam, intptr_t, void* user) {
    auto* state = static_cast<WizardState*>(user);
    if (!state || message != kWmKeyDown || wParam != static_cast<uintptr_t>(kVkEscape))
        return false;
    log(*state, "Nav: Escape (step %d)", state->step);
    closeWith(*state, 0);
    return false;
}

}  // namespace qv
