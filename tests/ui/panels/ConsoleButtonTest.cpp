// The status bar's "Console - Open / Close" with the real console window on
// SDL's dummy video driver.

#include "app/AppGlobals.h"
#include "ui/Appearance.h"
#include "ui/ConsoleWindow.h"
#include "ui/GuiHooks.h"
#include "ui/MainWindow.h"
#include "ui/panels/MainWindowBands.h"
#include "ui/panels/StatusBar.h"

#include "support/WindowFixture.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

class ConsoleButtonTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        createTextFormats();
        createBrushes(0);
        installGuiHooks();
        resetMainWindowBands();
        resetAppGlobals();
        target = image(1500, 860);
        paintMainWindow(target->context(), 1500, 860, 0);
    }
    void TearDown() override {
        destroyConsoleWindow();
        target.reset();
        resetMainWindowBands();
        releaseGuiResources();
        resetAppGlobals();
        WindowFixture::TearDown();
    }
    bool clickConsole() {
        const RectF& r = statusBarLayout().buttons[kStatusConsole];
        return headerButtonClick(nullptr, r.centerX(), r.centerY());
    }
    std::unique_ptr<ImageTarget> target;
};

TEST_F(ConsoleButtonTest, FirstClickCreatesTheConsoleAndAsksForItsLinesLaterClicksToggleIt) {
    ASSERT_EQ(consoleWindow(), nullptr);
    EXPECT_TRUE(clickConsole());
    ASSERT_NE(consoleWindow(), nullptr);
    EXPECT_TRUE(isConsoleWindowVisible());
    EXPECT_EQ(gConsoleToggleRequested.exchange(0), 1);

    EXPECT_TRUE(clickConsole());
    EXPECT_FALSE(isConsoleWindowVisible());
    EXPECT_TRUE(clickConsole());
    EXPECT_TRUE(isConsoleWindowVisible());
    EXPECT_EQ(gConsoleToggleRequested.load(), 0);  // only the creation asks
}

}  // namespace
}  // namespace qv
