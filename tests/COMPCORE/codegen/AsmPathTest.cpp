// The assembly-line path: unique labels, the loop stack, statement marks, "#asm" blocks (with
// the trial pass at the end of an xmem segment), generated lines through `outasm`, C statements
// inside assembly, root stubs and the literal pool. Source text goes through the real input
// (CC_IN) and the real assembler; caches, origins and the linker are doubles.
#include <gtest/gtest.h>

#include "FrameDoubles.h"
#include "InputHarness.h"

#include "codegen/CC_ASM.h"
#include "codegen/CC_ASMDIR.h"
#include "core/CC_ER.h"
#include "driver/CC_GO.h"
#include "parser/CC_INASM.h"
#include "driver/CC_INIT.h"
#include "parser/CC_LABELS.h"
#include "core/CC_OBJ.h"
#include "linker/ORIGINS.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"
#include "core/SEAM_LINKER.h"
#include "core/SEAM_TARGET.h"
#include "SeamDoubles.h"
#include "SimBoard.h"
#include "SimCpu.h"

#include <map>

namespace {

using input_test::Message;

// As the compile frame's host: the caches move on to a follow-on origin only at the address the
// block reader last reserved at, and reserve nothing while a block is measured.
class AsmPathCacheHost : public RecordingCacheHost {
public:
    uint32_t code_start_marker() const override { return last_reserve_address(); }
    bool output_suppressed() const override { return asm_trial_depth() > 0; }
};

// What reached the output, by address.
std::map<uint32_t, uint8_t> sent_bytes(const std::vector<SentBlock> &sent)
{
    std::map<uint32_t, uint8_t> out;
    for (const SentBlock &b : sent)
        for (size_t i = 0; i < b.bytes.size(); ++i)
            out[addr_add(b.addr, static_cast<int32_t>(i))] = b.bytes[i];
    return out;
}

std::vector<uint8_t> bytes_at(const std::map<uint32_t, uint8_t> &image, uint32_t from, size_t n)
{
    std::vector<uint8_t> v;
    for (size_t i = 0; i < n; ++i) {
        auto it = image.find(addr_add(from, static_cast<int32_t>(i)));
        v.push_back(it == image.end() ? 0xFF : it->second);
    }
    return v;
}

// A defined label of the function or the program.
std::optional<ADDR24> label_address(const char *name)
{
    const QBFixupRec *label = find_label(name, kLabelLocal | kLabelGlobal);
    if (!label || !label->defined)
        return std::nullopt;
    return label->address;
}

// The parser's top-level loop as far as blocks go: "#asm" (with the word "root" for the root
// code cache) opens a block; anything else is reported.
void top_level_loop()
{
    for (;;) {
        fetch_next_line();
        if (end_of_input() && !*input_pointer())
            return;
        dispatch_directive();
        while (is_blank_char(*input_pointer()))
            advance_input(1);
        if (*input_pointer() == '#' && std::strncmp(input_pointer(), "#asm", 4) == 0) {
            match_bracket(10, current_line(), current_column());
            advance_input(4);
            skip_blanks();
            const bool root = match_text("root");
            parse_asm_block(0, 0, root ? 1 : 0);
        } else if (*input_pointer()) {
            error_here("C text outside a block");
            clear_line();
        }
        if (end_of_input())
            return;
    }
}

// An xmem segment near whose end blocks are placed, and its follow-on origin.
constexpr uint32_t kSegment = make_addr(0xF2, 0xE000);
constexpr uint32_t kFollower = make_addr(0xF8, 0xE000);

class AsmPath : public ::testing::Test {
protected:
    AsmPathCacheHost host;
    TestOrigins origins;
    std::vector<std::array<uint32_t, 3>> listing;
    input_test::FakeLibraryIndex index = input_test::default_index();
    std::unique_ptr<input_test::TempSource> source;


    void SetUp() override
    {
        install_asm_path(nullptr);
        reset_asm_path_state();
        set_asm_target(1, 0);  // the F80 set: stubs use "ld a,xpc" and "ljp"
        reset_asm_state();
        set_emit_cache_host(&host);
        set_emit_origin_table(nullptr);
        host.placement = 1;
        host.emitter = &xmem_code_cache();
        set_breakpoint_tables(&headless_breakpoint_tables());
        headless_breakpoint_tables().entries.clear();
        set_listing_recorder([this](ADDR24 s, ADDR24 e, int k) { listing.push_back({s, e, uint32_t(k)}); });
        set_statement_mark_context({});
        set_c_statement_compiler(nullptr);
        set_line_position_installer(nullptr);
        set_codegen_options_byte(0);
        point_caches_at_live_set(false);
        for (EmitCache *c : {&root_code_cache(), &xmem_code_cache(), &constant_cache()}) {
            c->Unbind();
            c->Reset();
            c->positioned = 0;
        }
        root_code_cache().SetAddress(0x4000);
        xmem_code_cache().SetAddress(make_addr(0x00, 0xE000));
        constant_cache().SetAddress(0x6000);
        set_current_code_cache(xmem_code_cache());
        begin_input("");
    }
    void TearDown() override
    {
        close_line_input();
        set_library_index(nullptr);
        install_origin_table();
        set_emit_cache_host(nullptr);
        set_statement_mark_context({});
        set_c_statement_compiler(nullptr);
        install_compiler_joins();  // the listing recorder and line-position installer of a compile
        set_stub_output_context({});
        set_current_code_cache(root_code_cache());
        for (EmitCache *c : {&root_code_cache(), &xmem_code_cache(), &constant_cache()}) {
            c->Unbind();  // the origins they were bound to were this fixture's
            c->Reset();
            c->positioned = 0;
        }
        reset_errors();
    }

