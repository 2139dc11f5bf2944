#pragma once
// Message boxes: small modal dialogs of our own (drawn with the dialog host
// and the widget kit) behind one interface, so tests can install a fake.
// GUI thread only.

#include "platform/Window.h"

#include <cstdint>

namespace qv {

enum class MessageKind : uint8_t { Info, Warning, Error };

class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    virtual void show(WindowHandle parent, const char* title, const char* text, MessageKind kind) = 0;
    // No is the default (Enter and Escape answer No unless Yes has the focus).
    virtual bool askYesNo(WindowHandle parent, const char* title, const char* text) = 0;
};

IMessageBoxes& messageBoxes();               // the installed one (our own drawn boxes by default)
void setMessageBoxes(IMessageBoxes* boxes);  // tests install a fake; null restores the default

}  // namespace qv
