// The share profile dialog against the loopback HTTPS server.

#include "ui/dialogs/ShareProfileDialog.h"

#include "app/BackendClient.h"
#include "support/Eventually.h"
#include "support/HttpsTestServer.h"
#include "ui/dialogs/CommunityProfilesDialog.h"
#include "ui/dialogs/ProfileDialogPaint.h"
#include "ui/dialogs/ProfileDialogsFixture.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

using nlohmann::json;

class ShareProfileTest : public test::ProfileDialogsFixture {
protected:
    void SetUp() override {
        ProfileDialogsFixture::SetUp();
        ASSERT_TRUE(server.isRunning()) << server.error();
        BackendConfig config;
        config.baseUrl = server.url("/files");
        config.accessKey = "header.payload.signature";
        config.caFile = server.caFile();
        setBackendConfig(config);
        ASSERT_TRUE(initShareProfileState(state, nullptr));
        paintOnce(paintShareProfile, &state, 440, 340);
    }
    void TearDown() override {
        setBackendConfig(BackendConfig{});
        ProfileDialogsFixture::TearDown();
    }
    void type(const std::string& text) {
        for (char c : text)
            keyShareProfile(kWmChar, static_cast<unsigned char>(c), 0, &state);
    }
    // A key; Enter then waits for the upload it started to answer.
    void key(int vk) {
        keyShareProfile(kWmKeyDown, static_cast<uintptr_t>(vk), 0, &state);
        if (vk == kVkReturn && state.busy) {
            EXPECT_EQ(state.status, "Uploading profile...");
            EXPECT_TRUE(state.request.waitUntilDone(30000));
            pollShareProfile(state);
        }
    }

    test::HttpsTestServer server;
    ShareProfileState state;
};

TEST_F(ShareProfileTest, FieldsFilterTheirCharactersAndTabSwitchesBetweenThem) {
    type("A!b 1-2.3_4/\x7f");
    EXPECT_STREQ(state.author.text, "Ab 1-2.3_4");
    key(kVkBack);
    EXPECT_STREQ(state.author.text, "Ab 1-2.3_") << "one Backspace deletes one character";
    key(kVkTab);
    EXPECT_FALSE(state.author.focused);
    EXPECT_TRUE(state.description.focused);
    type("Wow! (fast) {x} ~\xc3\xa9");
    EXPECT_STREQ(state.description.text, "Wow! (fast) {x} ~") << "printable ASCII only";
    key(kVkTab);
    EXPECT_TRUE(state.author.focused);
}

TEST_F(ShareProfileTest, AClickInAFieldGivesItTheFocus) {
    const auto clickIn = [&](const UiTextField& field) {
        const float x = field.rect.left + 5, y = field.rect.top + 5;
        mouseShareProfile(kWmLButtonDown, x, y, 0, &state);
        mouseShareProfile(kWmLButtonUp, x, y, 0, &state);
    };
    clickIn(state.description);
    EXPECT_TRUE(state.description.focused);
    EXPECT_FALSE(state.author.focused);
    type("d");
    clickIn(state.author);
    type("a");
    EXPECT_STREQ(state.author.text, "a");
    EXPECT_STREQ(state.description.text, "d");
    // A click outside both fields keeps the focus where it was.
    mouseShareProfile(kWmLButtonDown, 2, 2, 0, &state);
    EXPECT_TRUE(state.author.focused);
}