    // The input as a program compile starts it, over `text`.
    void begin_input(const std::string &text)
    {
        close_line_input();
        source = std::make_unique<input_test::TempSource>(text);
        macro_table().clear();
        reset_errors();
        reset_error_seen_and_fatal();
        set_compile_mode_word(0);
        set_library_index(&index);
        set_program_file(source->path());
        set_preamble_context(false, 0x851, false);
        reset_input_state();
        set_warning_switches(1, 1);
        reset_line_position(0, 0);
        update_builtin_macros(false, 0, false);
    }

    void compile(const std::string &text)
    {
        begin_input(text);
        try {
            top_level_loop();
        } catch (const xCCErrOvflo &) {
        }
        root_code_cache().Flush();
        xmem_code_cache().Flush();
        constant_cache().Flush();
    }

    std::vector<Message> messages() const { return input_test::collect_messages(); }
    std::vector<SourceEntry> entries(SourceTable t) const
    {
        std::vector<SourceEntry> v;
        for (const SourceEntry &e : headless_breakpoint_tables().entries)
            if (e.table == t)
                v.push_back(e);
        return v;
    }

    // The xmem cache bound to a segment of `size` bytes at kSegment, `left` bytes before its end;
    // with a follow-on origin at kFollower when asked.
    void place_near_segment_end(uint32_t size, uint32_t left, bool follower)
    {
        int32_t next = -1;
        if (follower)
            next = origins.add(kFollower, 0x1000, &xmem_code_cache());
        const int32_t seg = origins.add(kSegment, size, &xmem_code_cache(), next);
        set_emit_origin_table(&origins);
        origins.entries[size_t(seg)].extent.end = addr_add(kSegment, int32_t(size - left));
        origins.select_origin(seg);
        set_current_code_cache(xmem_code_cache());
    }
};

// ---- unique labels and the loop stack ------------------------------------------------------------

TEST_F(AsmPath, UniqueLabelsCountFromZeroPerCompileAndKeep32Characters)
{
    const std::string a = make_unique_label(".KXLAB");
    const std::string b = make_unique_label(".KXLAB");
    EXPECT_EQ(a, ".KXLAB__QB00000000");
    EXPECT_EQ(b, ".KXLAB__QB00000001");  // a was not overwritten by b
    const std::string long_prefix(30, 'p');
    const std::string c = make_unique_label(long_prefix.c_str());
    EXPECT_EQ(c.size(), 32u);  // the whole counter is kept: the prefix gives way
    EXPECT_EQ(c, std::string(20, 'p') + "__QB00000002");
    reset_asm_path_state();
    EXPECT_EQ(make_unique_label("L"), "L__QB00000000");
}

TEST_F(AsmPath, LoopStackHolds19EntriesAndReportsMisuse)
{
    EXPECT_FALSE(top_loop().has_value());
    for (uint16_t i = 0; i < 20; ++i) {
        const uint16_t pair[2] = {i, uint16_t(i + 100)};
        push_loop(pair);
    }
    EXPECT_EQ(loop_depth(), 19);
    auto top = pop_loop();
    ASSERT_TRUE(top.has_value());
    EXPECT_EQ(top->first, 18);
    EXPECT_EQ(top->second, 118);
    EXPECT_EQ(loop_depth(), 18);
    const auto m = messages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].summary, "No active whiles.");
    EXPECT_EQ(m[1].summary, "Internal limit: too many active whiles.");
}

TEST_F(AsmPath, ScannerUtilities)
{
    EXPECT_EQ(prefix_length("#endasm x", "#endasm"), 7u);
    EXPECT_EQ(prefix_length("#end", "#endasm"), 0u);
    static const char text[] = "  \tabc.d1 +(x) ;";
    set_input_pointer(text);
    EXPECT_EQ(skip_blanks(), 'a');
    EXPECT_EQ(peek_next_char(), 'b');
    skip_token();  // "abc.d1" and the blank after it
    EXPECT_EQ(*input_pointer(), '+');
    skip_token();  // "+(" up to the next token character
    EXPECT_EQ(*input_pointer(), 'x');
    EXPECT_EQ(match_text("x"), 1);
    EXPECT_EQ(match_text("xy"), 0);
    expect_text(")");
    expect_text("]");
    EXPECT_EQ(at_statement_end(), 1);
    report_previously_defined("lbl");
    report_missing_char(')');
    const auto m = messages();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].summary, "] is missing/expected.");
    EXPECT_EQ(m[1].summary, "lbl previously defined.");
    EXPECT_EQ(m[2].summary, "Missing character ')'.");
}

// ---- statement marks -----------------------------------------------------------------------------

