#pragma once
// Key state polled by the run loop (the suspension logger's L key).

#include <utility>
#include <vector>

namespace qv {

class IKeyboard {
public:
    virtual ~IKeyboard() = default;
    // True while the key (an upper-case letter) is down, or when it was
    // pressed since the previous poll.
    virtual bool isKeyDown(char key) = 0;
};

// Keys typed into the controlling terminal. The terminal is switched to
// non-canonical input without echo while this object lives (only when
// standard input is a terminal); Ctrl+C still raises SIGINT.
//
// Only a foreground job touches the terminal: a background job that read it
// or changed its modes would be stopped by it (SIGTTIN, SIGTTOU). Started
// with "&", the program runs without keys until it is brought to the
// foreground, and it sets its modes again when the shell reset them after a
// stop (Ctrl+Z, then fg).
class TerminalKeyboard : public IKeyboard {
public:
    TerminalKeyboard();
    ~TerminalKeyboard() override;
    TerminalKeyboard(const TerminalKeyboard&) = delete;
    TerminalKeyboard& operator=(const TerminalKeyboard&) = delete;

    bool isKeyDown(char key) override;

private:
    void enterKeyMode();
    void drain();

    bool m_active = false;
    bool m_changed = false;  // the modes in m_saved are to be restored
    unsigned m_pressed[26] = {};
    void* m_saved = nullptr;  // the terminal settings to restore
};

// Several keyboards read as one: a key is down when any of them reports it.
// Every keyboard is polled on every call (a terminal keyboard consumes its
// presses when polled). The keyboards must outlive this object.
class CombinedKeyboard : public IKeyboard {
public:
    explicit CombinedKeyboard(std::vector<IKeyboard*> keyboards) : m_keyboards(std::move(keyboards)) {}

    bool isKeyDown(char key) override;

private:
    std::vector<IKeyboard*> m_keyboards;
};

}  // namespace qv
