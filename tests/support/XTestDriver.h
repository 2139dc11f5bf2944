#pragma once
// A test's own client on an X server: looks at the windows as a window
// manager would and drives the pointer and the keyboard through the XTest
// extension, as from the mouse and the keyboard. Free of Xlib's headers (and
// their macros); windows and key symbols are the X ids they are.

#include <initializer_list>
#include <string>
#include <vector>

struct _XDisplay;

namespace qv::test {

class XTestDriver {
public:
    explicit XTestDriver(const std::string& display);
    ~XTestDriver();
    XTestDriver(const XTestDriver&) = delete;
    XTestDriver& operator=(const XTestDriver&) = delete;
    bool ok() const { return m_display != nullptr; }
    _XDisplay* display() const { return m_display; }

    // The first window below `parent` (the root when 0), at most `depth`
    // levels down, whose title is `title` (exact) or starts with it; with
    // `viewableOnly` a match that is not viewable is passed over. 0 when none.
    // Under a window manager a client's window sits inside its frame.
    unsigned long findInTree(const std::string& title, bool exact, bool viewableOnly, int depth,
                             unsigned long parent = 0);
    bool viewable(unsigned long window);
    // The window's client origin on the screen and its size.
    bool geometry(unsigned long window, int* x, int* y, int* width, int* height);

    // A left click at the window's client point: the pointer moves there and
    // the button goes down and up at once, as a touchpad tap or `xdotool
    // click` gives them.
    void click(unsigned long window, int x, int y);
    // The pointer to the window's client point (a real pointer moves there
    // before it clicks).
    bool moveTo(unsigned long window, int x, int y);
    // Press and release where the pointer is, in one request.
    void click();
    // A key pressed and released.
    void key(unsigned long keySym);
    // A key pressed and released while `modifiers` (key symbols) are held.
    void keyWith(std::initializer_list<unsigned long> modifiers, unsigned long keySym);

    // What a pager or a task bar reads and sends, under a window manager.
    // The 32-bit items of a window's property of `type` (an atom); empty
    // when the window has no such property.
    std::vector<long> longs(unsigned long window, const char* property, unsigned long type);
    // The root window's list of managed windows `property` names
    // (_NET_CLIENT_LIST, or _NET_CLIENT_LIST_STACKING: bottom to top).
    std::vector<unsigned long> clientList(const char* property = "_NET_CLIENT_LIST");
    // The first managed window whose title starts with `prefix`; 0 when none.
    unsigned long findClient(const std::string& prefix);
    std::string title(unsigned long window);
    unsigned long activeWindow();  // _NET_ACTIVE_WINDOW; 0 when none
    unsigned long focus();         // the window with the keyboard focus
    // ICCCM WM_STATE: 1 normal, 3 iconic, 0 withdrawn (also when absent).
    long wmState(unsigned long window);
    // What a task bar sends when its entry of the window is clicked.
    void activate(unsigned long window);

private:
    _XDisplay* m_display;
};

}  // namespace qv::test
