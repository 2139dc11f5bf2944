#pragma once
// STAND-IN until the dialog host lands (shared GUI contract).

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"

namespace qv {

struct DialogSpec {
    WindowHandle parent = nullptr;
    const char* title = nullptr;
    int width = 0, height = 0;
    void (*onPaint)(DrawContext& context, float width, float height, void* user) = nullptr;
    bool (*onMouse)(uint32_t message, float x, float y, uintptr_t wParam, void* user) = nullptr;
    bool (*onKey)(uint32_t message, uintptr_t wParam, void* user, intptr_t lParam) = nullptr;
    bool (*onTimer)(uint32_t timerId, void* user, uintptr_t wParam, intptr_t lParam) = nullptr;
    bool (*onMessage)(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user) = nullptr;
    void* userData = nullptr;
};
int runModalDialog(const DialogSpec& spec);
void closeDialog(int code);
WindowHandle currentDialogWindow();
bool isDialogOpen();

}  // namespace qv