TEST_F(AsmPath, DebugMarksPutHooksAndANopBetweenEmptyStatements)
{
    set_statement_mark_context({nullptr, [] { return uint32_t{0x10}; }, nullptr});
    const uint32_t s = xmem_code_cache().current;
    record_statement(3, 5);
    record_statement(4, 5);  // no code in between: "nop" first
    record_statement(4, 5);  // the same position: only the address moves
    xmem_code_cache().Flush();
    EXPECT_EQ(bytes_at(sent_bytes(host.sent), s, 3), (std::vector<uint8_t>{0xEF, 0x00, 0xEF}));
    const auto lines = entries(SourceTable::Line);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].line, 4);
    EXPECT_EQ(lines[1].address, addr_add(s, 3));
    EXPECT_TRUE(entries(SourceTable::Statement).empty());
    ASSERT_EQ(listing.size(), 2u);
    EXPECT_EQ(listing[1][0], addr_add(s, 2));
    EXPECT_EQ(listing[1][1], addr_add(s, 3));
    EXPECT_EQ(last_statement_mark().address, addr_add(s, 3));
}

TEST_F(AsmPath, MarksWithoutDebugCodeOnlyEnterTheStatementTable)
{
    const uint32_t s = xmem_code_cache().current;
    record_statement(7, 2);
    record_statement(7, 2);
    record_statement(8, 1);
    EXPECT_EQ(xmem_code_cache().current, s);
    EXPECT_EQ(entries(SourceTable::Statement).size(), 2u);
    set_statement_mark_context({[] { return true; }, [] { return uint32_t{0x10}; }, nullptr});
    record_statement(9, 1);
    EXPECT_EQ(entries(SourceTable::Statement).size(), 2u);
    EXPECT_EQ(xmem_code_cache().current, s);
}

// ---- blocks --------------------------------------------------------------------------------------

struct BlockCase {
    const char *name;
    const char *source;
    std::vector<uint8_t> bytes;
    std::vector<std::pair<int, std::string>> errors;  // line, summary
    int endasm_line;  // 0: no "#endasm" entry
};

const BlockCase kBlockCases[] = {
    {"EndasmOnFirstLine", "#asm\n#endasm\n", {}, {}, 2},
    {"BlanksAndEmptyLines", "#asm\n   nop\n\n\t ld a,1\n   #endasm\n", {0x00, 0x3E, 0x01}, {}, 5},
    {"FalseConditionalLeavesLinesOut", "#asm\n#if 0\n ld a,1\n#endif\n nop\n#endasm\n", {0x00}, {}, 6},
    {"TwoStatementsOnALine", "#asm\n ld a,2 $ nop\n#endasm\n", {0x3E, 0x02, 0x00}, {}, 3},
    {"ForwardJumpIsPatched", "#asm\n jr fwd\n nop\nfwd: nop\n#endasm\n", {0x18, 0x01, 0x00, 0x00}, {}, 5},
    {"BadStatementReportedBlockGoesOn", "#asm\n nop\n ld q,1\n nop\n#endasm\n", {0x00, 0x00},
     {{3, "*"}}, 5},
    {"MissingEndasmReportedAtOpeningLine", "\n#asm\n nop\n", {0x00}, {{2, "Unmatched '#asm'."}}, 0},
};

class AsmBlock : public AsmPath, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(AsmBlock, BytesMessagesAndTables)
{
    const BlockCase &c = GetParam();
    const uint32_t s = xmem_code_cache().current;
    compile(c.source);
    EXPECT_EQ(bytes_at(sent_bytes(host.sent), s, c.bytes.size()), c.bytes);
    EXPECT_EQ(xmem_code_cache().current, addr_add(s, int32_t(c.bytes.size())));

    const auto m = messages();
    ASSERT_EQ(m.size(), c.errors.size());
    for (size_t i = 0; i < m.size(); ++i) {
        EXPECT_EQ(m[i].line, c.errors[i].first) << m[i].summary;
        if (c.errors[i].second != "*") {
            EXPECT_EQ(m[i].summary, c.errors[i].second);
        }
    }
    const auto asm_entries = entries(SourceTable::AsmSource);
    if (c.endasm_line == 0) {
        EXPECT_TRUE(asm_entries.empty());
    } else {
        ASSERT_EQ(asm_entries.size(), 1u);
        EXPECT_EQ(asm_entries[0].line, c.endasm_line);
        EXPECT_EQ(asm_entries[0].column, 1);
        EXPECT_EQ(asm_entries[0].address, xmem_code_cache().current);
    }
    ASSERT_EQ(listing.size(), 1u);
    EXPECT_EQ(listing[0][0], s);
    EXPECT_EQ(listing[0][1], xmem_code_cache().current);
    EXPECT_EQ(listing[0][2], uint32_t(kListProgramCode));
}

