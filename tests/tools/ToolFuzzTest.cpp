// Fuzzing smoke test of the test tools: inputs made by mutating the data files under tests/data
// (preprocessor sources for kxpp, assembly for kxasm, code bytes for kxdis, "bin" and Intel HEX
// images for kxrun, C programs for kxcc) and settings stores (for kxreg) are fed to the built
// tools, which must end normally with one of
// their own exit codes: no crash, no abort, no sanitizer report, no run past the time limit.
// A failing input is kept in fuzz-failures/ beside the test program, with the command that
// failed. KX_FUZZ_RUNS (runs per tool, default 500) and KX_FUZZ_SEED make the long run of
// "./kx fuzz" on the sanitizer build.
#include <gtest/gtest.h>

#include "codegen/CC_ASM.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const fs::path kData = KX_TEST_DATA;

std::string read_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> files_with(const fs::path &dir, const std::string &extension)
{
    std::vector<std::string> out;
    for (const auto &entry : fs::directory_iterator(dir))
        if (entry.path().extension() == extension)
            out.push_back(read_file(entry.path()));
    return out;
}

// ---- seeds --------------------------------------------------------------------------------------

// The simulator programs as code bytes, assembled here as kxasm would (origin 0).
std::vector<std::string> assembled_programs()
{
    std::vector<std::string> images;
    for (const std::string &source : files_with(kData / "sim", ".asm")) {
        set_asm_target(1, 257);
        init_asm_mnemonics();
        AsmImageHost host(0);
        set_asm_host(&host);
        std::istringstream lines(source);
        std::string line;
        while (std::getline(lines, line)) {
            assemble_line(line.c_str(), false);
            ++host.line;
        }
        host.finish();
        set_asm_host(nullptr);
        const std::vector<uint8_t> bytes = host.bytes(0, host.address);
        images.emplace_back(bytes.begin(), bytes.end());
    }
    return images;
}

// Code bytes as Intel HEX data records of 16 bytes and the end record.
std::string as_hex(const std::string &bytes)
{
    std::string text;
    char buf[16];
    for (size_t at = 0; at < bytes.size(); at += 16) {
        const size_t n = std::min<size_t>(16, bytes.size() - at);
        unsigned sum = unsigned(n) + ((at >> 8) & 0xFF) + (at & 0xFF);
        std::snprintf(buf, sizeof buf, ":%02X%04X00", unsigned(n), unsigned(at));
        text += buf;
        for (size_t i = 0; i < n; ++i) {
            const unsigned b = static_cast<uint8_t>(bytes[at + i]);
            sum += b;
            std::snprintf(buf, sizeof buf, "%02X", b);
            text += buf;
        }
        std::snprintf(buf, sizeof buf, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += buf;
    }
    return text + ":00000001FF\n";
}

// ---- mutations ----------------------------------------------------------------------------------

// Bytes and words that the tools' readers treat specially.
const std::vector<std::string> kTokens = {
    ":", "'", "\"", "#", "\\", "\\\n", ",", "(", ")", "[", "]", "+", "-", "*", "/", "%", "<<",
    ";", "\n", "\r\n", "\t", std::string(1, '\0'), "\xFF", "\xE9", "0xFFFF", "65535", "-1",
    "99999999999", "0x", "'ABCDE'", "ld a,", "ldir", "ljp ", "altd ", "ioi ", "#define ",
    "#if ", "#endif", "#else", "#use ", "#asm", "#endasm", "##", "__LINE__", "__FILE__",
    "#pragma nowarn start", ":00000001FF", ":020000040008F2", "\xED", "\xDD\xCB", "\x76",
    "\xD3", "\xC7", "\x76\xED", "\xD3\xED", "\xDB\xED", "\x76\xDD", "\xD3\xDD\xCB",
    "/*", "*/", "{", "}", "f(f(f(f(", "main", "int main;", "costate {", "waitfor(", "K \"",
    "\\x", "KXREG 1\n", "END\n",
};

class Mutator {
public:
    explicit Mutator(uint64_t seed) : m_rng(seed) {}

    size_t below(size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(m_rng); }

    std::string mutate(std::string s, const std::vector<std::string> &seeds)
    {
        const size_t rounds = 1 + below(4);
        for (size_t r = 0; r < rounds; ++r) {
            const size_t at = below(s.size() + 1);
            switch (below(8)) {
            case 0:
                if (!s.empty())
                    s[at % s.size()] ^= char(1u << below(8));
                break;
            case 1:
                if (!s.empty())
                    s[at % s.size()] = char(below(256));
                break;
            case 2:
                s.insert(at, kTokens[below(kTokens.size())]);
                break;
            case 3:
                s.erase(at, below(16) + 1);
                break;
            case 4: {
                const size_t from = below(s.size() + 1);
                s.insert(at, s.substr(from, below(64) + 1));
                break;
            }
            case 5:
                s.resize(at);
                break;
            case 6: {
                const std::string &other = seeds[below(seeds.size())];
                const size_t from = below(other.size() + 1);
                s.insert(at, other.substr(from, below(128) + 1));
                break;
            }
            default:
                s.insert(at, std::string(below(300) + 1, char(below(256))));
                break;
            }
        }
        return s;
    }

private:
    std::mt19937_64 m_rng;
};

// ---- running a tool -----------------------------------------------------------------------------

struct Outcome {
    bool exited = false;
    int code = -1;    // exit status when exited
    int signal = 0;   // the signal that ended it otherwise
};

// Runs the tool with stdout and stderr discarded and at most `cpu_seconds` of CPU time; a
// sanitizer report ends it with status 86.
Outcome run(const std::vector<std::string> &argv, int cpu_seconds)
{
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        rlimit cpu{rlim_t(cpu_seconds), rlim_t(cpu_seconds + 1)};
        setrlimit(RLIMIT_CPU, &cpu);
        setenv("ASAN_OPTIONS", "detect_leaks=0:exitcode=86", 1);
        setenv("UBSAN_OPTIONS", "halt_on_error=1:exitcode=86", 1);
        execv(args[0], args.data());
        _exit(127);
    }
    Outcome out;
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return out;
    if (WIFEXITED(status)) {
        out.exited = true;
        out.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        out.signal = WTERMSIG(status);
    }
    return out;
}

