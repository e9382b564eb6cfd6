// kxboard: runs the board stand-in so that the target link can be tried as with a real board,
// from the IDE or from a terminal. Prints the pseudo-terminal to open as the serial port, the
// TCP port on 127.0.0.1 and, when asked for, the discovery port; then serves them until it is
// interrupted (Ctrl-C). With --verbose it prints each frame and raw byte run it receives.
// Exit status: 0 after an interrupt, 1 bad arguments, an image that does not load or a link
// that cannot open.
#include "BoardStandIn.h"
#include "debugger/LinkFrame.h"
#include "SimImage.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

using namespace vsim;

namespace {

void usage(std::FILE *to)
{
    std::fprintf(to,
                 "usage: kxboard [options]\n"
                 "  --phase cold|pilot|bios  what runs on the board at power-on (default cold:\n"
                 "                        it waits for the cold loader)\n"
                 "  --image IMAGE         load FILE.hex, FILE@PHYS (bin) or FILE (bin at 0) into\n"
                 "                        memory first (repeatable)\n"
                 "  --start ADDR          where STARTPROGRAM starts the program (default 0)\n"
                 "  --cpu 2000|3000       instruction set (default 2000)\n"
                 "  --tcp-port N          TCP port on 127.0.0.1 (default 0: any free port)\n"
                 "  --no-serial           no pseudo-terminal\n"
                 "  --no-tcp              no TCP listener\n"
                 "  --discovery PORT      answer discovery requests on this UDP port (all\n"
                 "                        addresses, so broadcasts are heard; 4242 as the IDE asks)\n"
                 "  --pass-phrase TEXT    challenge TCP hosts with this pass phrase (default: no\n"
                 "                        phrase, the answer is 16 zero bytes)\n"
                 "  --max-baud N          highest rate SETBAUDRATE accepts (default 460800)\n"
                 "  --debug-baud N        rate of the BIOS after STARTBIOS (default 115200)\n"
                 "  --strict              frames at another line speed than agreed are lost\n"
                 "  --paced               bytes go no faster than the line speed the host set\n"
                 "  --verbose             print what arrives\n"
                 "  -h, --help            print this text\n");
}

bool parse_number(std::string_view text, uint64_t limit, uint64_t &out)
{
    std::string s(text);
    char *end = nullptr;
    out = std::strtoull(s.c_str(), &end, 0);
    return !s.empty() && s[0] != '-' && end && *end == '\0' && out <= limit;
}

volatile std::sig_atomic_t g_interrupted = 0;
void on_signal(int) { g_interrupted = 1; }

std::string frame_text(const ReceivedFrame &f)
{
    const char *name = link_subtype_name(f.type, f.subtype);
    std::string s = f.type == kLinkSys ? "SYS/" : f.type == kLinkDbg ? "DBG/" : "?/";
    s += name ? name : std::to_string(f.subtype & kLinkSubtypeMask);
    if (f.subtype & kLinkAck)
        s += " (ACK)";
    if (f.subtype & kLinkNak)
        s += " (NAK)";
    if (!f.valid)
        s += " bad check";
    return s + ", " + std::to_string(f.payload.size()) + " bytes";
}

} // namespace

int main(int argc, char **argv)
{
    StandInConfig config;
    std::vector<std::string> images;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto value = [&](std::string_view &out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string_view v;
        uint64_t n = 0;
        bool ok = true;
        if (arg == "--phase") {
            ok = value(v) && (v == "cold" || v == "pilot" || v == "bios");
            config.firmware.initial_phase = v == "bios"    ? BoardPhase::bios
                                            : v == "pilot" ? BoardPhase::pilot
                                                           : BoardPhase::cold;
        } else if (arg == "--image") {
            ok = value(v);
            images.emplace_back(v);
        } else if (arg == "--start") {
            ok = value(v) && parse_number(v, 0xFFFF, n);
            config.firmware.start_pc = uint16_t(n);
        } else if (arg == "--cpu") {
            ok = value(v) && (v == "2000" || v == "3000");
            config.firmware.model = v == "3000" ? CpuModel::r3000 : CpuModel::r2000;
        } else if (arg == "--tcp-port") {
            ok = value(v) && parse_number(v, 0xFFFF, n);
            config.tcp_port = uint16_t(n);
        } else if (arg == "--no-serial") {
            config.serial = false;
        } else if (arg == "--no-tcp") {
            config.tcp = false;
        } else if (arg == "--discovery") {
            ok = value(v) && parse_number(v, 0xFFFE, n) && n != 0;
            config.udp = true;
            config.discovery_port = uint16_t(n);
            config.discovery_any_address = true;
        } else if (arg == "--pass-phrase") {
            ok = value(v);
            config.firmware.challenge_method = 1;
            config.firmware.pass_phrase = std::string(v);
        } else if (arg == "--max-baud") {
            ok = value(v) && parse_number(v, 0xFFFFFFFF, n) && n != 0;
            config.firmware.max_baud = uint32_t(n);
        } else if (arg == "--debug-baud") {
            ok = value(v) && parse_number(v, 0xFFFFFFFF, n) && n != 0;
            config.firmware.debug_baud = uint32_t(n);
        } else if (arg == "--strict") {
            config.firmware.strict_line_speed = true;
        } else if (arg == "--paced") {
            config.paced = true;
        } else if (arg == "--verbose") {
            verbose = true;
        } else if (arg == "-h" || arg == "--help") {
            usage(stdout);
            return 0;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "kxboard: bad argument near '%s'\n", argv[i]);
            usage(stderr);
            return 1;
        }
    }

    BoardStandIn board(config);
    for (const std::string &image : images) {
        LoadResult r = board.with_firmware([&](BoardFirmware &fw) { return load_image_argument(fw.board(), image); });
        if (!r.ok) {
            std::fprintf(stderr, "kxboard: %s\n", r.error.c_str());
            return 1;
        }
        for (const std::string &warning : r.warnings)
            std::fprintf(stderr, "kxboard: warning: %s\n", warning.c_str());
    }
    std::string error;
    if (!board.start(error)) {
        std::fprintf(stderr, "kxboard: %s\n", error.c_str());
        return 1;
    }
    // Whoever reads the links may interrupt at once: the handlers stand before they are shown.
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    if (config.serial)
        std::printf("serial: %s\n", board.pty_path().c_str());
    if (config.tcp)
        std::printf("tcp: 127.0.0.1:%u\n", board.tcp_port());
    if (config.udp)
        std::printf("discovery: udp port %u\n", board.discovery_port());
    std::fflush(stdout);

    size_t frames_seen = 0, raw_seen = 0;
    while (!g_interrupted) {
        timespec tick{0, 100 * 1000 * 1000};
        nanosleep(&tick, nullptr);
        if (!verbose)
            continue;
        board.with_firmware([&](BoardFirmware &fw) {
            // The log drops its oldest entries past its limit; start again from what is there.
            frames_seen = std::min(frames_seen, fw.frames().size());
            raw_seen = std::min(raw_seen, fw.raw().size());
            for (; raw_seen < fw.raw().size(); ++raw_seen) {
                const ReceivedBytes &r = fw.raw()[raw_seen];
                if (r.link == LinkKind::serial)
                    std::printf("serial %u baud: %zu bytes\n", r.baud, r.bytes.size());
            }
            for (; frames_seen < fw.frames().size(); ++frames_seen) {
                const ReceivedFrame &f = fw.frames()[frames_seen];
                std::printf("%s %s\n", f.link == LinkKind::serial ? "serial" : "tcp", frame_text(f).c_str());
            }
        });
        std::fflush(stdout);
    }
    board.stop();
    return 0;
}
