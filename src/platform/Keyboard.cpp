#include "platform/Keyboard.h"

#include <cctype>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace qv {

TerminalKeyboard::TerminalKeyboard() {
    if (::isatty(STDIN_FILENO) != 1)
        return;
    auto* saved = new termios{};
    if (tcgetattr(STDIN_FILENO, saved) != 0) {
        delete saved;
        return;
    }
    termios raw = *saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
        delete saved;
        return;
    }
    m_saved = saved;
    m_active = true;
}

TerminalKeyboard::~TerminalKeyboard() {
    if (m_saved) {
        tcsetattr(STDIN_FILENO, TCSANOW, static_cast<termios*>(m_saved));
        delete static_cast<termios*>(m_saved);
    }
}

void TerminalKeyboard::drain() {
    for (;;) {
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (::poll(&in, 1, 0) <= 0 || !(in.revents & POLLIN))
            return;
        char buffer[64];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i) {
            const int c = std::toupper(static_cast<unsigned char>(buffer[i]));
            if (c >= 'A' && c <= 'Z')
                ++m_pressed[c - 'A'];
        }
    }
}

bool TerminalKeyboard::isKeyDown(char key) {
    if (!m_active)
        return false;
    drain();
    const int c = std::toupper(static_cast<unsigned char>(key));
    if (c < 'A' || c > 'Z' || m_pressed[c - 'A'] == 0)
        return false;
    // A terminal reports presses, not state: one press reads as "down" for
    // one poll, so the next poll sees it released (one rising edge).
    --m_pressed[c - 'A'];
    return true;
}

bool CombinedKeyboard::isKeyDown(char key) {
    bool down = false;
    for (IKeyboard* keyboard : m_keyboards)
        down = keyboard->isKeyDown(key) || down;
    return down;
}

}  // namespace qv
