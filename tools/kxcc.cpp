// kxcc: compiles a C file into a runnable image without the IDE, the way the IDE compiles to a
// file without a target: the BIOS compile first, then the program with "Include BIOS", into
// IMAGE (the "bin" file), its "hex" twin and the map beside it (and the listing with --list).
//   kxcc [-o IMAGE] [--cpu 2000|3000|z180] [--list] [--nodebug] [--pointer-checks] file.c
//   kxcc prog.c -o prog.bin && kxrun --console prog.bin
//
// The BIOS, "Lib.dir", "kxw.cfg", "Flash.ini" and the libraries come from the staged resources
// (<build>/korvex, beside the tool's own folder). The program is compiled where it is, so that
// the names it uses ("#ximport", "#include") resolve against its own folder and "__FILE__" is
// the path given; the BIOS is compiled where it is staged. The compiles write their own files
// (object, download image, map, breakpoint dump) into a private work folder, so that nothing
// lands beside the user's source, in the shared resources or in the user's cache but the
// outputs asked for, and two runs never meet. Messages are printed as
// kxpp prints them; any error exits 1 and leaves no image.
#include "driver/BiosCache.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "driver/CC_GO.h"
#include "core/SEAM_SETTINGS.h"
#include "core/SEAM_TARGET.h"
#include "driver/Temporaryglobals.h"
#include "ToolSeams.h"
#include "core/guiExceptions.h"
#include "link/guiCompilerInterface.h"
#include "linker/LB_CAT.h"
#include "core/guiInterface.h"
#include "settings/guiKXPreferences.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kMsgNoTargetLink = 7151;  // "The target link is not part of this build."

struct Options {
    std::string source;        // absolute
    std::string given_source;  // as given: what the compile reads and "__FILE__" names
    std::string image;  // the "bin" file
    int cpu = 2000; // 180: the Z180, as "#pragma Zilog180" selects it
    bool list = false;
    bool debug = true;
    bool pointer_checks = false;
};

void usage(std::FILE *to)
{
    std::fprintf(to,
                 "usage: kxcc [-o IMAGE] [--cpu 2000|3000|z180] [--list] [--nodebug]\n"
                 "            [--pointer-checks]\n"
                 "            file.c\n"
                 "  -o IMAGE         the image (\"bin\") to write; its \"hex\" twin, the map and\n"
                 "                   the listing go beside it (default: file.bin beside file.c)\n"
                 "  --cpu 2000|3000|z180  the processor compiled for (default 2000); z180 is the\n"
                 "                   Z180 target of \"#pragma Zilog180\", for BIOS and program\n"
                 "  --list           also write the listing (IMAGE with \".lst\")\n"
                 "  --nodebug        compile without the debug kernel's hooks (\"Include RST 28\"\n"
                 "                   off)\n"
                 "  --pointer-checks every store through a pointer is checked at run time against\n"
                 "                   the pages the program may write (\"RTC Pointers\" on; needs\n"
                 "                   the debug code, processor 2000 or 3000 alike)\n"
                 "Exit status: 0 compiled, 1 any error (bad arguments too; no image is left).\n");
}

std::optional<Options> parse_arguments(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-o" && i + 1 < argc) {
            o.image = argv[++i];
        } else if (arg == "--cpu" && i + 1 < argc) {
            const std::string cpu = argv[++i];
            if (cpu != "2000" && cpu != "3000" && cpu != "z180") {
                std::fprintf(stderr, "kxcc: --cpu takes 2000, 3000 or z180, not '%s'\n",
                             cpu.c_str());
                return std::nullopt;
            }
            o.cpu = cpu == "z180" ? 180 : std::atoi(cpu.c_str());
        } else if (arg == "--list") {
            o.list = true;
        } else if (arg == "--nodebug") {
            o.debug = false;
        } else if (arg == "--pointer-checks") {
            o.pointer_checks = true;
        } else if (arg == "--help") {
            usage(stdout);
            std::exit(0);
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "kxcc: unknown option '%s'\n", arg.c_str());
            return std::nullopt;
        } else if (o.source.empty()) {
            o.source = arg;
        } else {
            std::fprintf(stderr, "kxcc: one source file only ('%s' and '%s')\n",
                         o.source.c_str(), arg.c_str());
            return std::nullopt;
        }
    }
    if (o.source.empty())
        return std::nullopt;
    if (o.image.empty())
        o.image = fs::path(o.source).replace_extension(".bin").string();
    std::error_code ec;
    o.given_source = o.source;
    o.source = fs::absolute(o.source, ec).string();
    o.image = fs::absolute(o.image, ec).string();
    return o;
}

