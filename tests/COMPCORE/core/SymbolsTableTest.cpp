// Symbol tables, keywords, character classes, the identifier scanner, mangled names and tags.
#include "core/CC_STAB.h"

#include "core/CC_ER.h"
#include "HostDoubles.h"
#include "input/CC_IN.h"
#include "driver/CC_INIT.h"
#include "core/guiExceptions.h"
#include "core/guiInterface.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <string>
#include <vector>

using ::testing::HasSubstr;

namespace {

std::vector<std::string> recorded_summaries() {
    std::vector<std::string> out;
    for (const sError *e = gMessageList; e; e = e->next)
        out.push_back(e->summary);
    return out;
}

class StabFixture : public ::testing::Test {
protected:
    void SetUp() override { fresh(1000); }
    void TearDown() override {
        set_local_scope(false);
        set_compile_mode_word(0);
        set_at_sign_names(false);
        reset_errors();
        release_compiler_tables(); // the next compile sizes the tables from "kxw.cfg" again
    }
    void fresh(uint16_t sym) {
        reset_input_state();
        reset_errors();
        set_compile_mode_word(0);
        set_warning_switches(1, 1);
        set_local_scope(false);
        set_at_sign_names(false);
        allocate_symbol_tables(sym);
        clear_global_tags();
        clear_local_tags();
        headless_message_box_host().shown.clear();
    }
    std::string all_messages() {
        std::string s;
        for (const std::string &m : recorded_summaries())
            s += m + "\n";
        return s;
    }
};

// ---- character classes ------------------------------------------------------------------------

struct ClassCase {
    const char *name;
    unsigned char c;
    uint8_t cls;
};

const ClassCase kClassCases[] = {
    {"lower", 'q', kClassLetter},       {"upper", 'Q', kClassLetter},
    {"digit", '7', kClassDigit},        {"space", ' ', kClassBlank},
    {"tab", '\t', kClassBlank},         {"form_feed", 12, kClassBlank},
    {"ctrl_z", 26, kClassBlank},        {"newline", '\n', kClassLineEnd},
    {"return", '\r', kClassLineEnd},    {"underscore", '_', kClassUnderscore},
    {"period", '.', kClassPeriod},      {"nul", 0, 0},
    {"escape", 27, 0},                  {"ctrl_a", 1, kClassLetter},
    {"ctrl_31", 31, kClassLetter},      {"byte_128", 128, kClassLetter},
    {"byte_255", 255, kClassLetter},    {"plus", '+', 0},
    {"backquote", '`', 0},              {"at", '@', 0},
};

class CharClass : public ::testing::TestWithParam<ClassCase> {};

TEST_P(CharClass, Bits) {
    EXPECT_EQ(char_class(GetParam().c), GetParam().cls);
    EXPECT_EQ(char_class(GetParam().c) & kClassLead, 0); // no lead bytes on this platform
}

INSTANTIATE_TEST_SUITE_P(All, CharClass, ::testing::ValuesIn(kClassCases),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- keywords ---------------------------------------------------------------------------------

TEST(Keywords, EveryKeywordFoundAtItsIndexWithoutCollision) {
    for (int i = 0; i < kKeywordCount; ++i) {
        ASSERT_NE(keyword_text(i), nullptr);
        EXPECT_EQ(keyword_index(keyword_text(i)), i) << keyword_text(i);
        for (int j = 0; j < i; ++j)
            EXPECT_NE(keyword_hash_value(keyword_text(i)), keyword_hash_value(keyword_text(j)))
                << keyword_text(i) << " / " << keyword_text(j);
    }
    EXPECT_EQ(keyword_text(kKeywordCount), nullptr);
}

TEST(Keywords, NearMissesAreNotKeywords) {
    for (const char *w : {"While", "whilex", "whil", "", "__lcall", "interrupt_vectors", "main"})
        EXPECT_FALSE(is_keyword(w)) << w;
    EXPECT_TRUE(is_keyword("__lcall__"));
    EXPECT_TRUE(is_keyword("interrupt_vector"));
}

// ---- scan_identifier ----------------------------------------------------------------------------

struct ScanCase {
    const char *name;
    const char *input;
    bool accept_other;
    int result;
    const char *identifier;
    const char *rest; // text at the input pointer afterwards
};

const ScanCase kScanCases[] = {
    {"simple", "count = 1", false, 1, "count", " = 1"},
    {"blanks_skipped", " \t  x1_y;", false, 1, "x1_y", ";"},
    {"forty_chars_kept_32",
     "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN+1", false, 1,
     "abcdefghijklmnopqrstuvwxyzABCDEF", "+1"},
    {"digit_start_refused", "9lives", false, 0, "", "9lives"},
    {"digit_start_skipped_with_accept", "9lives x", true, 0, "", " x"},
    {"punctuation_with_accept", "+x", true, 0, "", "+x"},
    {"underscore_start", "_tmp)", false, 1, "_tmp", ")"},
    {"period_ends", "s.field", false, 1, "s", ".field"},
    {"high_bytes_are_letters", "\xC3\xA9t\xC3\xA9 =", false, 1, "\xC3\xA9t\xC3\xA9", " ="},
    {"empty_line", "", false, 0, "", ""},
};

class ScanIdentifier : public StabFixture, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(ScanIdentifier, ReadsAndMoves) {
    const ScanCase &c = GetParam();
    std::string text = c.input;
    set_input_pointer(text.c_str());
    char buffer[kMaxIdentifier + 1 + 8];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(scan_identifier(buffer, false, c.accept_other), c.result);
    EXPECT_STREQ(buffer, c.identifier);
    EXPECT_STREQ(input_pointer(), c.rest);
    for (std::size_t i = kMaxIdentifier + 1; i < sizeof buffer; ++i)
        EXPECT_EQ(buffer[i], 'Z') << "written past the 33-byte buffer at " << i;
}

INSTANTIATE_TEST_SUITE_P(All, ScanIdentifier, ::testing::ValuesIn(kScanCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(StabFixture, ScanAdvancesColumnOverWholeIdentifier) {
    std::string text(40, 'k');
    text += " end";
    set_input_pointer(text.c_str());
    char buffer[kMaxIdentifier + 1];
    ASSERT_EQ(scan_identifier(buffer, false, false), 1);
    EXPECT_EQ(std::strlen(buffer), 32u);
    EXPECT_EQ(input_column(), 40);
}

// ---- add_symbol / find_symbol -------------------------------------------------------------------

TEST_F(StabFixture, KeywordNameWarnsAndIsDeclared) {
    symbol *s = add_symbol("while", 0, 2, 0, 1, nullptr, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(find_symbol("while", false, kGlobalTable), s);
    ASSERT_EQ(recorded_summaries().size(), 1u);
    EXPECT_THAT(recorded_summaries()[0],
                HasSubstr("while is a keyword and should not be used as an identifier."));
    EXPECT_EQ(gMessageList->kind, kMsgKindSerious);
}

TEST_F(StabFixture, NewEntryFields) {
    set_placement_switch(true);
    const uint16_t dims[2] = {3, 4};
    symbol *s = add_symbol("grid", 0x11, 2, 7, 3, dims, 2); // local kind 3, int grid[3][4]
    set_placement_switch(false);
    EXPECT_STREQ(s->name, "grid");
    EXPECT_EQ(s->flags[0], 1);
    EXPECT_EQ(s->flags[1], 0x20);
    EXPECT_EQ(s->attribute, 4);
    EXPECT_EQ(s->value, 7);
    EXPECT_EQ(s->address[0], kDummyAddress);
    EXPECT_EQ(s->dim_count, 2);
    EXPECT_EQ(s->size, 24); // 3 x 4 ints
    EXPECT_EQ(find_symbol("grid", false, kLocalTable), s);
    EXPECT_EQ(find_symbol("grid", false, kGlobalTable), nullptr);
    EXPECT_EQ(last_symbol_found(), s);
    // kinds 1 and 252 never take the placement switch
    set_placement_switch(true);
    EXPECT_EQ(add_symbol("g1", 0, 2, 0, 1, nullptr, 0)->flags[0], 0);
    EXPECT_EQ(add_symbol("g2", 0, 2, 0, 252, nullptr, 0)->flags[0], 0);
    set_placement_switch(false);
}

TEST_F(StabFixture, NamesAreStoredAndComparedCutTo32) {
    const std::string forty(40, 'n');
    symbol *s = add_symbol(forty.c_str(), 0, 2, 0, 1, nullptr, 0);
    EXPECT_EQ(std::strlen(s->name), 32u);
    EXPECT_EQ(find_symbol(std::string(32, 'n').c_str(), false, kGlobalTable), s);
    EXPECT_EQ(find_symbol(std::string(31, 'n').c_str(), false, kGlobalTable), nullptr);
}

TEST_F(StabFixture, Kind254IsStoredAs3InTheGlobalTable) {
    symbol *s = add_symbol("counter", 0, 2, 0, 254, nullptr, 0);
    EXPECT_EQ(s->kind, 3);
    EXPECT_EQ(find_symbol("counter", false, kGlobalTable), s);
}

TEST_F(StabFixture, KindFilterSkipsOtherKinds) {
    symbol *plain = add_symbol("m_aB", 0, 2, 0, 1, nullptr, 0);
    symbol *member = add_symbol("m_aB", 0, 2, 4, 255, nullptr, 0);
    EXPECT_NE(plain, member);
    EXPECT_EQ(find_symbol("m_aB", true, kGlobalTable), member);
    EXPECT_EQ(find_symbol("m_aB", false, kGlobalTable), plain);
    EXPECT_TRUE(recorded_summaries().empty()) << all_messages();
}

struct Decl {
    const char *name;
    uint32_t declarator;
    int32_t type;
    int16_t value;
    uint8_t kind;
};

struct RedeclCase {
    const char *case_name;
    Decl first, second;
    const char *message; // nullptr: nothing reported
    int16_t value_after;
};

constexpr uint32_t kFn = 3;

const RedeclCase kRedeclCases[] = {
    {"function_twice_with_values", {"f", kFn, 2, 5, 1}, {"f", kFn, 2, 6, 1}, "f previously defined.", 5},
    {"function_prototype_then_value", {"f", kFn, 2, 0, 1}, {"f", kFn, 2, 6, 1}, nullptr, 6},
    {"function_value_then_prototype", {"f", kFn, 2, 5, 1}, {"f", kFn, 2, 0, 1}, nullptr, 5},
    {"function_other_return_type", {"f", kFn, 2, 0, 1}, {"f", kFn, 4, 0, 1},
     "Return type (re)declared differently after use.", 0},
    {"function_other_declarator", {"f", kFn, 2, 0, 1}, {"f", kFn | (2 << 4), 2, 0, 1},
     "Return type (re)declared differently after use.", 0},
    {"global_twice", {"g", 0, 2, 1, 1}, {"g", 0, 2, 9, 1}, "g previously defined.", 9},
    {"extern_twice", {"e", 0, 2, 0, 252}, {"e", 0, 2, 0, 252}, nullptr, 0},
    {"extern_then_definition", {"e", 0, 2, 0, 252}, {"e", 0, 2, 0, 1}, nullptr, 0},
    {"extern_other_type_then_definition", {"e", 0, 2, 0, 252}, {"e", 0, 4, 3, 1},
     "e previously defined.", 3},
    {"constant_twice", {"K", 4, 2, 1, 9}, {"K", 4, 2, 1, 9}, "K previously defined.", 1},
    {"member_twice_shows_short_name", {"item_aB", 0, 2, 0, 255}, {"item_aB", 0, 2, 0, 255},
     "item previously defined.", 0},
    {"local_twice", {"i", 0, 2, 0, 2}, {"i", 0, 2, 0, 2}, "i previously defined.", 0},
    {"local_member_twice", {"x_`C", 0, 2, 0, 253}, {"x_`C", 0, 2, 0, 253},
     "x previously defined.", 0},
};

class Redeclaration : public StabFixture, public ::testing::WithParamInterface<RedeclCase> {};

TEST_P(Redeclaration, Reports) {
    const RedeclCase &c = GetParam();
    symbol *a = add_symbol(c.first.name, c.first.declarator, c.first.type, c.first.value,
                           c.first.kind, nullptr, 0);
    symbol *b = add_symbol(c.second.name, c.second.declarator, c.second.type, c.second.value,
                           c.second.kind, nullptr, 0);
    EXPECT_EQ(a, b);
    EXPECT_EQ(b->value, c.value_after);
    std::vector<std::string> msgs = recorded_summaries();
    if (!c.message) {
        EXPECT_TRUE(msgs.empty()) << all_messages();
        return;
    }
    ASSERT_EQ(msgs.size(), 1u) << all_messages();
    EXPECT_THAT(msgs[0], HasSubstr(c.message));
    EXPECT_EQ(gMessageList->kind, kMsgKindError);
}

INSTANTIATE_TEST_SUITE_P(All, Redeclaration, ::testing::ValuesIn(kRedeclCases),
                         [](const auto &i) { return std::string(i.param.case_name); });

TEST_F(StabFixture, ExternDimensionMismatchNamesFirstFileAndLine) {
    set_error_file_name("first.c", 1);
    const uint16_t ten[1] = {10};
    symbol *e = add_symbol("table", 1, 2, 0, 252, ten, 1);
    e->line = 17; // as if declared on line 17
    set_error_file_name("second.c", 1);
    const uint16_t twelve[1] = {12};
    symbol *d = add_symbol("table", 1, 2, 0, 1, twelve, 1);
    ASSERT_EQ(d, e);
    ASSERT_EQ(recorded_summaries().size(), 1u) << all_messages();
    EXPECT_THAT(recorded_summaries()[0],
                HasSubstr("Type does not match declaration on line 17 of file first.c."));
    EXPECT_EQ(d->dims[0], 12); // the definition's dimension is stored
    EXPECT_STREQ(d->file, "second.c");
}

TEST_F(StabFixture, ExternKeepsKnownDimensionAndFillsMissingOne) {
    const uint16_t def[1] = {8};
    add_symbol("buf", 1, 1, 0, 1, def, 1);
    const uint16_t open_dim[1] = {0};
    symbol *e = add_symbol("buf", 1, 1, 0, 252, open_dim, 1); // extern char buf[];
    EXPECT_EQ(e->dims[0], 8);
    const uint16_t none[1] = {0};
    add_symbol("later", 1, 1, 0, 252, none, 1);
    const uint16_t five[1] = {5};
    symbol *l = add_symbol("later", 1, 1, 0, 252, five, 1);
    EXPECT_EQ(l->dims[0], 5);
    EXPECT_TRUE(recorded_summaries().empty()) << all_messages();
}

TEST_F(StabFixture, LocalsGoneAfterClearEvenWhereSlotsWereUsed) {
    set_local_scope(true);
    symbol *a = add_symbol("tmp", 0, 2, 0, 2, nullptr, 0);
    ASSERT_EQ(find_symbol("tmp", false, kLocalTable), a);
    clear_local_symbols();
    EXPECT_EQ(find_symbol("tmp", false, kLocalTable), nullptr);
    symbol *b = add_symbol("other", 0, 2, 0, 2, nullptr, 0);
    EXPECT_EQ(b, a); // the area is reused from the local start
    EXPECT_EQ(find_symbol("tmp", false, kLocalTable), nullptr);
    EXPECT_EQ(find_symbol("other", false, kLocalTable), b);
}

TEST_F(StabFixture, GeometryFollowsSymLimit) {
    fresh(100);
    EXPECT_EQ(symbol_area_size(), 100u);
    EXPECT_EQ(name_area_size(), 3300u);
    SymbolTableInfo g = symbol_table_info(kGlobalTable);
    SymbolTableInfo l = symbol_table_info(kLocalTable);
    EXPECT_EQ(g.slot_count, 125u);
    EXPECT_EQ(l.slot_count, 128u);
    EXPECT_EQ(g.entry_limit, 75u);
    EXPECT_EQ(l.entry_start, 75u);
    EXPECT_EQ(g.name_start, 1u);
    EXPECT_EQ(l.name_start, 2475u);
}

TEST_F(StabFixture, BoundarySlidesBehindGlobals) {
    fresh(4000);
    add_symbol("first", 0, 2, 0, 1, nullptr, 0);
    SymbolTableInfo g = symbol_table_info(kGlobalTable);
    SymbolTableInfo l = symbol_table_info(kLocalTable);
    EXPECT_EQ(l.entry_start, 256u); // 256 above the next free global when inserted
    EXPECT_EQ(g.entry_limit, 256u);
    EXPECT_EQ(l.entry_limit, 4000u);
    EXPECT_EQ(l.name_start, 1u + 8448u);
    EXPECT_EQ(g.next_entry, 1u);
}

// ---- bad input: areas and slots -------------------------------------------------------------------

TEST_F(StabFixture, FullGlobalAreaStopsCompileCleanly) {
    fresh(16); // 12 global entries, no boundary move at this size
    int added = 0;
    try {
        for (int i = 0; i < 100; ++i) {
            std::string name = "glob" + std::to_string(i);
            add_symbol(name.c_str(), 0, 2, 0, 1, nullptr, 0);
            ++added;
        }
        FAIL() << "no overflow";
    } catch (const xCCErrOvflo &) {
    }
    EXPECT_EQ(added, 11); // one entry of room stays
    SymbolTableInfo g = symbol_table_info(kGlobalTable);
    EXPECT_LE(g.next_entry, g.entry_limit);
    ASSERT_FALSE(recorded_summaries().empty());
    EXPECT_THAT(recorded_summaries().back(),
                HasSubstr("Hash table full, increase symbol table size."));
    ASSERT_EQ(headless_message_box_host().shown.size(), 1u);
    EXPECT_EQ(headless_message_box_host().shown[0].text,
              "Global symbol table overflow, increase symbol table size.");
    // every global added before the overflow is still there
    for (int i = 0; i < added; ++i)
        EXPECT_NE(find_symbol(("glob" + std::to_string(i)).c_str(), false, kGlobalTable), nullptr);
}

TEST_F(StabFixture, FullLocalAreaStopsCompileCleanly) {
    fresh(16);
    set_local_scope(true);
    EXPECT_THROW(
        {
            for (int i = 0; i < 100; ++i)
                add_symbol(("loc" + std::to_string(i)).c_str(), 0, 2, 0, 2, nullptr, 0);
        },
        xCCErrOvflo);
    ASSERT_EQ(headless_message_box_host().shown.size(), 1u);
    EXPECT_EQ(headless_message_box_host().shown[0].text,
              "Local symbol table overflow, increase symbol table size.");
    SymbolTableInfo l = symbol_table_info(kLocalTable);
    EXPECT_LE(l.next_entry, l.entry_limit);
}

// The tables sized as a compile sizes them: "sym" from "kxw.cfg", then the compiler's table
// allocation. Every name is 32 characters, the most the name area holds per entry, so the name
// area is used as hard as it can be. Whatever runs out first, the compile ends with xCCErrOvflo,
// every area stays within its bounds and nothing of the other table is touched.
struct OverflowCase {
    const char *name;
    int sym;
    bool local;               // fill the local table (a global sentinel is added first)
    int expected_added;       // names declared before the overflow (the sentinel not counted)
    const char *box;          // message box shown, or nullptr
};
const OverflowCase kOverflowCases[] = {
    // 100: globals 0..75 with one entry kept in reserve: the sentinel and 73 more
    {"global_area", 100, false, 73, "Global symbol table overflow, increase symbol table size."},
    // 400: the sentinel leaves the boundary where it is (400 - 0 is not above 512): locals
    // 300..400, 128 slots
    {"local_area", 400, true, 99, "Local symbol table overflow, increase symbol table size."},
    // 2000: the sentinel slides the locals to 257..2000, but they have only 500 slots
    {"local_hash", 2000, true, 499, nullptr},
    // 1000: the boundary slides 256 entries ahead of the globals until 512 remain (last at
    // entry 487): globals 0..743, the sentinel and 741 more
    {"sliding_globals", 1000, false, 741, "Global symbol table overflow, increase symbol table size."},
};

std::string long_name(const char *prefix, int i) {
    std::string n = prefix + std::to_string(i);
    n.resize(32, 'x');
    return n;
}

class SymbolOverflow : public StabFixture, public ::testing::WithParamInterface<OverflowCase> {
protected:
    std::filesystem::path dir;
    void SetUp() override {
        StabFixture::SetUp();
        dir = std::filesystem::temp_directory_path() /
              ("kx_symbol_overflow_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        compiler_config() = CompilerConfig{};
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        StabFixture::TearDown();
    }
};

TEST_P(SymbolOverflow, EndsCleanlyWithinEveryArea) {
    const OverflowCase &c = GetParam();
    {
        std::ofstream cfg(dir / "kxw.cfg");
        cfg << "sym = " << c.sym << "\n";
    }
    ASSERT_EQ(ReadCompilerConfig((dir / "kxw.cfg").string()), 0);
    ASSERT_EQ(compiler_config().sym, c.sym);
    release_compiler_tables();
    allocate_compiler_tables(true);
    reset_errors();
    headless_message_box_host().shown.clear();
    ASSERT_EQ(symbol_area_size(), static_cast<std::size_t>(c.sym));
    ASSERT_EQ(name_area_size(), static_cast<std::size_t>(c.sym) * 33);

    set_local_scope(false);
    symbol *sentinel = add_symbol(long_name("sentinel", 0).c_str(), 0, 2, 5, 1, nullptr, 0);
    set_local_scope(c.local);
    int added = 0;
    try {
        for (int i = 0; i < c.sym; ++i) {
            add_symbol(long_name("n", i).c_str(), 0, 2, static_cast<int16_t>(i), c.local ? 2 : 1,
                       nullptr, 0);
            ++added;
        }
        FAIL() << "no overflow";
    } catch (const xCCErrOvflo &) {
    }
    EXPECT_EQ(added, c.expected_added);
    EXPECT_THAT(recorded_summaries().back(), HasSubstr("Hash table full, increase symbol table size."));
    if (c.box) {
        ASSERT_EQ(headless_message_box_host().shown.size(), 1u);
        EXPECT_EQ(headless_message_box_host().shown[0].text, c.box);
    } else {
        EXPECT_TRUE(headless_message_box_host().shown.empty());
    }

    const SymbolTableInfo g = symbol_table_info(kGlobalTable);
    const SymbolTableInfo l = symbol_table_info(kLocalTable);
    EXPECT_LE(g.next_entry, g.entry_limit);
    EXPECT_LE(g.entry_limit, l.entry_start);
    EXPECT_LE(l.next_entry, l.entry_limit);
    EXPECT_LE(l.entry_limit, symbol_area_size());
    EXPECT_LE(g.next_name, g.name_limit);
    EXPECT_LE(g.name_limit, l.name_start);
    EXPECT_LE(l.next_name, l.name_limit);
    EXPECT_LE(l.name_limit, name_area_size());

    // Every name kept whole, and the other table's entry untouched.
    const SymbolTableId filled = c.local ? kLocalTable : kGlobalTable;
    for (int i = 0; i < c.expected_added; ++i) {
        const symbol *e = find_symbol(long_name("n", i).c_str(), false, filled);
        ASSERT_NE(e, nullptr) << i;
        EXPECT_EQ(std::string(e->name), long_name("n", i));
        EXPECT_EQ(e->value, i);
    }
    EXPECT_EQ(find_symbol(long_name("sentinel", 0).c_str(), false, kGlobalTable), sentinel);
    EXPECT_EQ(std::string(sentinel->name), long_name("sentinel", 0));
    EXPECT_EQ(sentinel->value, 5);
}

INSTANTIATE_TEST_SUITE_P(All, SymbolOverflow, ::testing::ValuesIn(kOverflowCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(StabFixture, FullLocalHashStopsCompileAndLookupsStillEnd) {
    fresh(1000);
    add_symbol("g", 0, 2, 0, 1, nullptr, 0); // moves the locals to 256..1000: more than 250 slots
    set_local_scope(true);
    int added = 0;
    try {
        for (int i = 0; i < 500; ++i) {
            add_symbol(("v" + std::to_string(i)).c_str(), 0, 2, 0, 2, nullptr, 0);
            ++added;
        }
        FAIL() << "no overflow";
    } catch (const xCCErrOvflo &) {
    }
    EXPECT_EQ(added, 249); // one of the 250 slots stays empty
    EXPECT_THAT(recorded_summaries().back(), HasSubstr("Hash table full, increase symbol table size."));
    EXPECT_EQ(find_symbol("absent", false, kLocalTable), nullptr); // ends without a report
    EXPECT_NE(find_symbol("v248", false, kLocalTable), nullptr);
    EXPECT_EQ(recorded_summaries().size(), 1u) << all_messages();
}

TEST_F(StabFixture, WatchCompileRollsGlobalsBack) {
    add_symbol("keep", 0, 2, 0, 1, nullptr, 0);
    set_global_symbol_mark();
    set_compile_mode_word(1);
    add_symbol("tmp1", 0, 2, 0, 1, nullptr, 0);
    add_symbol("tmp2", 0, 2, 0, 1, nullptr, 0);
    EXPECT_EQ(hashfix_count(), 2u);
    set_compile_mode_word(0);
    rollback_global_symbols();
    EXPECT_EQ(hashfix_count(), 0u);
    EXPECT_NE(find_symbol("keep", false, kGlobalTable), nullptr);
    EXPECT_EQ(find_symbol("tmp1", false, kGlobalTable), nullptr);
    EXPECT_EQ(find_symbol("tmp2", false, kGlobalTable), nullptr);
    symbol *again = add_symbol("tmp2", 0, 2, 0, 1, nullptr, 0);
    EXPECT_EQ(find_symbol("tmp2", false, kGlobalTable), again);
    EXPECT_TRUE(recorded_summaries().empty()) << all_messages();
}

TEST_F(StabFixture, AtSignOptionStoresOneCharacter) {
    set_at_sign_names(true);
    symbol *s = add_symbol("@sp", 0, 2, 0, 1, nullptr, 0);
    EXPECT_STREQ(s->name, "@");
    EXPECT_EQ(find_symbol("@xyz", false, kGlobalTable), s);
    set_at_sign_names(false);
}

// ---- mangle_local_name -----------------------------------------------------------------------------

struct MangleCase {
    const char *name;
    std::string in;
    unsigned number;
    std::string out;
};

const MangleCase kMangleCases[] = {
    {"short", "abc", 0x12, "abc_aC"},
    {"zero", "i", 0, "i_`A"},
    {"low_nibble_max", "i", 0x1F, "i_aP"},
    {"len_29_kept", std::string(29, 'p'), 0x21, std::string(29, 'p') + "_bB"},
    {"len_30_cut", std::string(28, 'q') + "rX", 0x10, std::string(28, 'q') + "X_aA"},
    {"len_32_cut", std::string(31, 'q') + "Z", 0x10, std::string(28, 'q') + "Z_aA"},
    {"high_number_z", "t", 26 * 16, "t_zA"},
    {"beyond_z_stays_identifier", "t", 27 * 16, std::string("t_") + "\x80" + "A"},
};

class Mangle : public StabFixture, public ::testing::WithParamInterface<MangleCase> {};

TEST_P(Mangle, Suffix) {
    const MangleCase &c = GetParam();
    char buffer[kMaxIdentifier + 1 + 8];
    std::memset(buffer, 'Z', sizeof buffer);
    std::memcpy(buffer, c.in.c_str(), c.in.size() + 1);
    EXPECT_EQ(mangle_local_name(buffer, c.number), 1);
    EXPECT_EQ(std::string(buffer), c.out);
    EXPECT_LE(std::strlen(buffer), kMaxIdentifier);
    for (std::size_t i = kMaxIdentifier + 1; i < sizeof buffer; ++i)
        EXPECT_EQ(buffer[i], 'Z');
}

INSTANTIATE_TEST_SUITE_P(All, Mangle, ::testing::ValuesIn(kMangleCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(StabFixture, MangledNamesOfNeighbouringNumbersStayApart) {
    for (unsigned n : {0u, 1u, 16u, 17u, 27u * 16u}) {
        char name[kMaxIdentifier + 1] = "x";
        mangle_local_name(name, n);
        add_symbol(name, 0, 2, static_cast<int16_t>(n), 253, nullptr, 0);
    }
    EXPECT_TRUE(recorded_summaries().empty()) << all_messages();
    char probe[kMaxIdentifier + 1] = "x";
    mangle_local_name(probe, 17);
    ASSERT_NE(find_symbol(probe, true, kLocalTable), nullptr);
    EXPECT_EQ(find_symbol(probe, true, kLocalTable)->value, 17);
}

TEST_F(StabFixture, MangleWarnsForKeyword) {
    char name[kMaxIdentifier + 1] = "for";
    mangle_local_name(name, 5);
    ASSERT_EQ(recorded_summaries().size(), 1u);
    EXPECT_THAT(recorded_summaries()[0], HasSubstr("for is a keyword"));
}

// ---- tags ------------------------------------------------------------------------------------------

TEST_F(StabFixture, TagsPerScope) {
    int32_t point = add_tag(kTagStruct, "point");
    EXPECT_EQ(point, 16);
    EXPECT_EQ(add_tag(kTagUnion, "point"), -1); // same scope
    EXPECT_EQ(add_tag(kTagEnum, "colour"), 17);
    EXPECT_EQ(add_tag(3, "bad"), kTagRefused);
    EXPECT_EQ(add_tag(-1, "bad"), kTagRefused);
    set_local_scope(true);
    int32_t inner = add_tag(kTagStruct, "point"); // inner scope: a new local tag
    EXPECT_EQ(inner, 16 + 2);
    EXPECT_EQ(find_tag("point"), inner);
    EXPECT_EQ(tag_scope(inner), 1);
    EXPECT_EQ(tag_scope(point), 0);
    EXPECT_TRUE(is_tag_type(inner));
    EXPECT_FALSE(is_tag_type(inner + 1));
    EXPECT_FALSE(is_tag_type(15));
    clear_local_tags();
    EXPECT_EQ(find_tag("point"), point);
    set_local_scope(false);
    EXPECT_EQ(find_tag("nothing"), -1);
}

TEST_F(StabFixture, TagRecordsAndRefusals) {
    int32_t s = add_tag(kTagStruct, "rec");
    int32_t e = add_tag(kTagEnum, "mode");
    EXPECT_EQ(tag_kind(s), kTagStruct);
    EXPECT_STREQ(tag_name(s), "rec");
    EXPECT_EQ(tag_size(s), 0);
    EXPECT_EQ(set_tag_size(s, 7), 0);
    EXPECT_EQ(tag_size(s), 7);
    EXPECT_EQ(set_tag_defined(s, 1), 0);
    EXPECT_EQ(tag_defined(s), 1);
    EXPECT_EQ(set_tag_size(e, 2), -1);
    EXPECT_EQ(set_tag_defined(e, 1), -1);
    EXPECT_EQ(add_tag_member(e, nullptr), -1);
    for (int32_t bad : {0, 2, 15, 99, -1}) {
        EXPECT_EQ(tag_kind(bad), -1);
        EXPECT_EQ(tag_size(bad), -1);
        EXPECT_EQ(tag_name(bad), nullptr);
        EXPECT_EQ(tag_defined(bad), 0);
        EXPECT_EQ(set_tag_size(bad, 1), -1);
    }
}

TEST_F(StabFixture, TagNamesCutTo32) {
    std::string long_name(40, 't');
    int32_t code = add_tag(kTagStruct, long_name.c_str());
    EXPECT_EQ(std::strlen(tag_name(code)), 32u);
    EXPECT_EQ(find_tag((std::string(32, 't') + "zzz").c_str()), code);
}

TEST_F(StabFixture, MembersInDeclarationOrderAndSnapshot) {
    int32_t s = add_tag(kTagStruct, "pair");
    symbol *a = add_symbol("a_aA", 0, 1, 0, 255, nullptr, 0);
    symbol *b = add_symbol("b_aA", 0, 2, 1, 255, nullptr, 0);
    ASSERT_EQ(add_tag_member(s, a), 0);
    ASSERT_EQ(add_tag_member(s, b), 0);
    int32_t cursor = -1;
    EXPECT_EQ(next_tag_member(s, cursor), a);
    EXPECT_EQ(next_tag_member(s, cursor), b);
    EXPECT_EQ(next_tag_member(s, cursor), nullptr);

    TagTableSnapshot snap;
    save_global_tags(snap);
    clear_global_tags();
    EXPECT_EQ(find_tag("pair"), -1);
    restore_global_tags(snap);
    EXPECT_EQ(find_tag("pair"), s);
    cursor = -1;
    EXPECT_EQ(next_tag_member(s, cursor), a);
}

// ---- the global table carried from one compile to the next ---------------------------------------

// Globals may grow past three quarters of the area (the boundary slides up at global scope); the
// per-compile placement of the local table must then start behind them, not on top of them.
TEST_F(StabFixture, LocalTablePlacedBehindGlobalsThatPassedThreeQuarters) {
    fresh(4000);
    char name[16];
    for (int i = 0; i < 3010; ++i) {
        std::snprintf(name, sizeof name, "g%d", i);
        add_symbol(name, 0, 2, static_cast<int16_t>(i), 1, nullptr, 0);
    }
    place_local_symbol_table();
    EXPECT_GE(symbol_table_info(kLocalTable).entry_start, 3010u);
    set_local_scope(true);
    for (int i = 0; i < 20; ++i) {
        std::snprintf(name, sizeof name, "l%d", i);
        add_symbol(name, 0, 2, 0, 0, nullptr, 0);
    }
    set_local_scope(false);
    symbol *last = find_symbol("g3009", false, kGlobalTable);
    ASSERT_NE(last, nullptr);
    EXPECT_STREQ(last->name, "g3009");
    EXPECT_EQ(last->value, 3009);
    EXPECT_NE(find_symbol("g3000", false, kGlobalTable), nullptr);
}

TEST_F(StabFixture, GlobalSnapshotRestoresEntriesNamesAndFiles) {
    set_error_file_name("first.c", 1);
    symbol *kept = add_symbol("kept", 0, 2, 7, 1, nullptr, 0);
    ASSERT_NE(kept, nullptr);
    const auto snap = save_global_symbols();
    reset_global_symbols();
    add_symbol("other_name_that_takes_the_names", 0, 2, 1, 1, nullptr, 0);
    EXPECT_EQ(find_symbol("kept", false, kGlobalTable), nullptr);

    ASSERT_TRUE(restore_global_symbols(*snap));
    symbol *back = find_symbol("kept", false, kGlobalTable);
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->name, "kept");
    EXPECT_EQ(back->value, 7);
    EXPECT_STREQ(back->file, "first.c");
    EXPECT_EQ(find_symbol("other_name_that_takes_the_names", false, kGlobalTable), nullptr);
    // a later global goes behind the restored ones
    add_symbol("later", 0, 2, 0, 1, nullptr, 0);
    EXPECT_STREQ(find_symbol("kept", false, kGlobalTable)->name, "kept");

    fresh(2000);  // tables sized anew: the snapshot no longer fits and changes nothing
    EXPECT_FALSE(restore_global_symbols(*snap));
    EXPECT_EQ(find_symbol("kept", false, kGlobalTable), nullptr);
}

} // namespace