uint64_t env_number(const char *name, uint64_t fallback)
{
    const char *v = std::getenv(name);
    return v && *v ? std::strtoull(v, nullptr, 0) : fallback;
}

// ---- the tools ----------------------------------------------------------------------------------

struct ToolCase {
    const char *name;
    const char *tool;
    const char *extension;                     // of the input file
    std::vector<std::vector<std::string>> args; // argument sets, the input path appended
    std::set<int> codes;                       // the tool's own exit codes
    std::vector<std::string> (*seeds)();
};

std::vector<std::string> pp_seeds() { return files_with(kData / "pp", ".c"); }

std::vector<std::string> asm_seeds()
{
    std::vector<std::string> s = files_with(kData / "asm", ".asm");
    for (const std::string &more : files_with(kData / "sim", ".asm"))
        s.push_back(more);
    return s;
}

std::vector<std::string> dis_seeds()
{
    std::vector<std::string> s = files_with(kData / "asm", ".bin");
    for (const std::string &more : assembled_programs())
        s.push_back(more);
    return s;
}

std::vector<std::string> run_seeds()
{
    std::vector<std::string> s;
    for (const std::string &image : assembled_programs()) {
        s.push_back(image);
        s.push_back(as_hex(image));
    }
    return s;
}

const std::string kPpLib = (kData / "pp" / "lib").string();

// C programs for kxcc: the compiled-and-run cases, whose mutations reach the parser, the code
// generator and the libraries behind them.
std::vector<std::string> cc_seeds() { return files_with(kData / "cc", ".c"); }

// Settings stores: keys at several depths, the three value types, escapes, the root's values.
std::vector<std::string> store_seeds()
{
    return {
        "KXREG 1\nK \"Software\"\nK \"Software\" \"Brantel\" \"KXW\"\n"
        "S \"Name\" \"a \\x22quoted\\x22 text\"\nI \"Count\" -12\nB \"Float\" x000000000000f03f\n"
        "K \"Software\" \"Brantel\" \"KXW\" \"8.51\"\nS \"\" \"empty name\"\nEND\n",
        "KXREG 1\nK\nI \"root value\" 2147483647\nK \"A\"\nK \"A\" \"B\"\nB \"b\" x\nEND\n",
        "KXREG 1\r\nK \"A\"\r\nS \"s\" \"\\x0d\\x0a\"\r\nEND\r\n",
    };
}

