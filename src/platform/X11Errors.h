#pragma once
// Xlib's error handling for every X display connection of the process.
//
// Xlib's own handlers end the process: on a protocol error (a request that
// names a window which was destroyed a moment before, which the window
// system may answer long after it was sent) and on a lost connection alike.
// Ours log each kind of protocol error once and go on. A lost connection
// that its owner watches calls the owner's callback instead of ending the
// process, so the program can shut down cleanly and keep its settings.
//
// Xlib keeps one error handler and one I/O error handler for the whole
// process; each connection has an exit handler of its own.

#include <cstdint>

struct _XDisplay;  // Xlib's Display

namespace qv {

// Installs the handlers; again after anything that replaces them (SDL's
// video start installs its own, which hand errors on to Xlib's default).
// Any thread.
void installX11ErrorHandlers();

// Until unwatched, the loss of `display` calls lost(user) once, on the thread
// that met it (inside Xlib: the callback only sets flags), and Xlib leaves
// the connection failed instead of ending the process. Installs the
// handlers too.
void watchX11Connection(_XDisplay* display, void (*lost)(void* user), void* user);
// After XCloseDisplay: closing a connection whose server went away is where
// Xlib may find out.
void unwatchX11Connection(_XDisplay* display);

// Protocol errors met since the start (logged or not).
uint64_t x11ProtocolErrorCount();

}  // namespace qv
