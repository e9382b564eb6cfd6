// The library files as the library index reads them: every module's header lists the global
// labels its body defines and nothing else (a listed name its body does not define, or a label
// a compile cannot find by its module, fails a program's link), every C function a header
// declares has its function description, and "Lib.dir" and "default.h" bring in exactly the
// libraries of TARGET/lib.
#include "RuntimeLibrary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>

using namespace rtlib;
namespace fs = std::filesystem;

namespace {

std::string lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string &s)
{
    const size_t a = s.find_first_not_of(" \t");
    return a == std::string::npos ? "" : s.substr(a);
}

bool ident_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The identifier starting at `from` (after blanks), or "".
std::string identifier_at(const std::string &s, size_t from = 0)
{
    while (from < s.size() && (s[from] == ' ' || s[from] == '\t'))
        ++from;
    size_t end = from;
    while (end < s.size() && ident_char(s[end]))
        ++end;
    if (end == from || std::isdigit(static_cast<unsigned char>(s[from])))
        return "";
    return s.substr(from, end - from);
}

// The identifier just before the first "(" of the line, or "".
std::string name_before_paren(const std::string &s)
{
    size_t p = s.find('(');
    if (p == std::string::npos)
        return "";
    while (p > 0 && s[p - 1] == ' ')
        --p;
    size_t b = p;
    while (b > 0 && ident_char(s[b - 1]))
        --b;
    return s.substr(b, p - b);
}

// "name::" at the start of an assembly line: the name.
std::string global_label(const std::string &line)
{
    const std::string n = identifier_at(line);
    const size_t at = line.find(n);
    return !n.empty() && line.compare(at + n.size(), 2, "::") == 0 ? n : "";
}

struct Module {
    int line = 0;
    std::set<std::string> listed;      // the header's names
    std::set<std::string> labels;      // global labels its assembly defines
    std::set<std::string> functions;   // C functions it defines
    std::set<std::string> prototypes;  // C functions its header declares
};

struct Library {
    std::vector<Module> modules;
    std::set<std::string> described;
};

Library read_library(const fs::path &file)
{
    Library lib;
    std::ifstream in(file);
    enum { outside, header_names, header, body } state = outside;
    bool in_asm = false, in_comment = false, description_name = false;
    int number = 0;
    for (std::string text; std::getline(in, text);) {
        ++number;
        const std::string t = trim(text);
        const std::string l = lower(t);
        if (description_name) {
            if (const std::string n = identifier_at(t); !n.empty())
                lib.described.insert(n);
            description_name = false;
        }
        if (l.rfind("/* start function description", 0) == 0) {
            description_name = true;
            in_comment = t.find("*/") == std::string::npos;
            continue;
        }
        if (l.rfind("/*** beginheader", 0) == 0) {
            lib.modules.push_back({number, {}, {}, {}, {}});
            state = header_names;
        }
        if (state == header_names) {
            std::string names = t.rfind("/***", 0) == 0 ? t.substr(std::string("/*** BeginHeader").size()) : t;
            const size_t end = names.find("*/");
            if (end != std::string::npos)
                names.resize(end);
            for (size_t i = 0; i < names.size();) {
                if (!ident_char(names[i])) {
                    ++i;
                    continue;
                }
                const std::string n = identifier_at(names, i);
                lib.modules.back().listed.insert(n);
                i += n.size();
            }
            if (end != std::string::npos)
                state = header;
            continue;
        }
        if (l.rfind("/*** endheader", 0) == 0) {
            state = body;
            continue;
        }
        if (in_comment) {
            in_comment = t.find("*/") == std::string::npos;
            continue;
        }
        if (t.rfind("/*", 0) == 0) {
            in_comment = t.find("*/") == std::string::npos;
            continue;
        }
        if (l.rfind("#asm", 0) == 0) {
            in_asm = true;
            continue;
        }
        if (l.rfind("#endasm", 0) == 0) {
            in_asm = false;
            continue;
        }
        if (lib.modules.empty())
            continue;
        Module &m = lib.modules.back();
        const bool call_shape = t.find('(') != std::string::npos && t.find(')') != std::string::npos;
        if (state == header && call_shape && t.back() == ';' && t[0] != '#')
            m.prototypes.insert(name_before_paren(t));
        if (state != body)
            continue;
        if (in_asm) {
            if (const std::string n = global_label(text); !n.empty())
                m.labels.insert(n);
        } else if (call_shape && t.find(';') == std::string::npos && std::isalpha(static_cast<unsigned char>(t[0]))) {
            m.functions.insert(name_before_paren(t));
        }
    }
    return lib;
}