// The target side of a compile to a file without a target: the settings and loader rates the
// compile reads, and no port. Whatever would reach a board refuses.
class NoTargetOperations : public TargetOperations {
public:
    TCOptionsType GetCommSettings() override { return m_settings; }
    void SetCommSettings(TCOptionsType settings) override { m_settings = settings; }
    std::array<uint32_t, 3> GetLoaderBaudRates() override { return m_rates; }
    void SetLoaderBaudRates(const std::array<uint32_t, 3> &rates) override { m_rates = rates; }
    void TcGetUsbSerialDelay(uint8_t &, uint32_t &) override { refuse(); }
    void TcSetUsbSerialDelay(uint8_t, uint32_t) override { refuse(); }
    void SetTraceOptions() override {}
    uint32_t TcGetRetryCount() override { refuse(); }
    void TcSetRetryCount(uint32_t) override { refuse(); }
    uint32_t TcGetResponseTimeout() override { refuse(); }
    void TcSetResponseTimeout(uint32_t) override { refuse(); }
    TcBoardInfo TcReadBoardInfo() override { refuse(); }
    bool TcValidateIdBlock(const std::array<uint8_t, 132> &) override { refuse(); }
    void TcSendFlashParameters(uint32_t, uint32_t, uint32_t, uint32_t) override { refuse(); }
    bool TcEraseFlash(uint32_t) override { refuse(); }
    void TcDownloadFile(const std::string &, const std::string &, uint32_t, uint32_t, uint32_t,
                        uint32_t) override
    {
        refuse();
    }
    void TcWritePhysicalMemory(uint32_t, const uint8_t *, uint32_t) override { refuse(); }
    void TcReadMemory(uint32_t, uint8_t *, uint32_t) override { refuse(); }
    void ShowCompileStatusCaption() override {}
    void ReconnectAtDebugBaud() override {}
    void TraceStartCapture() override {}
    void TraceStopCapture() override {}
    bool areBreakpointsEnabled() override { return false; }
    uint8_t getMaxWatches() override { return 0; }
    bool toggleBreakpoint(TEditorInterface &) override { return false; }
    bool toggleHardBreakpoint(TEditorInterface &) override { return false; }
    TcLinkError TcGetLinkError() override { return {}; }
    void TcShowLinkError(uint8_t, uint8_t, uint8_t) override { refuse(); }
    void TcSendSysPoll() override { refuse(); }
    void TcSendDbgPoll() override { refuse(); }
    void TcCheckPendingError() override {}
    void TcCloseConnection() override {}
    void TcResetTarget() override { refuse(); }
    void TcClearTraceFlags() override {}
    void TcSetTraceFlag(uint8_t, bool) override { refuse(); }
    void forgetBreakpoints() override {}

private:
    [[noreturn]] static void refuse() { throw xErr(kMsgNoTargetLink, KX_HERE); }
    TCOptionsType m_settings;
    std::array<uint32_t, 3> m_rates{2400, 57600, 115200};  // a new project's rates
};

// What the compile shows in a box is kept and printed after the compile's messages, one line
// each: "error: text" when the compile failed (a thrown error, a missing libraries list), else
// "note: text" (the note that the image was written).
class BoxesAsErrors : public TMessageBoxHost {
public:
    std::vector<std::string> texts;
    int ShowMessageBox(const std::string &text, const std::string &, unsigned flags) override
    {
        texts.push_back(text);
        return unattended_answer(flags);
    }
};

// The folder of this program (the resources are staged beside it).
std::string own_path(const char *argv0)
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(argv0) : self.string();
}

