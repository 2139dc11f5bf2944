// The main window's bands at the smallest sizes they are shown at: the
// minimum size at 96 dpi and the size a 1920 x 1080 screen leaves at 192 dpi,
// for every simulator's cards and every density. No text box may lie on
// another (the painters note the boxes they lay out). The frames are left in
// <build>/renders/ for review.

#include "ui/AppMessages.h"
#include "ui/panels/BandDrawing.h"
#include "ui/panels/BandsFixture.h"
#include "ui/panels/EffectCards.h"

#include <cstdio>
#include <filesystem>
#include <sstream>

namespace qv {
namespace {

using bands::TextBox;

class BandLayoutTest : public test::BandsFixture {
protected:
    void TearDown() override {
        bands::setTextBoxLog(nullptr);
        BandsFixture::TearDown();
    }
};

std::string describe(const TextBox& b) {
    std::ostringstream out;
    out << '"' << b.text << "\" (" << b.rect.left << ", " << b.rect.top << ", " << b.rect.right << ", "
        << b.rect.bottom << ")";
    return out.str();
}

// Pairs of text boxes that share more than a sliver of half a pixel.
std::vector<std::string> overlaps(const std::vector<TextBox>& boxes) {
    std::vector<std::string> found;
    for (size_t i = 0; i < boxes.size(); ++i) {
        for (size_t j = i + 1; j < boxes.size(); ++j) {
            const RectF& a = boxes[i].rect;
            const RectF& b = boxes[j].rect;
            const float w = std::min(a.right, b.right) - std::max(a.left, b.left);
            const float h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
            if (w > 0.5f && h > 0.5f)
                found.push_back(describe(boxes[i]) + " on " + describe(boxes[j]));
        }
    }
    return found;
}

TEST_F(BandLayoutTest, NoTextLiesOnAnotherAtTheSmallestWindowSizes) {
    struct Case {
        int dpi, width, height;
        const char* name;
    } cases[] = {
        {96, static_cast<int>(kMainWindowMinWidth), static_cast<int>(kMainWindowMinHeight), "minimum_96dpi"},
        // 1920 x 1080 at 192 dpi: the window is capped to the screen.
        {192, 1920, 1080, "screen_192dpi"},
    };
    const std::string folder = std::string(QV_RENDER_FOLDER) + "/renders";
    std::filesystem::create_directories(folder);
    for (const Case& c : cases) {
        setDpi(c.dpi);
        for (int density = 0; density < kDensityCount; ++density) {
            applyDensity(density);
            createTextFormats();
            for (int sim = 0; sim < kSimCount; ++sim) {
                for (int dual = 0; dual < 2; ++dual) {
                    gSettings.edit([dual](HapticSettings& s) {
                        for (EffectProfile& p : s.effectProfiles)
                            p.suspDualBand = dual;
                    });
                    resetMainWindowBands();
                    selectSim(sim);
                    target = image(c.width, c.height);
                    std::vector<TextBox> boxes;
                    bands::setTextBoxLog(&boxes);
                    paintAll();
                    bands::setTextBoxLog(nullptr);
                    char what[96];
                    std::snprintf(what, sizeof(what), "%s density %d sim %s dual %d", c.name, density,
                                  kSimKeys[sim], dual);
                    EXPECT_GT(boxes.size(), 20u) << what;
                    if (density == 1 && dual == 0 && (sim == 0 || sim == 1)) {
                        char path[160];
                        std::snprintf(path, sizeof(path), "%s/main_window_%s_%s.png", folder.c_str(), c.name,
                                      kSimKeys[sim]);
                        std::string error;
                        EXPECT_TRUE(target->savePng(path, &error)) << error;
                    }
                    for (const std::string& o : overlaps(boxes))
                        ADD_FAILURE() << what << ": " << o;
                    // The cards below, one card height at a time, drawn anew.
                    int scrolled = 0;
                    while (cardScroll(-40) && ++scrolled < 20) {
                        resetEffectCardCaches();
                        std::vector<TextBox> cardBoxes;
                        bands::setTextBoxLog(&cardBoxes);
                        paintAll();
                        bands::setTextBoxLog(nullptr);
                        EXPECT_FALSE(cardBoxes.empty()) << what;
                        for (const std::string& o : overlaps(cardBoxes))
                            ADD_FAILURE() << what << " scrolled " << scrolled << ": " << o;
                    }
                    if (density == 1 && dual == 0 && (sim == 0 || sim == 1)) {
                        // The last cards (Wheel Slip among them) as scrolled into view.
                        char path[160];
                        std::snprintf(path, sizeof(path), "%s/main_window_%s_%s_cards_below.png", folder.c_str(),
                                      c.name, kSimKeys[sim]);
                        std::string error;
                        EXPECT_TRUE(target->savePng(path, &error)) << error;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace qv