INSTANTIATE_TEST_SUITE_P(All, AsmBlock, ::testing::ValuesIn(kBlockCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(AsmPath, RootWordPutsTheBlockInRootCodeAndRestoresTheCache)
{
    compile("#asm root\n nop\n nop\n#endasm\n");
    EXPECT_EQ(root_code_cache().current, 0x4002u);
    EXPECT_EQ(&current_code_cache(), &xmem_code_cache());
    EXPECT_EQ(bytes_at(sent_bytes(host.sent), 0x4000, 2), (std::vector<uint8_t>{0, 0}));
}

// A 200-byte block, 100 bytes before the end of a segment.
std::string block_of_200_bytes()
{
    std::string text = "#asm\n";
    for (int i = 0; i < 20; ++i)
        text += " db 1,2,3,4,5,6,7,8,9,10\n";
    return text + "#endasm\n";
}

// The old segment holds the jump to the follower and nothing of the trial; the block (its
// `lead` bytes, then the 200 bytes of db lines) lies whole in the follower, where its listing
// record begins.
void expect_moved_whole(const std::map<uint32_t, uint8_t> &image, uint32_t s,
                        const std::vector<uint8_t> &jump, const std::vector<uint8_t> &lead,
                        const std::vector<std::array<uint32_t, 3>> &listing)
{
    EXPECT_EQ(bytes_at(image, s, jump.size()), jump);
    for (size_t i = jump.size(); i < 100; ++i)
        EXPECT_EQ(image.count(addr_add(s, int32_t(i))), 0u) << "trial byte at +" << i;
    const int32_t n = int32_t(lead.size());
    EXPECT_EQ(bytes_at(image, kFollower, lead.size()), lead);
    const std::vector<uint8_t> ten{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(bytes_at(image, addr_add(kFollower, n), 10), ten);
    EXPECT_EQ(bytes_at(image, addr_add(kFollower, n + 190), 10), ten);
    EXPECT_EQ(xmem_code_cache().current, addr_add(kFollower, n + 200));
    ASSERT_EQ(listing.size(), 1u);
    EXPECT_EQ(listing[0][0], kFollower);
    EXPECT_EQ(listing[0][1], addr_add(kFollower, n + 200));
    EXPECT_EQ(asm_trial_depth(), 0u);
}

TEST_F(AsmPath, BlockNearSegmentEndMovesWholeToTheFollowOnOrigin)
{
    place_near_segment_end(0x400, 100, true);
    const uint32_t s = xmem_code_cache().current;
    compile(block_of_200_bytes());
    EXPECT_TRUE(messages().empty());
    // The host double's jump to the follower is four 0xC7 bytes.
    expect_moved_whole(sent_bytes(host.sent), s, std::vector<uint8_t>(4, 0xC7), {}, listing);
    EXPECT_EQ(entries(SourceTable::AsmSource).size(), 1u);
}

// The trial pass reads the block once and the real pass assembles what it read: directives and
// conditionals act once, each diagnostic comes once at its own line, labels are defined once,
// and what follows the block is read from the right place.
TEST_F(AsmPath, MovedBlockKeepsDiagnosticsConditionalsAndPositions)
{
    place_near_segment_end(0x400, 100, true);
    std::vector<int> c_lines, installed_lines;
    set_c_statement_compiler([&] { c_lines.push_back(current_line()); });
    set_line_position_installer([&](const AsmLineText &line, std::size_t at) {
        installed_lines.push_back(line.lines[at]);
        set_input_pointer(line.text.c_str());
        advance_input(at);
    });
    std::string text = "#define K 7\n"    // 1
                       "#asm\n"          // 2
                       " ld a,K\n"        // 3
                       "#if 0\n"          // 4
                       " ld a,1\n"        // 5
                       "#endif\n"         // 6
                       " ld q,1\n"        // 7: error
                       "back: jr fwd\n"   // 8
                       " c x;\n"          // 9
                       "fwd: jr back\n";  // 10
    for (int i = 0; i < 20; ++i)           // 11-30
        text += " db 1,2,3,4,5,6,7,8,9,10\n";
    text += "#endasm\n"                    // 31
            "#asm\n"                       // 32
            " ld q,2\n"                    // 33: error
            "#endasm\n";                   // 34
    compile(text);

    const auto m = messages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].line, 7);
    EXPECT_EQ(m[1].line, 33);
    // Measured, then compiled, each time with the line's own positions handed to the lexer.
    ASSERT_EQ(c_lines.size(), 2u);
    EXPECT_EQ(c_lines[0], 9);
    EXPECT_EQ(installed_lines, (std::vector<int>{9, 9}));
    const auto image = sent_bytes(host.sent);
    EXPECT_EQ(bytes_at(image, kFollower, 6), (std::vector<uint8_t>{0x3E, 0x07, 0x18, 0x00, 0x18, 0xFC}));
    EXPECT_EQ(label_address("back"), std::optional<ADDR24>(addr_add(kFollower, 2)));
    EXPECT_EQ(label_address("fwd"), std::optional<ADDR24>(addr_add(kFollower, 4)));
    EXPECT_EQ(find_label("fwd", kLabelLocal)->count, 0u) << "its fix-up was patched";
    const auto asm_entries = entries(SourceTable::AsmSource);
    ASSERT_EQ(asm_entries.size(), 2u);
    EXPECT_EQ(asm_entries[0].line, 31);
    EXPECT_EQ(asm_entries[0].address, addr_add(kFollower, 206));
    EXPECT_EQ(asm_entries[1].line, 34);
    EXPECT_EQ(xmem_code_cache().current, addr_add(kFollower, 206));
}

// A C statement in the block shows whether the block was read twice (trial, then real).
struct TrialCase {
    const char *name;
    bool follower;
    uint32_t left;
    int runs;
    int runs_in_trial;
};
const TrialCase kTrialCases[] = {
    {"NoFollowOnOrigin", false, 100, 1, 0},
    {"FarFromTheSegmentEnd", true, 0x1100, 1, 0},
    {"NearTheEndWithFollowOnOrigin", true, 100, 2, 1},
};

class AsmTrial : public AsmPath, public ::testing::WithParamInterface<TrialCase> {};

TEST_P(AsmTrial, MeasuresOnlyNearTheEndOfASegmentWithAFollowOnOrigin)
{
    const TrialCase &c = GetParam();
    int runs = 0, runs_in_trial = 0;
    set_c_statement_compiler([&] {
        ++runs;
        runs_in_trial += asm_trial_depth() > 0;
    });
    place_near_segment_end(0x2000, c.left, c.follower);
    const uint32_t s = xmem_code_cache().current;
    compile("#asm\n c x;\n nop\n#endasm\n");
    EXPECT_EQ(runs, c.runs);
    EXPECT_EQ(runs_in_trial, c.runs_in_trial);
    for (const Message &m : messages())
        ADD_FAILURE() << m.line << ": " << m.summary;
    EXPECT_EQ(xmem_code_cache().current, addr_add(s, 1));  // the block fits: not moved
    EXPECT_EQ(entries(SourceTable::AsmSource).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(All, AsmTrial, ::testing::ValuesIn(kTrialCases),
                         [](const auto &i) { return std::string(i.param.name); });

// A block whose real pass comes out larger than measured (here a C statement that emits only
// when it is not measured) is reported as a serious warning, sizes in hexadecimal, and kept.
TEST_F(AsmPath, BlockLargerThanMeasuredIsReportedAndKept)
{
    set_c_statement_compiler([] {
        if (asm_trial_depth() == 0)
            outasm("nop");
    });
    place_near_segment_end(0x2000, 100, true);
    const uint32_t s = xmem_code_cache().current;
    compile("#asm\n c x;\n nop\n#endasm\n");
    const auto m = messages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].summary, "Internal error: assembly block miscalculated. 1 > 2");
    EXPECT_EQ(xmem_code_cache().current, addr_add(s, 2));
}

// Code that runs past the top of the 64 KB logical space is reported at the block's last line
// and the compile goes on with the next block.
TEST_F(AsmPath, BlockRunningPastTheLogicalSpaceIsReported)
{
    xmem_code_cache().SetAddress(make_addr(0x10, 0xFFFC));
    compile("#asm\n db 1,2,3,4,5,6,7,8\n#endasm\n#asm\n nop\n#endasm\n");
    const auto m = messages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].summary, "Assembly in XMEM overran XMEM page.");
    EXPECT_EQ(m[0].line, 3);
    EXPECT_EQ(entries(SourceTable::AsmSource).size(), 2u);
}