// A private folder for the compiles' own files, removed whatever happens.
struct WorkFolder {
    fs::path path;
    WorkFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "kxcc-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path = pattern;
    }
    ~WorkFolder()
    {
        std::error_code ec;
        if (!path.empty())
            fs::remove_all(path, ec);
    }
};

// The compile-to-file sequence without a target, as the IDE runs it: the BIOS compile, then the
// program with the project's "Include BIOS". A cancel (never asked for here) counts as a failure.
uint16_t compile_to_file(const std::string &bios, const std::string &program)
{
    set_bios_file(bios);
    ClearCompileFlags();
    const int status = CompileFile(program, false);
    return status < 0 ? uint16_t(2) : static_cast<uint16_t>(status);
}

// What a compile writes beside IMAGE: the "bin" file first, then its "hex" twin and the map,
// and the listing when asked for; each by its extension in the work folder.
std::vector<std::pair<std::string, fs::path>> outputs(const Options &o)
{
    const fs::path image(o.image);
    std::vector<std::pair<std::string, fs::path>> files = {
        {".bin", image},
        {".hex", fs::path(image).replace_extension(".hex")},
        {".map", fs::path(image).replace_extension(".map")},
    };
    if (o.list)
        files.push_back({".lst", fs::path(image).replace_extension(".lst")});
    return files;
}

// The file an output name stands for: a symbolic link is followed (the link stays, its target
// gets the new bytes), also to a target not made yet.
fs::path final_file(fs::path file)
{
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(file, ec); ++hops) {
        const fs::path target = fs::read_symlink(file, ec);
        if (ec)
            break;
        file = target.is_absolute() ? target : file.parent_path() / target;
    }
    return file;
}

// An output that names something other than a file (a folder, FIFO, device or socket) is
// refused before the compile starts: nothing there is removed or written.
bool outputs_are_files(const Options &o)
{
    for (const auto &[extension, file] : outputs(o)) {
        std::error_code ec;
        const fs::file_status status = fs::status(file, ec);
        if (!fs::exists(status) || fs::is_regular_file(status))
            continue;
        std::fprintf(stderr, "kxcc: '%s' exists and is not a regular file: nothing written\n",
                     file.c_str());
        return false;
    }
    return true;
}

// The outputs of the program's compile, from the work folder to their places: each is copied
// to a scratch file beside its final name first, and only when all are there do they take
// their places; no scratch file stays behind.
bool take_outputs(const fs::path &work_source, const Options &o)
{
    std::vector<std::pair<fs::path, fs::path>> staged;  // scratch, final
    const auto drop_staged = [&staged](std::size_t from) {
        std::error_code ignored;
        for (std::size_t i = from; i < staged.size(); ++i)
            fs::remove(staged[i].first, ignored);
    };
    for (const auto &[extension, name] : outputs(o)) {
        const fs::path to = final_file(name);
        std::string scratch =
            (to.parent_path() / ("." + to.filename().string() + ".kxcc-XXXXXX")).string();
        std::error_code ec;
        const int fd = ::mkstemp(scratch.data());
        if (fd < 0) {
            ec = std::error_code(errno, std::generic_category());
        } else {
            ::close(fd);
            staged.push_back({scratch, to});
            fs::copy_file(fs::path(work_source).replace_extension(extension), scratch,
                          fs::copy_options::overwrite_existing, ec);
            // mkstemp made it private; an output is as readable as any file the user makes.
            if (!ec) {
                const mode_t mask = ::umask(0);
                ::umask(mask);
                fs::permissions(scratch, static_cast<fs::perms>(0666 & ~mask), ec);
            }
        }
        if (ec) {
            std::fprintf(stderr, "kxcc: cannot write '%s': %s\n", name.c_str(),
                         ec.message().c_str());
            drop_staged(0);
            return false;
        }
    }
    for (std::size_t i = 0; i < staged.size(); ++i) {
        std::error_code ec;
        fs::rename(staged[i].first, staged[i].second, ec);
        if (ec) {
            std::fprintf(stderr, "kxcc: cannot write '%s': %s\n", staged[i].second.c_str(),
                         ec.message().c_str());
            drop_staged(i);
            return false;
        }
    }
    return true;
}

