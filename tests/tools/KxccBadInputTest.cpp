// kxcc on hostile programs: errors at the end of the program are the program's own (its file,
// no library named after it), a "main" that is no function is refused, and nesting that the
// source decides (calls, macro arguments, statements, costatements) ends in the limit's message
// with a stack of 1 MB, never in a crash. Each compile exits 1 and leaves no image.
#include "KxccSupport.h"

#include <string>

namespace {

using namespace kxcc_test;

std::string repeated(const std::string &text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

// f(f(f(...f(1)...))) `depth` calls deep.
std::string nested_calls(int depth)
{
    return "int f(int x) { return x; }\nint main() { return " + repeated("f(", depth) + "1" +
           std::string(depth, ')') + "; }\n";
}

// F(F(...F(1)...)) as macro calls in one another's arguments.
std::string nested_macro_arguments(int depth)
{
    return "#define F(x) ((x) + 1)\nint main() { return " + repeated("F(", depth) + "1" +
           std::string(depth, ')') + "; }\n";
}

std::string nested_blocks(int depth)
{
    return "int main() {\n" + repeated("{", depth) + repeated("}", depth) + "\nreturn 0; }\n";
}

std::string nested_costatements(int depth)
{
    return "int main() {\n" + repeated("costate {\n", depth) + "yield;\n" +
           repeated("}\n", depth) + "return 0; }\n";
}

struct BadProgram {
    const char *name;
    std::string source;
    const char *message;  // in the error output, on a line that names prog.c
};

const BadProgram kBadPrograms[] = {
    {"unterminated_comment_at_the_end", "int main() { return 0; }\n/* never closed\n",
     "Comment open at end of file."},
    {"missing_final_brace", "int main() {\n    int x;\n    x = 1;\n", "Unmatched '{'."},
    {"unterminated_if_0", "#if 0\nint main() { return 0; }\n",
     "Unterminated conditional directive."},
    {"main_is_an_int", "int main;\n", "a function named main is required."},
    {"main_is_a_char_array", "char main[] = \"abc\";\n", "a function named main is required."},
    {"calls_775_deep", nested_calls(775), "Calls nested too deep."},
    {"calls_8000_deep", nested_calls(8000), "Calls nested too deep."},
    {"macro_arguments_608_deep", nested_macro_arguments(608), "Too many nested macros."},
    {"macro_arguments_8000_deep", nested_macro_arguments(8000), "Too many nested macros."},
    {"blocks_8000_deep", nested_blocks(8000), "Statements nested too deep."},
    {"costatements_371_deep", nested_costatements(371), "Statements nested too deep."},
};

void PrintTo(const BadProgram &c, std::ostream *os) { *os << c.name; }

class KxccBadProgram : public Folder, public ::testing::WithParamInterface<BadProgram> {};

TEST_P(KxccBadProgram, FailsWithItsOwnMessageInItsOwnFile)
{
    const BadProgram &c = GetParam();
    write_file(dir / "prog.c", c.source);
    // The tool runs with a stack of 1 MB: a limit must report before that runs out.
    const ToolRun r = run(dir, "/bin/sh",
                          "-c \"ulimit -s 1024 && exec '" + tool("kxcc") + "' '" +
                              (dir / "prog.c").string() + "'\"");
    EXPECT_EQ(r.status, 1) << r.err;
    const std::size_t at = r.err.find(c.message);
    ASSERT_NE(at, std::string::npos) << r.err.substr(0, 4000);
    const std::size_t line = r.err.rfind('\n', at) + 1;
    EXPECT_NE(r.err.substr(line, at - line).find("prog.c"), std::string::npos)
        << r.err.substr(line, at - line + 80);
    EXPECT_EQ(r.err.find(".LIB"), std::string::npos)
        << "a library named after the program's error:\n" << r.err.substr(0, 4000);
    EXPECT_FALSE(fs::exists(dir / "prog.bin"));
}

INSTANTIATE_TEST_SUITE_P(All, KxccBadProgram, ::testing::ValuesIn(kBadPrograms),
                         [](const auto &i) { return std::string(i.param.name); });

}  // namespace