// ---- C statements inside assembly ----------------------------------------------------------------

TEST_F(AsmPath, WordCWrapsTheRestOfTheLineInBraces)
{
    std::vector<std::string> seen;
    std::vector<std::pair<int, int>> last_positions;
    set_c_statement_compiler([&] {
        seen.emplace_back(input_pointer());
        const AsmLineText &l = current_asm_line();
        EXPECT_EQ(l.lines.size(), l.text.size());
        EXPECT_EQ(l.columns.size(), l.text.size());
        last_positions.push_back({l.columns[l.columns.size() - 2], l.columns.back()});
        EXPECT_EQ(current_line(), l.lines.back());
    });
    compile("#asm\n c x = 1;\n  C y++;\n nop\n#endasm\n");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "{ x = 1;}");
    EXPECT_EQ(seen[1], "{ y++;}");
    EXPECT_EQ(last_positions[0].second, last_positions[0].first + 1);
    EXPECT_TRUE(messages().empty());
}

// ---- generated lines -----------------------------------------------------------------------------

TEST_F(AsmPath, GeneratedLinesAddBytesButNoListingNorTrial)
{
    place_near_segment_end(0x400, 100, true);
    const uint32_t s = xmem_code_cache().current;
    outasm("ld a,%d", 7);
    outasm("nop");
    EXPECT_EQ(xmem_code_cache().current, addr_add(s, 3));
    EXPECT_TRUE(listing.empty());
    EXPECT_TRUE(entries(SourceTable::AsmSource).empty());
    xmem_code_cache().Flush();
    EXPECT_EQ(bytes_at(sent_bytes(host.sent), s, 3), (std::vector<uint8_t>{0x3E, 0x07, 0x00}));
}

