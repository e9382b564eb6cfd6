// Compile speed: generates an ordinary C program of about 10,000 lines (globals, functions of
// 16-bit, long and float arithmetic, loops, a switch, calls and printf, and a main that calls
// them all), compiles it with kxcc (the BIOS compile, then the program) and reports source lines
// per second of host time (counter "lines/s"). A compile that stops at an error counts only the
// lines before the first error in the program ("lines", "errors"), so the rate is that of what
// compiles ("source" is the whole program's count); the BIOS compile's time is part of every run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr int kFunctions = 200;  // of 48 lines each, with main and the globals about 10,000

// One function of 48 lines: int, long and float work, a loop, a switch and a call.
void write_function(std::ostream &out, int n)
{
    out << "/* function " << n << " */\n"
        << "int table" << n << "[8] = { " << n << ", 1, 2, 3, 4, 5, 6, 7 };\n"
        << "long total" << n << " = " << n * 1000 << "L;\n\n"
        << "int work" << n << "(int a, int b)\n"
        << "{\n"
        << "    int i, s;\n"
        << "    long l;\n"
        << "    float f;\n"
        << "    unsigned u;\n\n"
        << "    s = 0;\n"
        << "    for (i = 0; i < 8; i++) {\n"
        << "        s = s + table" << n << "[i] * a;\n"
        << "        if (s > 1000)\n"
        << "            s = s - b;\n"
        << "    }\n"
        << "    l = total" << n << ";\n"
        << "    l = l * a + b;\n"
        << "    l = l / 7 - l % 5;\n"
        << "    u = s;\n"
        << "    u = u >> 2;\n"
        << "    f = s;\n"
        << "    f = f * 1.5 + l;\n"
        << "    switch (a & 7) {\n"
        << "    case 0: s = s + 1; break;\n"
        << "    case 1: s = s - 1; break;\n"
        << "    case 2: s = s * 2; break;\n"
        << "    case 3: s = s / 2; break;\n"
        << "    default: s = -s; break;\n"
        << "    }\n"
        << "    while (b > 0) {\n"
        << "        b = b - 3;\n"
        << "        s = s ^ b;\n"
        << "    }\n"
        << "    if (f > 100.0)\n"
        << "        s = s + (int)(f / 100.0);\n"
        << "    total" << n << " = l;\n"
        << "    if (s < 0)\n"
        << "        s = -s;\n"
        << "    s = s + (int)u;\n";
    if (n > 0)
        out << "    s = s + work" << n - 1 << "(a & 3, 1);\n";
    else
        out << "    s = s + 1;\n";
    out << "    return s;\n"
        << "}\n\n";
    for (int pad = 0; pad < 7; ++pad)
        out << "/* padding " << pad << " */\n";
}

// The program and its line count.
int write_program(const fs::path &path)
{
    std::ofstream out(path);
    out << "/* A generated program for the compile speed benchmark. */\n\n";
    for (int n = 0; n < kFunctions; ++n)
        write_function(out, n);
    out << "int main()\n{\n    int r;\n    r = 0;\n";
    for (int n = 0; n < kFunctions; n += 4)
        out << "    r = r + work" << n << "(" << n % 7 << ", " << n % 5 << ");\n";
    out << "    printf(\"%d\\n\", r);\n    return 0;\n}\n";
    out.close();
    std::ifstream in(path);
    return static_cast<int>(std::count(std::istreambuf_iterator<char>(in),
                                       std::istreambuf_iterator<char>(), '\n'));
}

std::string read_file(const fs::path &p)
{
    std::ifstream in(p);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The line of the first error kxcc reports in the program ("error prog.c:LINE:..."); an
// error without a line in it (a unit missing, a library) counts as line 1.
int first_error_line(const std::string &messages, int lines, int *errors)
{
    int first = lines + 1;
    *errors = 0;
    std::istringstream in(messages);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("error", 0) != 0)
            continue;
        ++*errors;
        int at = 1;
        if (line.rfind("error prog.c:", 0) == 0)
            at = std::atoi(line.c_str() + 13);
        first = std::min(first, std::max(at, 1));
    }
    return first;
}

void BM_KxccCompile(benchmark::State &state)
{
    const fs::path dir = fs::temp_directory_path() / ("kxcc-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path source = dir / "prog.c";
    const int lines = write_program(source);
    const std::string command = std::string(KX_TOOLS_DIR) + "/kxcc -o " + (dir / "prog.bin").string() +
                                " " + source.string() + " 2> " + (dir / "messages.txt").string();
    double seconds = 0;
    int compiled = 0, errors = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system(command.c_str());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        compiled = status == 0 ? lines
                               : first_error_line(read_file(dir / "messages.txt"), lines, &errors) - 1;
    }
    state.counters["source"] = lines;
    state.counters["lines"] = compiled;
    state.counters["errors"] = errors;
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(compiled) * static_cast<double>(state.iterations()) /
                           (seconds > 0 ? seconds : 1));
    std::error_code ec;
    fs::remove_all(dir, ec);
}
BENCHMARK(BM_KxccCompile)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