TEST_F(ShareProfileTest, AnEmptyAuthorSendsNothing) {
    key(kVkReturn);
    const float x = (state.share.rect.left + state.share.rect.right) / 2, y = state.share.rect.top + 2;
    mouseShareProfile(kWmLButtonDown, x, y, 0, &state);
    mouseShareProfile(kWmLButtonUp, x, y, 0, &state);
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(ShareProfileTest, SendsTheBodyAsGivenAndLocksTheDialogAfterSuccess) {
    setSim(kACEVO);
    gSettings.edit([](HapticSettings& s) {
        s.activeProfile[kACEVO][0] = '\0';
        s.effectProfiles[kACEVO].engineRumble = 0.4f;
    });
    server.serveFile("upload-profile", R"({"ok": true})", 201);
    type("Ann");
    key(kVkTab);
    type("Dry grip");
    key(kVkReturn);
    EXPECT_EQ(state.status, "Profile shared successfully!");
    EXPECT_EQ(state.statusStyle, kStatusSuccess);
    ASSERT_EQ(server.requests().size(), 1u);
    const json request = server.requests()[0];
    EXPECT_EQ(request["method"], "POST");
    EXPECT_EQ(request["path"], "/files/upload-profile");
    const std::string body = request["body"];
    EXPECT_EQ(body.find('\n'), std::string::npos) << "compact";
    const HapticSettings settings = gSettings.snapshot();
    const json expected = {{"sim", "ac_evo"},
                           {"name", "default"},
                           {"author", "Ann"},
                           {"description", "Dry grip"},
                           {"qvVersion", "0.6.103"},
                           {"profile", json::parse(profileJsonText(settings.effectProfiles[kACEVO], kACEVO, ""))}};
    EXPECT_EQ(body, expected.dump());
    EXPECT_EQ(json::parse(body)["profile"]["name"], "") << "the profile keeps the stored (empty) name";

    type("more");
    key(kVkBack);
    key(kVkReturn);
    messageShareProfile(kMsgUploadProfile, 0, 0, &state);
    EXPECT_STREQ(state.description.text, "Dry grip");
    EXPECT_EQ(server.requests().size(), 1u) << "no second upload";
    key(kVkEscape);
    EXPECT_EQ(lastDialogClose().code, 0);
}

TEST_F(ShareProfileTest, FailuresShowTheServersReasonAndAllowAnotherTry) {
    type("Ann");
    struct Case {
        std::string body;
        int status;
        std::string expected;
    } cases[] = {
        {"", 500, "Upload failed: Server returned status 500"},
        {R"({"error": "author banned"})", 403, "Upload failed: author banned"},
        // One word longer than the status takes is cut with an ellipsis;
        // words end whole.
        {R"({"error": ")" + std::string(200, 'e') + "\"}", 400, "Upload failed: " + std::string(177, 'e') + "..."},
        {R"({"error": ")" + std::string(36, 'w') + " server unavailable" + std::string(150, '!') + " after\"}", 400,
         "Upload failed: " + std::string(36, 'w') + " server..."},
        {R"({"error": "no room on the catalogue, try again later"})", 507,
         "Upload failed: no room on the catalogue, try again later"},
    };
    for (const Case& c : cases) {
        server.serveFile("upload-profile", c.body, c.status);
        key(kVkReturn);
        EXPECT_EQ(state.status, c.expected);
        EXPECT_EQ(state.statusStyle, kStatusError);
        EXPECT_FALSE(state.shared);
        EXPECT_FALSE(state.busy);
    }
    EXPECT_EQ(server.requests().size(), 5u);
}

// A server nobody listens on: libcurl's whole reason shows, ending at its
// last word (it used to stop 90 bytes in, mid-word).
TEST_F(ShareProfileTest, AConnectionFailureShowsTheWholeReason) {
    BackendConfig closed = backendConfig();
    closed.baseUrl = "https://127.0.0.1:" + std::to_string(server.closedPort()) + "/files";
    setBackendConfig(closed);
    type("Ann");
    key(kVkReturn);
    EXPECT_EQ(state.status.rfind("Upload failed: https://127.0.0.1:", 0), 0u) << state.status;
    EXPECT_NE(state.status.find("Failed to connect to 127.0.0.1 port " + std::to_string(server.closedPort()) + " after"),
              std::string::npos)
        << state.status;
    EXPECT_EQ(state.status.substr(state.status.size() - 6), "server") << state.status;
    auto target = paintOnce(paintShareProfile, &state, 440, 340);
    savePng(*target, "share_profile_connection_failure");
}

TEST_F(ShareProfileTest, AnUploadThatTimesOutSaysSoAndEscapeCancelsOne) {
    type("Ann");
    state.requestOptions.totalTimeoutMs = 1500;
    server.serveFile("upload-profile", R"({"ok": true})", 200, 20);  // the status comes at once, the body late
    key(kVkReturn);
    EXPECT_EQ(state.status, "Upload failed: the server did not answer in time");
    EXPECT_EQ(state.statusStyle, kStatusError);
    EXPECT_FALSE(state.shared);

    state.requestOptions = CatalogueRequestOptions{};
    keyShareProfile(kWmKeyDown, kVkReturn, 0, &state);
    ASSERT_TRUE(state.busy);
    EXPECT_FALSE(state.share.enabled);
    type("x");
    EXPECT_STREQ(state.author.text, "Ann") << "no typing while busy";
    EXPECT_TRUE(keyShareProfile(kWmKeyDown, kVkEscape, 0, &state));
    EXPECT_FALSE(state.busy);
    EXPECT_EQ(state.status, "Upload cancelled.");
    EXPECT_FALSE(lastDialogClose().requested) << "the dialog stays open";
    EXPECT_TRUE(test::eventually([] { return runningCatalogueWorkers() == 0; }, 10000));
}