// Internal errors of the generated-line path are reported and the compile goes on: the refused
// line adds nothing and the next line assembles.
TEST_F(AsmPath, OverlongAndNestedGeneratedLinesAreReportedAndTheCompileGoesOn)
{
    set_input_pointer("x");
    const uint32_t s = xmem_code_cache().current;
    const std::string line(1100, 'n');
    EXPECT_NO_THROW(outasm("%s", line.c_str()));
    EXPECT_EQ(xmem_code_cache().current, s);

    int nested = 0;
    set_c_statement_compiler([&] {
        ++nested;
        outasm("nop");  // refused: a generated line is being assembled
    });
    EXPECT_NO_THROW(outasm("c x;"));
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(xmem_code_cache().current, s);

    outasm("ld a,%d", 9);
    EXPECT_EQ(xmem_code_cache().current, addr_add(s, 2));
    EXPECT_STREQ(input_pointer(), "x");  // the lexer is back where it was
    const auto m = messages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].summary, "Internal error: internal assembly buffer exceeded");
    EXPECT_EQ(m[1].summary, "Internal error: recursion on outasm");
    xmem_code_cache().Flush();
    EXPECT_EQ(bytes_at(sent_bytes(host.sent), s, 2), (std::vector<uint8_t>{0x3E, 0x09}));
}

// ---- pending stubs and the literal pool ----------------------------------------------------------

TEST_F(AsmPath, PendingXmemFunctionGetsOneRootStub)
{
    set_stub_output_context({[] { return true; }, nullptr, nullptr, nullptr});
    char name[] = "fn";
    symbol fn;
    fn.name = name;
    fn.address[kFunctionAddressSlot] = make_addr(0x0E, 0xE010);
    push_pending_stub(&fn);
    push_pending_stub(&fn);
    output_pending_stubs();
    EXPECT_EQ(&current_code_cache(), &xmem_code_cache());  // switched back
    EXPECT_EQ(fn.address[kRootStubAddressSlot], 0x4000u);
    EXPECT_EQ(label_address("fn"), std::optional<ADDR24>(0x4000u));
    EXPECT_EQ(pending_stub_count(), 0u);
    EXPECT_EQ(root_code_cache().current, 0x400Bu);  // one stub of 11 bytes, not two
    root_code_cache().Flush();
    EXPECT_EQ(bytes_at(sent_bytes(host.sent), 0x4000, 11),
              (std::vector<uint8_t>{0xD1, 0xED, 0x77, 0x47, 0xC5, 0x33, 0xD5, 0xC7, 0x10, 0xE0, 0x0E}));

    // Used as a value afterwards, the name gives the stub.
    compile("#asm\n ld hl,fn\n#endasm\n");
    EXPECT_EQ(bytes_at(sent_bytes(host.sent), make_addr(0, 0xE000), 3),
              (std::vector<uint8_t>{0x21, 0x00, 0x40}));
}

// Through the assembler: taking the address of an xmem function queues it; the flush writes its
// root stub, the operand already emitted is patched to the stub when the function's labels close
// (the reference was the function's own until then); later uses get the stub.
TEST_F(AsmPath, AssemblyTakingAnXmemFunctionAddressGetsTheRootStub)
{
    struct ReleaseTables {
        ~ReleaseTables() { release_compiler_tables(); }
    } release;
    set_stub_output_context({[] { return true; }, nullptr, nullptr, nullptr});
    allocate_symbol_tables(200);
    set_local_scope(false);
    symbol *fn = add_symbol("xfn", 3, 2, 0, 254, nullptr, 0);  // a global function
    fn->flags[0] |= 1;  // placed in xmem
    fn->address[kFunctionAddressSlot] = make_addr(0x0E, 0xE010);
    fn->address[kRootStubAddressSlot] = kDummyAddress;

    compile("#asm\n ld hl,xfn\n#endasm\n");
    EXPECT_EQ(pending_stub_count(), 1u);
    output_pending_stubs();
    EXPECT_EQ(fn->address[kRootStubAddressSlot], 0x4000u);
    EXPECT_EQ(root_code_cache().current, 0x400Bu);
    compile("#asm\n ld de,xfn\n#endasm\n");
    EXPECT_EQ(pending_stub_count(), 0u);
    reset_labels(kCloseLocal);
    for (const Message &m : messages())
        ADD_FAILURE() << m.line << ": " << m.summary;
    xmem_code_cache().Flush();
    root_code_cache().Flush();
    const auto image = sent_bytes(host.sent);
    EXPECT_EQ(bytes_at(image, make_addr(0, 0xE000), 6),
              (std::vector<uint8_t>{0x21, 0x00, 0x40, 0x11, 0x00, 0x40}));
    EXPECT_EQ(bytes_at(image, 0x400A - 3, 4), (std::vector<uint8_t>{0xC7, 0x10, 0xE0, 0x0E}));
}

