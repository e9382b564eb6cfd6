// The exception family: ids, texts, history, debug text, watch text and the target phrases.
#include "core/guiExceptions.h"

#include <gtest/gtest.h>

#include "HostDoubles.h"

#include <cstring>
#include <functional>
#include <string>

#include "core/SEAM_TARGET.h"
#include "core/guiInterface.h"

namespace {

uint32_t g_now = 1000;
uint32_t fake_clock() { return g_now; }

class FoundationExceptions : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_host_services();
        xerr_clear_history();
        set_exception_debug_mode(false);
        SetMillisecondClock(fake_clock);
        g_now = 1000;
        gTCState = 0;
    }
    void TearDown() override
    {
        set_exception_debug_mode(false);
        SetMillisecondClock(nullptr);
        gTCState = 0;
        xerr_clear_history();
    }
    static std::string text_of(const xErr &e, std::size_t size = 512)
    {
        std::string buf(size, '#');
        e.GetMessage(buf.data(), size);
        return buf.c_str();
    }
};

TEST_F(FoundationExceptions, IdsAndTextsOutsideDebugMode)
{
    xUserCancel cancel("COMPCORE\\guiInterface", 10);
    EXPECT_EQ(cancel.message_id(), 5016u);
    EXPECT_EQ(text_of(cancel), "Operation canceled by user.");
    EXPECT_EQ(text_of(xErr(5016, "f", 1)), "Operation canceled by user.");
    EXPECT_EQ(text_of(xCCErrOvflo("f", 1)), "Too many or fatal compilation error.");
    EXPECT_EQ(cancel.source_line(), 10u);
    EXPECT_STREQ(cancel.source_file(), "COMPCORE\\guiInterface");
    EXPECT_EQ(cancel.time_stamp(), 1000u);
}

// A message id without text: the host services' loaders give the empty text, but every text the
// family shows names the id, so no box is ever blank.
struct UnknownIdCase {
    const char *name;
    std::function<std::string()> shown;
    std::string expected;
};
const UnknownIdCase kUnknownIds[] = {
    {"plain", [] { return xErr(999999, "f", 1).GetText(); }, "Message 999999 has no text."},
    {"internal", [] {
         std::string b(512, '#');
         xInternal("f", 3).GetMessage(b.data(), b.size()); // its own id has text
         xErr e(4242, "f", 3);
         return b.c_str() + std::string("|") + e.GetText();
     },
     "Internal error.\nFile: f, Line: 3|Message 4242 has no text."},
    {"file_open", [] {
         std::string b(512, '#');
         xFileOpen(999998, "a.c", "f", 1).GetMessage(b.data(), b.size());
         return std::string(b.c_str());
     },
     "Message 999998 has no text."},
    {"watch_id", [] {
         std::string b(512, '#');
         xWatch(999997, "f", 1).GetMessage(b.data(), b.size());
         return std::string(b.c_str());
     },
     "Message 999997 has no text."},
    {"target_box", [] {
         gTCState = 4;
         xTCErr(999996, "f", 1).ShowError();
         return headless_message_box_host().shown.back().text;
     },
     "While Sending User Program:\n\nMessage 999996 has no text."},
    {"cut_to_buffer", [] {
         char b[12];
         std::memset(b, '#', sizeof b);
         uint32_t n = LoadShownResString(999999, b, 8);
         return std::string(b) + "|" + std::to_string(n) + "|" + b[9];
     },
     "Message|7|#"},
    {"loaders_stay_empty", [] {
         char b[8] = "xyz";
         uint32_t n = LoadResString(999999, b, sizeof b);
         return GetResString(999999) + "|" + b + "|" + std::to_string(n);
     },
     "||0"},
};
class FoundationUnknownId : public ::testing::TestWithParam<UnknownIdCase> {
protected:
    void SetUp() override
    {
        reset_host_services();
        xerr_clear_history();
        set_exception_debug_mode(false);
        gTCState = 0;
    }
    void TearDown() override
    {
        gTCState = 0;
        xerr_clear_history();
    }
};
TEST_P(FoundationUnknownId, ShowsAPlaceholder) { EXPECT_EQ(GetParam().shown(), GetParam().expected); }
INSTANTIATE_TEST_SUITE_P(All, FoundationUnknownId, ::testing::ValuesIn(kUnknownIds),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(FoundationExceptions, InternalShowsSiteAlways)
{
    xInternal e("COMPCORE\\CC_FIOZ8", 77);
    EXPECT_EQ(text_of(e), "Internal error.\nFile: COMPCORE\\CC_FIOZ8, Line: 77");
}

TEST_F(FoundationExceptions, DebugModeShowsSiteAndHistoryNewestFirst)
{
    set_exception_debug_mode(true);
    xErr first(5017, "one.cpp", 1);
    g_now = 1005;
    xErr second(5017, "two.cpp", 2);
    g_now = 1012;
    xErr third(5016, "three.cpp", 3);
    EXPECT_EQ(text_of(third), "Operation canceled by user.\nFile: three.cpp, Line: 3"
                              "\ntwo.cpp,2,-7\none.cpp,1,-12");
}

TEST_F(FoundationExceptions, HistoryKeepsFirstTwentyAndShowEmptiesIt)
{
    for (int i = 0; i < 25; ++i)
        xErr e(5016, "loop", static_cast<uint32_t>(i));
    EXPECT_EQ(xerr_history_count(), 20u);
    EXPECT_EQ(xerr_history_entry(19).line, 19u); // the 21st and later were not recorded
    EXPECT_EQ(xerr_history_entry(20).file, nullptr);

    xTCErr tc(5016, "tc", 1);
    tc.ShowError();
    EXPECT_EQ(xerr_history_count(), 20u) << "showing an xTCErr keeps the history";
    xWatch w(5016, "w", 1);
    w.ShowError();
    EXPECT_EQ(xerr_history_count(), 20u) << "showing an xWatch keeps the history";
    xErr plain(5016, "p", 1);
    plain.ShowWarning();
    EXPECT_EQ(xerr_history_count(), 0u);

    xErr again(5016, "p", 1);
    EXPECT_EQ(again.GetText(), "Operation canceled by user.");
    EXPECT_EQ(xerr_history_count(), 0u);
}

TEST_F(FoundationExceptions, ShowGoesThroughTheMessageBox)
{
    auto &box = headless_message_box_host();
    xErr(5017, "f", 1).ShowError();
    xErr(5016, "f", 1).ShowWarning();
    ASSERT_EQ(box.shown.size(), 2u);
    EXPECT_EQ(box.shown[0].caption, "Error");
    EXPECT_EQ(box.shown[0].text, "Internal error.");
    EXPECT_EQ(box.shown[0].flags, kMbOk);
    EXPECT_EQ(box.shown[1].caption, "Warning");
}

struct PhraseCase {
    const char *name;
    uint8_t state;
    const char *phrase;
};
const PhraseCase kPhrases[] = {
    {"idle", 0, ""},
    {"cold_loader", 1, "While Sending Cold Loader:\n\n"},
    {"pilot", 2, "While Sending Pilot BIOS:\n\n"},
    {"bios", 3, "While Sending/Compilng BIOS:\n\n"},
    {"program", 4, "While Sending User Program:\n\n"},
    {"five", 5, ""},
    {"polling", 6, "While Polling:\n\n"},
    {"debugging", 7, "While Debugging:\n\n"},
    {"other", 200, ""},
};
class FoundationTCErrPhrase : public FoundationExceptions,
                              public ::testing::WithParamInterface<PhraseCase> {};
TEST_P(FoundationTCErrPhrase, PrefixesByCommunicationState)
{
    gTCState = GetParam().state;
    xTCErr e(5016, "tc", 1);
    e.ShowError();
    auto &box = headless_message_box_host();
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].caption, "Error");
    EXPECT_EQ(box.shown[0].text, std::string(GetParam().phrase) + "Operation canceled by user.");
}
INSTANTIATE_TEST_SUITE_P(All, FoundationTCErrPhrase, ::testing::ValuesIn(kPhrases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(FoundationExceptions, TCErrBoxTextIsCutTo511Bytes)
{
    gTCState = 2;
    set_exception_debug_mode(true);
    std::string long_file(600, 'f');
    xTCErr e(5016, long_file.c_str(), 1);
    e.ShowWarning();
    auto &box = headless_message_box_host();
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].caption, "Warning");
    EXPECT_EQ(box.shown[0].text.size(), 511u);
    EXPECT_EQ(box.shown[0].text.rfind("While Sending Pilot BIOS:\n\n", 0), 0u);
}