std::vector<fs::path> libraries()
{
    std::vector<fs::path> libs;
    for (const auto &e : fs::directory_iterator(target_dir() / "lib"))
        if (e.path().extension() == ".LIB")
            libs.push_back(e.path());
    std::sort(libs.begin(), libs.end());
    return libs;
}

class LibraryFile : public ::testing::TestWithParam<std::string> {};

TEST_P(LibraryFile, HeadersListWhatTheirModulesDefine)
{
    const Library lib = read_library(target_dir() / "lib" / GetParam());
    ASSERT_FALSE(lib.modules.empty());
    for (const Module &m : lib.modules) {
        for (const std::string &n : m.listed) {
            EXPECT_LE(n.size(), 32u) << n;
            EXPECT_TRUE(m.labels.count(n) || m.functions.count(n))
                << GetParam() << ":" << m.line << ": the header lists " << n << ", its module does not define it";
        }
        for (const std::string &n : m.labels)
            EXPECT_TRUE(m.listed.count(n)) << GetParam() << ":" << m.line << ": " << n
                                           << " is defined but not listed in its header";
        for (const std::string &n : m.functions)
            EXPECT_TRUE(m.listed.count(n)) << GetParam() << ":" << m.line << ": " << n
                                           << " is defined but not listed in its header";
    }
}

TEST_P(LibraryFile, EveryDeclaredFunctionIsDescribed)
{
    const Library lib = read_library(target_dir() / "lib" / GetParam());
    std::set<std::string> declared;
    for (const Module &m : lib.modules)
        declared.insert(m.prototypes.begin(), m.prototypes.end());
    for (const std::string &n : declared)
        EXPECT_TRUE(lib.described.count(n)) << n << " has no function description";
    for (const std::string &n : lib.described)
        EXPECT_TRUE(declared.count(n)) << n << " is described but not declared";
}

std::vector<std::string> library_names()
{
    std::vector<std::string> names;
    for (const fs::path &p : libraries())
        names.push_back(p.filename().string());
    return names;
}

INSTANTIATE_TEST_SUITE_P(All, LibraryFile, ::testing::ValuesIn(library_names()),
                         [](const auto &i) {
                             std::string n = i.param;
                             std::replace(n.begin(), n.end(), '.', '_');
                             return n;
                         });

// The list names every library and "default.h" (each entry, from the folder the build stages it
// in, where TARGET's own lib/ lies), and "default.h" brings in every library.
TEST(LibraryList, LibDirAndDefaultHeaderBringInEveryLibrary)
{
    std::set<std::string> listed, used;
    std::ifstream dir(target_dir() / "resources" / "Lib.dir");
    ASSERT_TRUE(dir);
    for (std::string line; std::getline(dir, line);) {
        if (line.empty() || line[0] == '*')
            continue;
        EXPECT_TRUE(fs::exists(target_dir() / line)) << line;
        listed.insert(fs::path(line).filename().string());
    }
    std::ifstream header(target_dir() / "lib" / "default.h");
    ASSERT_TRUE(header);
    for (std::string line; std::getline(header, line);) {
        if (line.rfind("#use", 0) != 0)
            continue;
        const size_t a = line.find('"'), b = line.rfind('"');
        if (a != std::string::npos && b > a)
            used.insert(line.substr(a + 1, b - a - 1));
    }
    const std::vector<std::string> all = library_names();
    std::set<std::string> expected(all.begin(), all.end());
    EXPECT_EQ(used, expected);
    expected.insert("default.h");
    EXPECT_EQ(listed, expected);
}

} // namespace