// With the settings the compile frame installs, the flush writes the root stub a program needs
// and records it in the address directories, so that a long jump written to the stub's root
// address goes straight to the function in xmem. A watch compile writes no stub.
TEST_F(AsmPath, FrameStubSettingsWriteAndRecordTheStub)
{
    // What the test changes comes back after it: the linker the other tests use (the shared
    // double, not the real unit) and the compile's address directories.
    struct ReleaseTables {
        LinkerSeam *linker = &linker_seam();
        CCAddrDirectory<uint32_t> root = root_address_directory();
        CCAddrDirectory<uint32_t> xmem = xmem_address_directory();
        ~ReleaseTables()
        {
            release_compiler_tables();
            set_linker_seam(linker);
            root_address_directory() = root;
            xmem_address_directory() = xmem;
        }
    } release;
    RecordingLinker linker;  // the frame sends listing ranges to the linker
    set_linker_seam(&linker);
    install_compiler_joins();
    root_address_directory().clear();
    xmem_address_directory().clear();
    allocate_symbol_tables(200);
    set_local_scope(false);
    symbol *fn = add_symbol("xfn", 3, 2, 0, 254, nullptr, 0);
    fn->flags[0] |= 1;
    fn->address[kFunctionAddressSlot] = make_addr(0x0E, 0xE010);
    fn->address[kRootStubAddressSlot] = kDummyAddress;

    set_watch_compile(true);
    compile("#asm\n ld hl,xfn\n#endasm\n");
    output_pending_stubs();
    set_watch_compile(false);
    EXPECT_EQ(fn->address[kRootStubAddressSlot], kDummyAddress) << "no stub in a watch compile";

    compile("#asm\n ld hl,xfn\n#endasm\n");
    output_pending_stubs();
    EXPECT_EQ(fn->address[kRootStubAddressSlot], 0x4000u);
    EXPECT_EQ(translate_root_address(0x4000), make_addr(0x0E, 0xE010));
    EXPECT_EQ(translate_xmem_address(make_addr(0x0E, 0xE010)), 0x4000u);
    compile("#asm\n ljp 0x4000\n#endasm\n");
    for (const Message &m : messages())
        ADD_FAILURE() << m.line << ": " << m.summary;
    xmem_code_cache().Flush();
    const uint32_t jump = addr_add(xmem_code_cache().current, -4);
    EXPECT_EQ(bytes_at(sent_bytes(host.sent), jump, 4),
              (std::vector<uint8_t>{0xC7, 0x10, 0xE0, 0x0E}));
}

TEST_F(AsmPath, LiteralsAreWrittenOnceAndNothingElseMoves)
{
    const uint32_t root = root_code_cache().current, xmem = xmem_code_cache().current;
    output_pending_stubs();
    EXPECT_EQ(root_code_cache().current, root);
    EXPECT_EQ(xmem_code_cache().current, xmem);
    EXPECT_EQ(constant_cache().current, 0x6000u);
    EXPECT_TRUE(listing.empty());

    pool_literal("str1", "hi");
    output_pending_stubs();
    output_pending_stubs();
    EXPECT_EQ(constant_cache().current, 0x6003u);
    ASSERT_EQ(literal_pool().size(), 1u);
    EXPECT_TRUE(literal_pool().begin()->second.emitted);
    EXPECT_EQ(literal_pool().begin()->second.address, 0x6000u);
    EXPECT_EQ(label_address("str1"), std::optional<ADDR24>(0x6000u));
    ASSERT_EQ(listing.size(), 1u);
    EXPECT_EQ(listing[0][2], uint32_t(kListData));
    constant_cache().Flush();
    EXPECT_EQ(bytes_at(sent_bytes(host.sent), 0x6000, 3), (std::vector<uint8_t>{'h', 'i', 0}));
}

TEST_F(AsmPath, SmallEmitOperations)
{
    set_condition_state(true, true);
    EXPECT_EQ(clear_condition_state(), 0);
    EXPECT_FALSE(comparison_result_in_registers());
    EXPECT_FALSE(comparison_flags_set());
    const uint32_t s = xmem_code_cache().current;
    emit_word(0xBEEF);
    xmem_code_cache().Flush();
    EXPECT_EQ(bytes_at(sent_bytes(host.sent), s, 2), (std::vector<uint8_t>{0xEF, 0xBE}));
    EXPECT_THROW(gen_push_new_value(2), xErr);
    int pushed_type = 0, regs = 0;
    set_stub_output_context({nullptr, nullptr, nullptr, [&](object *o, int r) {
                                 pushed_type = o->type;
                                 regs = r;
                             }});
    gen_push_new_value(4);
    EXPECT_EQ(pushed_type, 4);
    EXPECT_EQ(regs, 9);
}

// ---- through the compile sequence ---------------------------------------------------------------

// The frame's recording linker, keeping the blocks the compile sends; it knows no global labels
// besides those the compile defines.
class SendingLinker : public RecordingLinker {
public:
    std::vector<SentBlock> sent;
    std::optional<uint32_t> global_label_address(const std::string &) override { return std::nullopt; }
    void ui_send_block(uint32_t count, uint32_t addr, const uint8_t *bytes) override
    {
        sent.push_back({addr, std::vector<uint8_t>(bytes, bytes + count)});
    }
};

// The parser's share of the seam: its top level reads blocks only.
class BlockProgramParser : public RecordingParser {
public:
    void parse_program() override { top_level_loop(); }
};

