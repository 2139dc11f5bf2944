#include "platform/Keyboard.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

namespace qv {

namespace {

// True when this process may use the terminal on standard input: its process
// group is the terminal's foreground group, or the terminal is not the
// controlling terminal of this session (job control does not apply to it).
bool mayUseTerminal() {
    const pid_t foreground = ::tcgetpgrp(STDIN_FILENO);
    if (foreground < 0)
        return errno == ENOTTY;
    return foreground == ::getpgrp();
}

// Holds SIGTTIN and SIGTTOU back while the terminal is used, so a job sent to
// the background between the check and the call gets an error instead of
// being stopped.
class JobControlSignalsHeld {
public:
    JobControlSignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        sigaddset(&held, SIGTTIN);
        sigaddset(&held, SIGTTOU);
        pthread_sigmask(SIG_BLOCK, &held, &m_previous);
    }
    ~JobControlSignalsHeld() { pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
    JobControlSignalsHeld(const JobControlSignalsHeld&) = delete;
    JobControlSignalsHeld& operator=(const JobControlSignalsHeld&) = delete;

private:
    sigset_t m_previous;
};

}  // namespace

TerminalKeyboard::TerminalKeyboard() {
    if (::isatty(STDIN_FILENO) != 1)
        return;
    m_saved = new termios{};
    m_active = true;
    JobControlSignalsHeld held;
    if (mayUseTerminal())
        enterKeyMode();
}

TerminalKeyboard::~TerminalKeyboard() {
    if (m_changed) {
        // In the background the terminal belongs to another job (the shell
        // has put its own modes back): leave it alone.
        JobControlSignalsHeld held;
        if (mayUseTerminal())
            tcsetattr(STDIN_FILENO, TCSANOW, static_cast<termios*>(m_saved));
    }
    delete static_cast<termios*>(m_saved);
}

// Non-canonical input without echo. The modes found are the ones to restore;
// nothing is done while the terminal is already in key mode.
void TerminalKeyboard::enterKeyMode() {
    termios current{};
    if (tcgetattr(STDIN_FILENO, &current) != 0 || (current.c_lflag & (ICANON | ECHO)) == 0)
        return;
    termios raw = current;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0)
        return;
    *static_cast<termios*>(m_saved) = current;
    m_changed = true;
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
    {
        JobControlSignalsHeld held;
        if (!mayUseTerminal())
            return false;
        enterKeyMode();
        drain();
    }
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
