// Compiler message records: order, limits, trim with its notes, split, and the file name.
#include "core/CC_ER.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/guiExceptions.h"

namespace {

struct Row {
    std::string file;
    int line;
    int kind;
};

std::vector<Row> rows()
{
    std::vector<Row> out;
    for (const sError *r = gMessageList; r; r = r->next)
        out.push_back({r->file, r->line, r->kind});
    return out;
}

std::vector<const sError *> records()
{
    std::vector<const sError *> out;
    for (const sError *r = gMessageList; r; r = r->next)
        out.push_back(r);
    return out;
}

class FoundationMessages : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_errors();
        reset_error_seen_and_fatal();
        free_error_file_names();
        set_always_record(false);
        set_watch_compile(false);
        set_max_errors_shown(10);
        set_max_warnings_shown(10);
        set_error_file_hooks({});
    }
    void TearDown() override
    {
        set_watch_compile(false);
        set_error_file_hooks({});
        reset_errors();
        free_error_file_names();
    }
};

TEST_F(FoundationMessages, ErrorRecordIsFormattedAndSplit)
{
    set_error_file_name("C:\\work\\prog\\main.c", 1);
    EXPECT_EQ(report_error(12, 5, "Bad %s.\a\aDetail %d.", "thing", 7), 0);
    auto r = records();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0]->summary, "ERROR main.c       : Bad thing.");
    EXPECT_EQ(r[0]->detail, "Detail 7.");
    EXPECT_EQ(r[0]->kind, kMsgKindError);
    EXPECT_EQ(r[0]->line, 12);
    EXPECT_EQ(r[0]->column, 5);
    EXPECT_EQ(r[0]->flags, 1);
    EXPECT_EQ(r[0]->file, "C:\\work\\prog\\main.c");
    EXPECT_EQ(errors_seen(), 1);
    EXPECT_EQ(get_error_status(), 3);
}

TEST_F(FoundationMessages, WarningsCountByLevelAndStatusShowsOnlyBitZero)
{
    set_error_file_name("/src/lib.c", 0);
    report_warning(0, 3, 1, "trivial");
    report_warning(1, 4, 1, "serious");
    auto r = records();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0]->summary, "WARNING lib.c        : trivial");
    EXPECT_EQ(r[0]->kind, kMsgKindTrivial);
    EXPECT_EQ(r[1]->kind, kMsgKindSerious);
    EXPECT_EQ(r[0]->detail, kNoFurtherInformation);
    EXPECT_EQ(trivial_warning_count(), 1);
    EXPECT_EQ(serious_warning_count(), 1);
    EXPECT_EQ(warning_count(), 2);
    EXPECT_EQ(get_error_status(), 1);
}

TEST_F(FoundationMessages, LineAndColumnRaisedToOne)
{
    new_message_record(kMsgKindError, 0, 0, "x");
    new_message_record(kMsgKindError, -5, 300, "y");
    new_message_record(kMsgKindError, 7, 256, "z");
    auto r = records();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0]->line, 1);
    EXPECT_EQ(r[0]->column, 1);
    EXPECT_EQ(r[1]->line, 1);
    EXPECT_EQ(r[1]->column, 300) << "a long line's column is kept whole";
    EXPECT_EQ(r[2]->column, 256) << "never cut to column 0";
}