TEST_F(AsmPath, TopLevelBlocksCompileThroughTheCompileSequence)
{
    SendingLinker linker;
    BlockProgramParser program;
    set_linker_seam(&linker);
    set_emit_cache_host(nullptr);  // the compile frame's own host
    install_compiler_joins();      // listing ranges go to the linker
    install_asm_path(&program);
    begin_input("#asm\nentry:: ld a,5\n jr entry\n#endasm\n\n#asm\n ld (hl),a\n#endasm\n");

    set_bios_root_code_end(0x4000);  // the program's root code starts there
    (void)compile_and_load(source->path());
    set_linker_seam(nullptr);
    install_asm_path(nullptr);

    for (const Message &m : messages())
        ADD_FAILURE() << m.line << ": " << m.summary;
    EXPECT_EQ(bytes_at(sent_bytes(linker.sent), 0x4000, 5),
              (std::vector<uint8_t>{0x3E, 0x05, 0x18, 0xFC, 0x77}));
    EXPECT_EQ(label_address("entry"), std::optional<ADDR24>(0x4000u));
    // The global label's map entry comes first: its own line, column 1, its address.
    const auto asm_entries = entries(SourceTable::AsmSource);
    ASSERT_EQ(asm_entries.size(), 3u);
    EXPECT_EQ(asm_entries[0].line, 2);
    EXPECT_EQ(asm_entries[0].column, 1);
    EXPECT_EQ(asm_entries[0].address, 0x4000u);
    EXPECT_EQ(asm_entries[1].line, 4);
    EXPECT_EQ(asm_entries[2].line, 8);
    EXPECT_EQ(asm_entries[2].address, 0x4005u);
    using R = RecordingLinker::ListRecord;
    EXPECT_EQ(linker.list_records, (std::vector<R>{{ListTable::CodeBlocks, 0x4000, 0x4004, 4},
                                                   {ListTable::CodeBlocks, 0x4004, 0x4005, 4}}));
}

// The same move with the compile frame's own cache host: it reserves no room while the block is
// measured (not even after a generated line of a C statement in the block) and moves on only
// from where the block reader last reserved; the jump to the follower is assembled for real.
TEST_F(AsmPath, BlockNearSegmentEndMovesWholeThroughTheFrameHost)
{
    SendingLinker linker;
    set_linker_seam(&linker);
    set_emit_cache_host(nullptr);
    set_c_statement_compiler([] { outasm("nop"); });
    place_near_segment_end(0x400, 100, true);
    const uint32_t s = xmem_code_cache().current;
    compile("#asm\n c x;\n" + block_of_200_bytes().substr(5));
    set_linker_seam(nullptr);

    EXPECT_TRUE(messages().empty());
    EXPECT_TRUE(host.sent.empty());
    // ljp 0xE000 in XPC page 0xF8
    expect_moved_whole(sent_bytes(linker.sent), s, {0xC7, 0x00, 0xE0, 0xF8}, {0x00}, listing);
}

// Generated lines near the end of an xmem segment: once a line leaves less room than the next
// may need, the room check after it moves the code on to the follow-on origin through a jump
// that is itself a generated line, assembled like any other (the assembler is free again by
// then). The code runs across the segment end on the simulator.
TEST_F(AsmPath, GeneratedLinesCrossToTheFollowerAndRunThere)
{
    constexpr uint32_t segment = make_addr(0x72, 0xE000);   // physical 0x80000, in RAM
    constexpr uint32_t follower = make_addr(0x74, 0xE000);  // physical 0x82000
    SendingLinker linker;
    set_linker_seam(&linker);
    set_emit_cache_host(nullptr);  // the frame's host: its jumps go through outasm
    const int32_t next = origins.add(follower, 0x1000, &xmem_code_cache());
    const int32_t seg = origins.add(segment, 0x200, &xmem_code_cache(), next);
    set_emit_origin_table(&origins);
    origins.entries[size_t(seg)].extent.end = addr_add(segment, 0x200 - 0x40);
    origins.select_origin(seg);
    set_current_code_cache(xmem_code_cache());
    const uint32_t start = xmem_code_cache().current;

    begin_input("");
    outasm("xor a");
    for (int i = 0; i < 40; ++i)
        outasm("add a,%d", 1);
    const uint32_t end = xmem_code_cache().current;
    xmem_code_cache().Flush();
    set_linker_seam(nullptr);

    for (const Message &m : messages())
        ADD_FAILURE() << m.summary;
    EXPECT_EQ(addr_xpc(end), 0x74u) << "the code went on in the follower";
    EXPECT_EQ(last_generated_address(), end);

    vsim::SimBoard board;
    for (const auto &[address, byte] : sent_bytes(linker.sent))
        ASSERT_TRUE(board.poke(addr_to_physical(address), byte));
    vsim::CpuState cpu;
    vsim::cpu_reset(cpu);
    cpu.xpc = static_cast<uint8_t>(addr_xpc(start));
    cpu.pc = static_cast<uint16_t>(addr_offset(start));
    const vsim::RunResult run =
        vsim::cpu_run(cpu, board, 1000,
                      {vsim::Breakpoint{static_cast<uint16_t>(addr_offset(end)), int(addr_xpc(end))}});
    EXPECT_EQ(run.reason, vsim::StopReason::breakpoint);
    EXPECT_EQ(cpu.main[vsim::rA], 40) << "A: " << int(cpu.main[vsim::rA]) << " (expected 40)";
    EXPECT_EQ(cpu.xpc, 0x74);
    EXPECT_EQ(run.instructions, 1u + 40u + 1u) << "every line and the one jump between";
}

}  // namespace