// A long error wraps downwards from the status line's top, so its first line
// shows (it used to be centred on the one-line box and cut at both ends).
TEST_F(ShareProfileTest, ALongErrorWrapsBelowItsFirstLine) {
    state.status = "Upload failed: " + std::string(90, 'e');
    for (int i = 0; i < 8; ++i)
        state.status += " wrapping words";
    state.statusStyle = kStatusError;
    auto target = paintOnce(paintShareProfile, &state, 440, 340);
    const auto redRows = [&](int top, int bottom) {
        int rows = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 20; x < 420; ++x) {
                const Rgba8 p = target->pixel(x, y);
                if (p.r > 150 && p.g < 110) {
                    ++rows;
                    break;
                }
            }
        return rows;
    };
    EXPECT_GT(redRows(228, 246), 4) << "the first line in the status box";
    EXPECT_GT(redRows(246, 288), 4) << "the rest below it";
    savePng(*target, "share_profile_long_error");
}

TEST_F(ShareProfileTest, WithoutAServerTheDialogSaysSo) {
    setBackendConfig(BackendConfig{});
    ShareProfileState other;
    EXPECT_FALSE(initShareProfileState(other, nullptr));
    EXPECT_EQ(boxes.last(), kNoProfileServerText);
}

// A click puts the caret where it lands (the next paint places it), in the
// author line and in the wrapped description alike.
TEST_F(ShareProfileTest, AClickPutsTheCaretAtTheClickPosition) {
    type("Ann");
    const auto clickAt = [&](float x, float y) {
        mouseShareProfile(kWmLButtonDown, x, y, 0, &state);
        mouseShareProfile(kWmLButtonUp, x, y, 0, &state);
        paintOnce(paintShareProfile, &state, 440, 340);
    };
    const RectF author = state.author.rect;
    clickAt(author.left + 10.5f, author.centerY());  // before the first letter
    EXPECT_EQ(state.author.caret, 0);
    type("J");
    EXPECT_STREQ(state.author.text, "JAnn");

    key(kVkTab);
    std::string words;
    for (int i = 0; i < 16; ++i)
        words += "stint" + std::to_string(i) + " ";
    type(words);
    paintOnce(paintShareProfile, &state, 440, 340);
    const RectF box = state.description.rect;
    clickAt(box.left + 10.5f, box.top + 12);  // the start of the first line
    EXPECT_EQ(state.description.caret, 0);
    clickAt(box.right - 11, box.top + 8 + 21);  // the end of the second line
    EXPECT_EQ(state.description.caret, static_cast<int>(words.size()));
}

// The description wraps: a long text fills the box line under line, the
// caret at its end stays in view, and the render is kept for review.
TEST_F(ShareProfileTest, ALongDescriptionWrapsAndItsCaretStaysInView) {
    type("Ann");
    key(kVkTab);
    std::string longText;
    for (int i = 0; i < 30; ++i)
        longText += "stint" + std::to_string(i) + " ";
    type(longText);
    state.status = "Upload failed: Server returned status 500";
    state.statusStyle = kStatusError;
    auto target = paintOnce(paintShareProfile, &state, 440, 340);
    savePng(*target, "share_profile_dialog");
    const RectF box = state.description.rect;
    const Rgba8 surface = target->pixel(static_cast<int>(box.right) - 4, static_cast<int>(box.centerY()));
    // Three lines of text from the box's left margin: ink in the first line's
    // band and in the third's (about 14 pixels apart).
    for (const int top : {10, 38}) {
        EXPECT_GT(test::inkedPixels(*target, static_cast<int>(box.left) + 10, static_cast<int>(box.top) + top,
                                    static_cast<int>(box.left) + 120, static_cast<int>(box.top) + top + 8, surface),
                  20)
            << "line at " << top;
    }
    // In a narrower dialog more lines than fit: scrolled so the caret (at
    // the end) shows, and back to the top with the caret at the start.
    paintOnce(paintShareProfile, &state, 240, 340);
    EXPECT_GT(state.description.scrollY, 0.0f);
    key(kVkHome);
    paintOnce(paintShareProfile, &state, 240, 340);
    EXPECT_EQ(state.description.scrollY, 0.0f);
    target = paintOnce(paintShareProfile, &state, 440, 340);
    // Nothing is drawn outside the box's margins.
    EXPECT_EQ(test::inkedPixels(*target, static_cast<int>(box.left) + 4, static_cast<int>(box.bottom) + 2,
                                static_cast<int>(box.right) - 4, static_cast<int>(box.bottom) + 6,
                                target->pixel(static_cast<int>(box.left) + 4, static_cast<int>(box.bottom) + 4)),
              0);
}

}  // namespace
}  // namespace qv