TEST_F(FoundationMessages, RecordsGroupByFileInLineOrder)
{
    set_error_file_name("a.c", 1);
    report_error(30, 1, "e");
    set_error_file_name("b.c", 1);
    report_error(5, 1, "e");
    set_error_file_name("A.C", 1); // names compare without case
    report_error(10, 1, "e");
    report_error(20, 1, "e");
    report_error(40, 1, "e"); // after the last of its file, not behind the other file
    set_error_file_name(nullptr, 1);
    report_error(1, 1, "e"); // no file: at the end
    auto r = rows();
    std::vector<std::pair<std::string, int>> got;
    for (const Row &x : r)
        got.emplace_back(x.file, x.line);
    std::vector<std::pair<std::string, int>> want = {
        {"A.C", 10}, {"A.C", 20}, {"a.c", 30}, {"A.C", 40}, {"b.c", 5}, {"ERROR", 1}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(message_record_count(), 6);
}

TEST_F(FoundationMessages, TrimErrorsAddsOneNoteOnce)
{
    set_error_file_name("t.c", 1);
    for (int i = 1; i <= 15; ++i)
        report_error(i, 1, "e%d", i);
    TrimMessageList();
    auto r = records();
    ASSERT_EQ(r.size(), 11u);
    EXPECT_EQ(r[9]->line, 10);
    EXPECT_EQ(r[10]->kind, kMsgKindNote);
    EXPECT_EQ(r[10]->summary, "10 errors reached; further errors suppressed.");
    EXPECT_EQ(r[10]->line, 10);
    EXPECT_EQ(r[10]->column, 0);
    EXPECT_EQ(r[10]->file, "");
    TrimMessageList();
    EXPECT_EQ(records().size(), 11u);
    EXPECT_EQ(message_record_count(), 11);
}

TEST_F(FoundationMessages, WarningsStopAtMaximumPlusOneAndTrimNotes)
{
    set_error_file_name("w.c", 1);
    for (int i = 1; i <= 30; ++i)
        EXPECT_EQ(report_warning(1, i, 1, "w"), 0);
    EXPECT_EQ(warning_count(), 11);
    TrimMessageList();
    auto r = records();
    ASSERT_EQ(r.size(), 11u);
    EXPECT_EQ(r.back()->summary, "10 warnings reached; further warnings suppressed.");
    EXPECT_EQ(warning_count(), 10);
}

TEST_F(FoundationMessages, TrimBothUsesCombinedNoteAndOddWarningMaximum)
{
    set_max_errors_shown(2);
    set_max_warnings_shown(3); // held as halves 1 and 2
    EXPECT_EQ(max_warnings_shown(), 3);
    set_error_file_name("m.c", 1);
    for (int i = 1; i <= 4; ++i) {
        report_error(i * 2, 1, "e");
        report_warning(0, i * 2 + 1, 1, "w");
    }
    TrimMessageList();
    auto r = records();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r.back()->summary, "2 errors and 3 warnings reached; further messages suppressed.");
    int errors = 0, warnings = 0;
    for (auto *x : r) {
        errors += x->kind == kMsgKindError;
        warnings += x->kind == kMsgKindTrivial;
    }
    EXPECT_EQ(errors, 2);
    EXPECT_EQ(warnings, 3);
}

TEST_F(FoundationMessages, RecordingStopsAtOneThousand)
{
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(report_error(1, 1, "e"), 0);
    EXPECT_EQ(report_error(1, 1, "e"), 1);
    EXPECT_EQ(report_warning(0, 1, 1, "w"), 1);
    EXPECT_EQ(message_record_count(), 1000);
    EXPECT_EQ(errors_seen(), 1001);
    set_always_record(true);
    EXPECT_EQ(report_error(1, 1, "bracket"), 0);
    EXPECT_EQ(message_record_count(), 1001);
    set_always_record(false);
}

TEST_F(FoundationMessages, FatalFlagStopsRecording)
{
    set_fatal_error_flag(true);
    EXPECT_EQ(report_error(1, 1, "e"), 1);
    EXPECT_EQ(report_warning(1, 1, 1, "w"), 1);
    EXPECT_EQ(gMessageList, nullptr);
    reset_error_seen_and_fatal();
    EXPECT_FALSE(fatal_error_flag());
    EXPECT_EQ(errors_seen(), 0);
}

TEST_F(FoundationMessages, WatchCompileThrowsInsteadOfRecording)
{
    set_watch_compile(true);
    set_error_file_name("watch", 1);
    try {
        report_error(1, 1, "Undefined %s.\a\adetail", "foo");
        FAIL() << "no xWatch";
    } catch (xWatch &w) {
        EXPECT_EQ(w.GetText(), "ERROR watch        : Undefined foo.");
    }
    EXPECT_THROW(report_warning(1, 1, 1, "w"), xWatch);
    EXPECT_EQ(gMessageList, nullptr);
}

