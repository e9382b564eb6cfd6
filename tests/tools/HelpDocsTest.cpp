// The help pages staged in <build>/korvex/docs: every link of every page leads to a file that
// is there and to an anchor that file has; the instruction-set reference made by kxdocs holds
// every mnemonic of the assembler's table with the right bytes and cycles; the function
// reference holds every description of the staged libraries, as Function Lookup reads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "codegen/CC_ASMTAB.h"
#include "linker/LB_CAT.h"

namespace fs = std::filesystem;

namespace {

fs::path staged_docs() { return fs::path(KX_TOOLS_DIR).parent_path() / "korvex" / "docs"; }

std::string read_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<fs::path> pages()
{
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto &entry : fs::recursive_directory_iterator(staged_docs(), ec))
        if (entry.is_regular_file() && entry.path().extension() == ".html")
            out.push_back(entry.path());
    std::sort(out.begin(), out.end());
    return out;
}

std::string html_escaped(const std::string &text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c; break;
        }
    }
    return out;
}

std::set<std::string> anchors_of(const std::string &html)
{
    std::set<std::string> ids;
    static const std::regex id(R"re(\s(?:id|name)="([^"]*)")re");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), id); it != std::sregex_iterator();
         ++it)
        ids.insert((*it)[1]);
    return ids;
}

TEST(HelpDocs, EveryPageTheSettingsNameIsStaged)
{
    for (const char *page : {"guide.html", "keystrokes.html", "index.html", "language.html",
                             "operators.html", "instructions.html", "functions/index.html"})
        EXPECT_TRUE(fs::is_regular_file(staged_docs() / page)) << page;
}

// Relative links only (the pages travel with the program): a file beside or below the page,
// and, after "#", an id of that file.
TEST(HelpDocs, EveryLinkResolvesToAFileAndAnAnchor)
{
    const std::vector<fs::path> all = pages();
    ASSERT_GE(all.size(), 8u) << staged_docs().string();
    std::map<fs::path, std::set<std::string>> anchors;
    for (const fs::path &page : all)
        anchors[fs::weakly_canonical(page)] = anchors_of(read_file(page));
    static const std::regex link(R"re(\s(?:href|src)="([^"]*)")re");
    std::string broken;
    int links = 0;
    for (const fs::path &page : all) {
        const std::string html = read_file(page);
        for (auto it = std::sregex_iterator(html.begin(), html.end(), link);
             it != std::sregex_iterator(); ++it) {
            ++links;
            const std::string target = (*it)[1];
            const std::size_t hash = target.find('#');
            const std::string file = target.substr(0, hash);
            const std::string fragment = hash == std::string::npos ? "" : target.substr(hash + 1);
            const std::string where = page.lexically_relative(staged_docs()).string() + ": " + target;
            if (file.find(':') != std::string::npos || (!file.empty() && file[0] == '/')) {
                broken += where + " (not a relative link)\n";
                continue;
            }
            const fs::path to = fs::weakly_canonical(file.empty() ? page : page.parent_path() / file);
            if (!fs::is_regular_file(to)) {
                broken += where + " (no such file)\n";
                continue;
            }
            if (fragment.empty())
                continue;
            if (!anchors.count(to))
                anchors[to] = anchors_of(read_file(to));
            if (!anchors[to].count(fragment))
                broken += where + " (no such anchor)\n";
        }
    }
    EXPECT_GT(links, 200);
    EXPECT_TRUE(broken.empty()) << broken;
}

TEST(HelpDocs, TheInstructionReferenceHasASectionForEveryMnemonicOfTheAssembler)
{
    const std::string html = read_file(staged_docs() / "instructions.html");
    const std::set<std::string> ids = anchors_of(html);
    for (int i = 0; i < kAsmMnemonicRows; ++i) {
        const std::string mnemonic = kAsmMnemonicTable[i].mnemonic;
        EXPECT_TRUE(ids.count("mn-" + mnemonic)) << mnemonic;
        EXPECT_NE(html.find("href=\"#mn-" + mnemonic + "\""), std::string::npos)
            << mnemonic << " is not in the index";
    }
    for (int i = 0; i < kAsmFormCount; ++i) {
        const AsmForm &f = kAsmForms[i];
        if (f.mnemonic == kMnInvalid)
            continue;
        EXPECT_TRUE(ids.count("mn-" + std::string(asm_mnemonic_name(f.mnemonic)))) << i;
    }
}

// Rows as the page must show them: instruction, bytes, then the cycles on the Vireon 2000, the
// Vireon 3000 and the Z180 ("-": not on that processor).
struct RowCase {
    const char *name;
    const char *row;
};

const RowCase kRows[] = {
    {"nop", "<td class=\"code\">nop</td><td class=\"code\">00</td><td>2</td><td>2</td><td>3</td>"},
    {"ld_r_r", "<td class=\"code\">ld r,r'</td><td class=\"code\">01dddsss</td><td>2</td><td>2</td><td>4</td>"},
    {"ld_r_hl", "<td class=\"code\">ld r,(hl)</td><td class=\"code\">01rrr110</td><td>5</td><td>5</td><td>6</td>"},
    {"ld_ix_d", "<td class=\"code\">ld r,(ix+d)</td><td class=\"code\">DD 01rrr110 d</td><td>9</td><td>9</td><td>14</td>"},
    {"ld_ss_mn", "<td class=\"code\">ld ss,mn</td><td class=\"code\">00ss0001 lo hi</td><td>6</td><td>6</td><td>9</td>"},
    {"ldir", "<td class=\"code\">ldir</td><td class=\"code\">ED B0</td><td>6+7n</td><td>6+7n</td><td>14/12</td>"},
    {"ret_cc", "<td class=\"code\">ret cc</td><td class=\"code\">11ccc000</td><td>8/2</td><td>8/2</td><td>10/5</td>"},
    {"jr_cc", "<td class=\"code\">jr cc,e</td><td class=\"code\">001cc000 e</td><td>5</td><td>5</td><td>8/6</td>"},
    {"ljp", "<td class=\"code\">ljp xpc:mn</td><td class=\"code\">C7 lo hi xpc</td><td>10</td><td>10</td><td>-</td>"},
    {"idet", "<td class=\"code\">idet</td><td class=\"code\">5B</td><td>-</td><td>2</td><td>-</td>"},
    {"ld_a_bc", "<td class=\"code\">ld a,(bc)</td><td class=\"code\">0A</td><td>6</td><td>6</td><td>6</td>"},
    {"rst", "<td class=\"code\">rst v</td><td class=\"code\">11vvv111</td><td>8</td><td>8</td><td>11</td>"},
    {"ld_hl_r", "<td class=\"code\">ld (hl),r</td><td class=\"code\">01110rrr</td><td>6</td><td>6</td><td>7</td>"},
    {"in0", "<td class=\"code\">in0 r,(n)</td><td class=\"code\">ED 00rrr000 n</td><td>-</td><td>-</td><td>12</td>"},
    {"ld_eir_a", "<td class=\"code\">ld eir,a</td><td class=\"code\">ED 47</td><td>4</td><td>4</td><td>-</td>"},
    {"ld_i_a", "<td class=\"code\">ld i,a</td><td class=\"code\">ED 47</td><td>-</td><td>-</td><td>6</td>"},
    {"bit_ix", "<td class=\"code\">bit b,(ix+d)</td><td class=\"code\">DD CB d 01bbb110</td><td>10</td><td>10</td><td>15</td>"},
};

class InstructionRows : public ::testing::TestWithParam<RowCase> {};

TEST_P(InstructionRows, ShowBytesAndCyclesOnEachProcessor)
{
    const std::string html = read_file(staged_docs() / "instructions.html");
    EXPECT_NE(html.find(GetParam().row), std::string::npos) << GetParam().row;
}

INSTANTIATE_TEST_SUITE_P(All, InstructionRows, ::testing::ValuesIn(kRows),
                         [](const auto &i) { return std::string(i.param.name); });

// Every description the libraries hold is on its library's page, word for word as the
// description window shows it, and in the index of all functions.
TEST(HelpDocs, TheFunctionReferenceHoldsEveryDescriptionOfTheLibraries)
{
    const fs::path lib = staged_docs().parent_path() / "lib";
    const std::string index = read_file(staged_docs() / "functions" / "index.html");
    int described = 0;
    for (const auto &entry : fs::directory_iterator(lib)) {
        if (entry.path().extension() != ".LIB")
            continue;
        ZLibEntry modules, descriptions;
        modules.path = descriptions.path = entry.path().string();
        ASSERT_TRUE(LibIndexBuild(modules, descriptions)) << entry.path();
        const std::string page_name = entry.path().stem().string() + ".html";
        const std::string page = read_file(staged_docs() / "functions" / page_name);
        ASSERT_FALSE(page.empty()) << page_name;
        for (const auto &d : descriptions.modules) {
            ++described;
            const std::string name = d->names.front().c_str();
            const std::optional<std::string> text = lib_description_text(*d);
            ASSERT_TRUE(text) << name;
            EXPECT_NE(page.find("id=\"fn-" + name + "\""), std::string::npos) << name;
            EXPECT_NE(page.find("<pre>" + html_escaped(*text) + "</pre>"), std::string::npos)
                << name;
            EXPECT_NE(index.find("href=\"" + page_name + "#fn-" + name + "\""), std::string::npos)
                << name;
        }
    }
    EXPECT_GT(described, 20);
}

} // namespace
