#include "app/ConsoleStatus.h"

#include "engines/ISimHapticEngine.h"
#include "platform/Output.h"

#include <string>

namespace qv {

void drawStatusLine(IConsole& console, int attribute, int row, std::string_view text) {
    console.setColor(attribute);
    console.setCursor(0, row);
    console.write(text);
    if (!console.isAttached()) {
        std::string line(text);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\n'))
            line.pop_back();
        while (!line.empty() && line.front() == '\n')
            line.erase(line.begin());
        outWrite(line + "\n");
    }
}

void drawWaitingLine(IConsole& console, const ISimHapticEngine& engine) {
    std::string text = "  Waiting for ";
    text += engine.displayName();
    text += " -- get into a session...         ";
    drawStatusLine(console, ConsoleAttr::kYellow, kWaitingRow, text);
}

void ConsoleFlash::update(IClock& clock, IConsole& console) {
    const uint64_t now = clock.nowMs();
    const uint64_t until = m_until.load();
    int attribute;
    int32_t newState;
    if (until > 0 && now < until) {
        if (m_on.load())
            return;
        attribute = ConsoleAttr::kFlash;
        newState = 1;
    } else {
        if (!m_on.load())
            return;
        attribute = ConsoleAttr::kNormal;
        newState = 0;
    }
    console.fillAttribute(attribute);
    m_on.exchange(newState);
}

}  // namespace qv