struct SplitCase {
    const char *name;
    std::string text;
    std::string summary;
    std::string detail;
};
std::vector<SplitCase> split_cases()
{
    return {
        {"summary_and_detail", "Sum\a\aDet", "Sum", "Det"},
        {"no_pair", "Only summary", "Only summary", kNoFurtherInformation},
        {"single_bel", "A\aB", "A\aB", kNoFurtherInformation},
        {"empty_detail", "S\a\a", "S", kNoFurtherInformation},
        {"long_summary", std::string(1500, 's'), std::string(1023, 's'), kNoFurtherInformation},
        {"long_detail", "S\a\a" + std::string(1500, 'd'), "S", std::string(1019, 'd')},
    };
}
class FoundationSplit : public ::testing::TestWithParam<SplitCase> {};
TEST_P(FoundationSplit, AtFirstBelPair)
{
    std::string summary, detail;
    split_message(GetParam().text.c_str(), summary, &detail);
    EXPECT_EQ(summary, GetParam().summary);
    EXPECT_EQ(detail, GetParam().detail);
    std::string only;
    split_message(GetParam().text.c_str(), only, nullptr);
    EXPECT_EQ(only, GetParam().summary);
}
INSTANTIATE_TEST_SUITE_P(All, FoundationSplit, ::testing::ValuesIn(split_cases()),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(FoundationMessages, LongTextsAreCut)
{
    std::string name(400, 'n');
    set_error_file_name(name.c_str(), 1);
    EXPECT_EQ(std::string(get_error_file_name()), name.substr(0, 259));
    EXPECT_EQ(std::string(get_compiled_file_name()), name.substr(0, 259));
    std::string summary(300, 's');
    new_message_record(kMsgKindError, 1, 1, "%s", summary.c_str());
    ASSERT_NE(gMessageList, nullptr);
    EXPECT_EQ(gMessageList->summary, summary.substr(0, 179));
    // An over-long argument never overruns the formatting.
    std::string huge(5000, 'h');
    EXPECT_EQ(report_error(2, 1, "%s%s", huge.c_str(), huge.c_str()), 0);
}

TEST_F(FoundationMessages, ResetErrorsEmptiesListAndTellsWindow)
{
    static int resets = 0;
    set_message_list_reset_hook([] { ++resets; });
    set_error_file_name("r.c", 0);
    report_error(1, 1, "e");
    report_warning(0, 1, 1, "w");
    int before = resets;
    reset_errors();
    EXPECT_EQ(resets, before + 1);
    EXPECT_EQ(gMessageList, nullptr);
    EXPECT_EQ(message_record_count(), 0);
    EXPECT_EQ(warning_count(), 0);
    EXPECT_STREQ(get_error_file_name(), "ERROR");
    EXPECT_EQ(get_error_file_flag(), 1);
    EXPECT_EQ(get_error_status(), 0);
    set_message_list_reset_hook(nullptr);
}

// "#pragma nowarn" region state as the directive handling would keep it.
struct Region {
    bool open = false;
    std::string file;
    int line = 0, column = 0;
};
Region g_region;
std::vector<std::string> g_file_macro;

TEST_F(FoundationMessages, FileChangeRedefinesFileMacroAndClosesNowarnRegion)
{
    g_region = {true, "lib.c", 7, 3};
    g_file_macro.clear();
    ErrorFileHooks hooks;
    hooks.redefine_file_macro = [](const char *n) { g_file_macro.push_back(n); };
    hooks.nowarn_region = [](std::string &f, int &l, int &c) {
        if (!g_region.open)
            return false;
        f = g_region.file;
        l = g_region.line;
        c = g_region.column;
        return true;
    };
    hooks.close_nowarn_region = [] { g_region.open = false; };
    set_error_file_hooks(hooks);

    set_error_file_name("lib.c", 1);
    EXPECT_TRUE(g_region.open) << "same file: the region stays open";
    set_error_file_name("main.c", 1);
    EXPECT_FALSE(g_region.open);
    EXPECT_EQ(g_file_macro, (std::vector<std::string>{"lib.c", "main.c"}));
    EXPECT_STREQ(get_error_file_name(), "main.c");
    EXPECT_EQ(error_file_name_count(), 2u);

    auto r = records();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0]->file, "lib.c");
    EXPECT_EQ(r[0]->line, 7);
    EXPECT_EQ(r[0]->column, 3);
    EXPECT_EQ(r[0]->summary, "ERROR lib.c        : Unclosed #pragma nowarn.");
    EXPECT_EQ(r[0]->detail,
              "The end of file compilation was reached without\nencoutering a #pragma nowarn end.");
}

TEST_F(FoundationMessages, ReportInFileRestoresCurrentName)
{
    set_error_file_name("cur.c", 0);
    report_error_in_file(4, 2, "other.c", "x");
    EXPECT_STREQ(get_error_file_name(), "cur.c");
    EXPECT_EQ(get_error_file_flag(), 0);
    EXPECT_EQ(error_file_name_count(), 1u);
    ASSERT_NE(gMessageList, nullptr);
    EXPECT_EQ(gMessageList->file, "other.c");
}

} // namespace
