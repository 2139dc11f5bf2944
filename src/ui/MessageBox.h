#pragma once
// STAND-IN until the message boxes land (shared GUI contract).

#include "platform/Window.h"

#include <cstdint>

namespace qv {

enum class MessageKind : uint8_t { Info, Warning, Error };
class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    virtual void show(WindowHandle parent, const char* title, const char* text, MessageKind kind) = 0;
    virtual bool askYesNo(WindowHandle parent, const char* title, const char* text) = 0;
};
IMessageBoxes& messageBoxes();
void setMessageBoxes(IMessageBoxes* boxes);

}  // namespace qv