TEST_F(FoundationExceptions, WatchFreeTextIsCutTo159Bytes)
{
    std::string text(200, 'w');
    text[0] = 'A';
    xWatch w(text.c_str(), "w", 1);
    EXPECT_EQ(w.message_id(), 0u);
    std::string shown = text_of(w);
    EXPECT_EQ(shown.size(), 159u);
    EXPECT_EQ(shown, text.substr(0, 159));
    EXPECT_EQ(std::string(xwatch_text()), text.substr(0, 159));
    // A watch error made from an id shows that id's text, not the older free text.
    EXPECT_EQ(text_of(xWatch(5017, "w", 1)), "Internal error.");
    // And a small caller buffer is respected.
    EXPECT_EQ(text_of(w, 10), text.substr(0, 9));
}

TEST_F(FoundationExceptions, FileOpenFormatsItsArgument)
{
    xFileOpen e(5023, "C:\\src\\main.c", "f", 3);
    EXPECT_EQ(text_of(e), "Cannot open file 'C:\\src\\main.c'.");
    set_exception_debug_mode(true);
    EXPECT_EQ(text_of(e), "Cannot open file 'C:\\src\\main.c'.\nFile: f, Line: 3");
    set_exception_debug_mode(false);
    // An over-long argument is cut at the buffer, never past it.
    std::string path(2000, 'p');
    xFileOpen big(5023, path.c_str(), "f", 3);
    std::string buf(64, '#');
    buf.append(16, '!');
    big.GetMessage(buf.data(), 64);
    EXPECT_EQ(std::string(buf.c_str()).size(), 63u);
    EXPECT_EQ(buf.substr(64), std::string(16, '!'));
}

TEST_F(FoundationExceptions, ThrownByValueCaughtAsBase)
{
    try {
        throw xUserCancel(KX_HERE);
    } catch (const xErr &e) {
        EXPECT_EQ(e.message_id(), 5016u);
        EXPECT_NE(std::string(e.source_file()).find("FoundationExceptionsTest"),
                  std::string::npos);
        return;
    }
    FAIL() << "not caught";
}

} // namespace
