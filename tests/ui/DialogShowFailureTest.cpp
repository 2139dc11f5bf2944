// A modal dialog whose window never reaches the screen (the window system
// gives it no drawing surface) ends its loop as cancelled after the show
// limit, with its parent enabled again, instead of waiting for ever on a
// window nobody can see or answer. On SDL's dummy video driver, with the
// window layer's refused-target seam standing in for the window system.

#include "ui/DialogHost.h"
#include "support/WindowFixture.h"

#include <vector>

namespace qv {
namespace {

constexpr uint32_t kGuardTimer = 77;

// The dialog's owner. A guard timer ends the loops (a quit) long after the
// show limit, so a dialog that never ends fails the test instead of hanging it.
struct Owner {
    WindowHandle window = nullptr;
    bool guardFired = false;
    static intptr_t proc(WindowHandle, uint32_t message, uintptr_t wParam, intptr_t, void* user) {
        auto& o = *static_cast<Owner*>(user);
        if (message == kWmTimer && wParam == kGuardTimer) {
            o.guardFired = true;
            postQuitMessage();
        }
        return 0;
    }
};

// The windows the test refuses a drawing target, as they are shown.
std::vector<std::string> gRefusedTitles;
const WindowSystemObserver kRefuseDialogs{nullptr, [](WindowHandle window, ShowCommand command) {
                                              if (command == ShowCommand::Show &&
                                                  windowTitle(window).rfind("refused", 0) == 0) {
                                                  gRefusedTitles.push_back(windowTitle(window));
                                                  refuseWindowTarget(window);
                                              }
                                          }};

class DialogShowFailureTest : public test::WindowFixture {
protected:
    void SetUp() override {
        test::WindowFixture::SetUp();
        gRefusedTitles.clear();
        setWindowSystemObserver(&kRefuseDialogs);
        owner.window = makeWindow(800, 600, Owner::proc, &owner, "owner");
        ASSERT_NE(owner.window, nullptr);
        setWindowTimer(owner.window, kGuardTimer, static_cast<uint32_t>(kShowLimitMs * 5));
    }
    void TearDown() override {
        setWindowSystemObserver(nullptr);
        destroyWindow(owner.window);
        test::WindowFixture::TearDown();
    }
    Owner owner;
};

struct Nested {
    int innerResult = 99;
    bool innerRan = false;
};

TEST_F(DialogShowFailureTest, ADialogThatCannotBeShownEndsCancelledAndFreesItsParent) {
    // Top level: the refused dialog itself. Nested: a dialog that is shown
    // opens a refused one from its first paint; the inner one ends cancelled
    // and the outer one, still open and answering, is closed with its code.
    struct Case {
        const char* name;
        bool nested;
    };
    for (const Case& c : {Case{"top level", false}, Case{"nested", true}}) {
        SCOPED_TRACE(c.name);
        gRefusedTitles.clear();
        Nested nested;
        DialogSpec spec;
        spec.parent = owner.window;
        spec.width = 300;
        spec.height = 200;
        spec.title = c.nested ? "outer" : "refused";
        spec.userData = &nested;
        if (c.nested) {
            spec.onPaint = [](DrawContext&, float, float, void* user) {
                auto& n = *static_cast<Nested*>(user);
                if (n.innerRan)
                    return;
                n.innerRan = true;
                DialogSpec inner;
                inner.parent = currentDialogWindow();
                inner.width = 200;
                inner.height = 100;
                inner.title = "refused inner";
                // A code set before the window failed is not the answer:
                // nobody saw the dialog.
                inner.onPaint = [](DrawContext&, float, float, void*) { closeDialog(3); };
                n.innerResult = runModalDialog(inner);
                EXPECT_TRUE(isWindowEnabled(currentDialogWindow()));
                closeDialog(7);
            };
        }
        const int result = runModalDialog(spec);
        EXPECT_FALSE(owner.guardFired) << "the dialog's loop did not end";
        ASSERT_FALSE(isQuitPosted());
        EXPECT_EQ(result, c.nested ? 7 : 0);
        if (c.nested) {
            EXPECT_EQ(nested.innerResult, 0);
        }
        EXPECT_EQ(gRefusedTitles.size(), 1u);
        EXPECT_EQ(dialogDepth(), 0);
        EXPECT_TRUE(isWindowEnabled(owner.window));
        EXPECT_EQ(lastWindowError(), "no drawing target can be made for it");
    }
}

}  // namespace
}  // namespace qv