const ToolCase kTools[] = {
    {"kxpp", "kxpp", ".c", {{"-L", kPpLib}, {"-p", "-L", kPpLib}}, {0, 1}, pp_seeds},
    {"kxasm", "kxasm", ".asm",
     {{"--cpu", "2000", "--org", "0x100"}, {"--cpu", "3000", "--debug", "--org", "0xFFF0"},
      {"--z180", "--org", "0"}},
     {0, 1}, asm_seeds},
    {"kxdis", "kxdis", ".bin",
     {{"--cpu", "2000"}, {"--cpu", "3000", "--org", "0xFFFE"}, {"--z180"}}, {0}, dis_seeds},
    // The image file has no telling extension: a HEX text is known by its contents.
    {"kxrun", "kxrun", ".img",
     {{"--max", "3000", "--sp", "0xDFF0"},
      {"--cpu", "3000", "--max", "3000", "--dump", "0x80000:16"}},
     {0, 1, 2}, run_seeds},
    // 3 is kxreg's own report of a store that reads back differently: a failure here.
    {"kxreg", "kxreg", ".kxreg", {{}}, {0, 1}, store_seeds},
    {"kxcc", "kxcc", ".c", {{}, {"--nodebug", "--cpu", "3000"}}, {0, 1}, cc_seeds},
};

void PrintTo(const ToolCase &c, std::ostream *os) { *os << c.name; }

class ToolFuzz : public ::testing::TestWithParam<ToolCase> {};

TEST_P(ToolFuzz, MutatedInputsEndNormally)
{
    const ToolCase &c = GetParam();
    const std::vector<std::string> seeds = c.seeds();
    ASSERT_FALSE(seeds.empty());
    const uint64_t runs = env_number("KX_FUZZ_RUNS", 500);
    const uint64_t seed = env_number("KX_FUZZ_SEED", 20240601) + std::hash<std::string>{}(c.name);
    Mutator mutator(seed);

    const fs::path work = fs::temp_directory_path() /
                          ("kx-fuzz-" + std::string(c.name) + "-" + std::to_string(getpid()));
    fs::create_directories(work);
    const fs::path input = work / (std::string("input") + c.extension);
    const fs::path failures = fs::read_symlink("/proc/self/exe").parent_path() / "fuzz-failures";
    const std::string tool = std::string(KX_TOOLS_DIR "/") + c.tool;

    int failed = 0;
    for (uint64_t i = 0; i < runs && failed < 5; ++i) {
        const std::string text = mutator.mutate(seeds[i % seeds.size()], seeds);
        // What the last run left beside its input (an image, a store set aside) goes first.
        for (const auto &entry : fs::directory_iterator(work))
            fs::remove_all(entry.path());
        std::ofstream(input, std::ios::binary | std::ios::trunc) << text;
        std::vector<std::string> argv = {tool};
        for (const std::string &a : c.args[i % c.args.size()])
            argv.push_back(a);
        argv.push_back(input.string());
        const Outcome out = run(argv, 20);
        if (out.exited && c.codes.count(out.code))
            continue;
        ++failed;
        fs::create_directories(failures);
        const fs::path kept =
            failures / (std::string(c.name) + "-" + std::to_string(i) + c.extension);
        std::ofstream(kept, std::ios::binary) << text;
        std::string command;
        for (size_t a = 0; a + 1 < argv.size(); ++a)
            command += argv[a] + " ";
        ADD_FAILURE() << command << kept.string() << " ended "
                      << (out.exited ? "with status " + std::to_string(out.code)
                                     : "by signal " + std::to_string(out.signal));
    }
    std::error_code ec;
    fs::remove_all(work, ec);
}

INSTANTIATE_TEST_SUITE_P(Tools, ToolFuzz, ::testing::ValuesIn(kTools),
                         [](const auto &i) { return std::string(i.param.name); });

}  // namespace
