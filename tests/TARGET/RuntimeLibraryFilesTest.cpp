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
#include <regex>
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
    static const std::regex label(R"(^\s*([A-Za-z_][A-Za-z_0-9]*)::)");
    static const std::regex definition(R"(^[A-Za-z_][^;()]*\b([A-Za-z_][A-Za-z_0-9]*)\s*\([^;]*\)\s*$)");
    static const std::regex prototype(R"(\b([A-Za-z_][A-Za-z_0-9]*)\s*\([^()]*\)\s*;)");
    static const std::regex name(R"([A-Za-z_][A-Za-z_0-9]*)");
    int number = 0;
    for (std::string text; std::getline(in, text);) {
        ++number;
        const std::string t = trim(text);
        const std::string l = lower(t);
        if (description_name) {
            std::smatch m;
            if (std::regex_search(t, m, name))
                lib.described.insert(m.str());
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
            for (auto it = std::sregex_iterator(names.begin(), end == std::string::npos ? names.end() : names.begin() + long(end), name);
                 it != std::sregex_iterator(); ++it)
                lib.modules.back().listed.insert(it->str());
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
        if (lower(t).rfind("#asm", 0) == 0) {
            in_asm = true;
            continue;
        }
        if (lower(t).rfind("#endasm", 0) == 0) {
            in_asm = false;
            continue;
        }
        if (lib.modules.empty())
            continue;
        Module &m = lib.modules.back();
        std::smatch match;
        if (state == header && std::regex_search(t, match, prototype))
            m.prototypes.insert(match[1].str());
        if (state != body)
            continue;
        if (in_asm && std::regex_search(text, match, label))
            m.labels.insert(match[1].str());
        if (!in_asm && std::regex_search(t, match, definition))
            m.functions.insert(match[1].str());
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

TEST(LibraryList, LibDirAndDefaultHeaderBringInEveryLibrary)
{
    std::set<std::string> listed, used;
    std::ifstream dir(target_dir() / "Lib.dir");
    ASSERT_TRUE(dir);
    for (std::string line; std::getline(dir, line);) {
        if (line.empty() || line[0] == '*')
            continue;
        EXPECT_TRUE(fs::exists(target_dir() / line)) << line;
        listed.insert(fs::path(line).filename().string());
    }
    std::ifstream header(target_dir() / "default.h");
    ASSERT_TRUE(header);
    static const std::regex use(R"(^#use\s+"([^"]+)\")");
    for (std::string line; std::getline(header, line);) {
        std::smatch m;
        if (std::regex_search(line, m, use))
            used.insert(m[1].str());
    }
    const std::vector<std::string> all = library_names();
    EXPECT_EQ(listed, std::set<std::string>(all.begin(), all.end()));
    EXPECT_EQ(used, std::set<std::string>(all.begin(), all.end()));
}

} // namespace