// A failed compile leaves no image to run: an image and its "hex" twin of an earlier run go,
// when they are ordinary files (anything else was refused before the compile).
void remove_image(const Options &o)
{
    const auto files = outputs(o);
    for (int i = 0; i < 2; ++i) {
        std::error_code ec;
        if (fs::is_regular_file(fs::symlink_status(files[i].second, ec)))
            fs::remove(files[i].second, ec);
    }
}

// True when an output would be written over the source.
bool replaces_source(const Options &o)
{
    const fs::path source = fs::path(o.source).lexically_normal();
    for (const auto &[extension, file] : outputs(o)) {
        std::error_code ec;
        if (file.lexically_normal() == source || fs::equivalent(file, source, ec))
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char **argv)
{
    const std::optional<Options> parsed = parse_arguments(argc, argv);
    if (!parsed) {
        usage(stderr);
        return 1;
    }
    const Options &o = *parsed;
    if (replaces_source(o)) {
        std::fprintf(stderr, "kxcc: the image '%s' would replace the source\n", o.image.c_str());
        return 1;
    }
    if (!outputs_are_files(o))
        return 1;

    const std::string resources = resource_directory_of(own_path(argv[0]));
    const fs::path bios = fs::path(resources) / "bios" / "Vireonbios.c";
    for (const fs::path &needed : {fs::path(o.source), bios}) {
        std::error_code ec;
        if (!fs::is_regular_file(needed, ec)) {
            std::fprintf(stderr, "error: Cannot open file '%s'.\n", needed.c_str());
            remove_image(o);
            return 1;
        }
    }
    WorkFolder work;
    if (work.path.empty()) {
        std::fprintf(stderr, "kxcc: cannot make a work folder in '%s'\n",
                     fs::temp_directory_path().c_str());
        remove_image(o);
        return 1;
    }
    // The BIOS's own files go to the work folder's cache, the program's are named after it in
    // the work folder: the shared resources stay as they are, and nothing lands in the user's
    // cache from a one-off run.
    const fs::path work_source = work.path / fs::path(o.source).filename();
    set_bios_cache_root((work.path / "bios").string());
    set_library_index_folder((work.path / "libindex").string());
    set_output_folder(work.path.string());
    set_compiler_directories(resources, "", {});
    set_libraries_file(fs::path(resources) / IdePreferences().lib_dir_file);
    // The debugger's own position tables: the listing echoes the source lines from them.
    set_breakpoint_tables(nullptr);
    NoTargetOperations no_target;
    set_target_operations(&no_target);

    // A board like the stand-in, compiled for without a target.
    gTargetlessCompile = 1;
    gBoardParameters.cpuId = o.cpu == 3000 ? 0x101 : 0x003;
    // The processor selector names the target of both compiles: 0 the Z180, 1 the Vireon set.
    set_processor_selector(o.cpu == 180 ? 0 : 1);
    gBoardParameters.ramSize = 512;
    gBoardParameters.flashSize = 512;
    IdePreferences().include_bios = true;
    IdePreferences().include_rst28 = o.debug;
    gDebugRstState = o.debug ? 0 : 1;
    compiler_options().list_files = o.list ? 1 : 0;
    compiler_options().rtc_pointers = o.pointer_checks ? 1 : 0;
    IdePreferences().rtc_pointers = o.pointer_checks;

    BoxesAsErrors boxes;
    set_message_box_host(&boxes);
    uint16_t status = 2;
    try {
        status = compile_to_file(bios.string(), o.given_source);
    } catch (xErr &e) {
        char text[1024];
        e.GetMessage(text, sizeof text);
        boxes.texts.push_back(text);
        status = 2;
    }
    set_message_box_host(nullptr);
    kxtools::print_messages(stderr);
    const bool failed = (status & 2) != 0 || (get_error_status() & 2) != 0;
    for (const std::string &text : boxes.texts)
        std::fprintf(stderr, "%s: %s\n", failed ? "error" : "note", text.c_str());
    if (failed) {
        remove_image(o);
        return 1;
    }
    if (!take_outputs(work_source, o)) {
        remove_image(o);
        return 1;
    }
    return 0;
}
