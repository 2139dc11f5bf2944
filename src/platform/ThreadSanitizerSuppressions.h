#pragma once
// What ThreadSanitizer is told to leave out, for every program that uses the
// GLib family of libraries (the tray's bus code; Pango and fontconfig under
// the drawing layer).
//
// None of these libraries is built with the sanitizer. GLib hands memory
// between its own threads (the bus worker, Pango's font-loading thread, the
// slice allocator's per-thread caches) under futex locks the sanitizer cannot
// see, and its g_rec_mutex_unlock reaches pthread_mutex_unlock through a tail
// call, so the unlock looks as if the calling library made it. So the
// interceptors (malloc, memcpy, strcmp, the pthread locks) called from these
// libraries are not checked. Our own code stays checked: what we hand across
// threads uses std::atomic, std::mutex and std::promise. Fontconfig also runs
// its own lazy set-up without locks the sanitizer can see, so races with it in
// the stack are left out as well. Cairo's font caches reuse freed memory that
// held one of its mutexes without telling the sanitizer the mutex is gone,
// which now and then reads as a "double lock" inside Cairo: mutex reports
// from within Cairo are left out too, and so are lock-order cycles between
// two of Cairo's own mutexes (the same reused memory makes an order edge of a
// mutex that is gone; Cairo is drawn on from one thread only).
//
// Include this in exactly the sources whose libraries need it; the function
// is weak, so a program that links several of them keeps one copy.

#if defined(__SANITIZE_THREAD__)
extern "C" __attribute__((weak)) const char* __tsan_default_suppressions() {
    return "called_from_lib:libglib-2.0.so\n"
           "called_from_lib:libgio-2.0.so\n"
           "called_from_lib:libgobject-2.0.so\n"
           "called_from_lib:libpango-1.0.so\n"
           "called_from_lib:libpangoft2-1.0.so\n"
           "called_from_lib:libpangocairo-1.0.so\n"
           "called_from_lib:libfontconfig.so\n"
           "race:libfontconfig.so\n"
           "mutex:libcairo.so\n"
           "deadlock:libcairo.so\n";
}
#endif
