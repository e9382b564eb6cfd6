// Download over the paced serial line: a 256 KB image goes to the board stand-in as SYS WRITE
// packets of 128 data bytes, sent back to back while the acknowledgements are counted as they
// arrive (the way the program download sends), at 460,800 baud with the stand-in in paced
// mode. Reports the payload rate achieved (counter "payload_B/s") against what the line
// carries at most, 46,080 bytes/s of 10-bit characters ("line_B/s"), and the share of it
// ("of_line"); framing and escaping cost the rest.
#include "BoardFrames.h"
#include "BoardStandIn.h"
#include "debugger/LinkFrame.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace vsim;

namespace {

constexpr uint32_t kBaud = 460800;
constexpr size_t kImage = 256 * 1024;
constexpr size_t kPacket = 128;
constexpr double kLineBytesPerSecond = kBaud / 10.0;

// SYS WRITE payload: mode 0 (physical), count, 32-bit address, data.
std::vector<uint8_t> write_packet(uint32_t address, const uint8_t *data)
{
    std::vector<uint8_t> p = {0, uint8_t(kPacket), uint8_t(kPacket >> 8), uint8_t(address),
                              uint8_t(address >> 8), uint8_t(address >> 16), uint8_t(address >> 24)};
    p.insert(p.end(), data, data + kPacket);
    return build_link_frame(kLinkSys, kSysWrite, p, true);
}

void BM_PacedDownload(benchmark::State &state)
{
    StandInConfig config;
    config.tcp = false;
    config.paced = true;
    config.firmware.initial_phase = BoardPhase::pilot;
    BoardStandIn board(config);
    std::string error;
    if (!board.start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    int fd = ::open(board.pty_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B460800);
    tcsetattr(fd, TCSANOW, &t);

    std::vector<uint8_t> image(kImage);
    for (size_t i = 0; i < kImage; ++i)
        image[i] = uint8_t(i * 31 + (i >> 8)); // some 0x7E and 0x7D bytes to escape
    std::vector<uint8_t> wire;
    for (size_t at = 0; at < kImage; at += kPacket) {
        auto frame = write_packet(uint32_t(0x80000 + (at % 0x60000)), image.data() + at);
        wire.insert(wire.end(), frame.begin(), frame.end());
    }
    const size_t packets = kImage / kPacket;

    double seconds = 0;
    for (auto _ : state) {
        SerialFrameReader reader;
        size_t sent = 0, acks = 0;
        auto start = std::chrono::steady_clock::now();
        while (acks < packets) {
            pollfd p{fd, short(POLLIN | (sent < wire.size() ? POLLOUT : 0)), 0};
            if (::poll(&p, 1, 5000) <= 0) {
                state.SkipWithError("the board stopped answering");
                break;
            }
            if ((p.revents & POLLOUT) && sent < wire.size()) {
                ssize_t n = ::write(fd, wire.data() + sent, wire.size() - sent);
                if (n > 0)
                    sent += size_t(n);
            }
            if (p.revents & POLLIN) {
                uint8_t buf[4096];
                ssize_t n = ::read(fd, buf, sizeof buf);
                for (ssize_t i = 0; i < n; ++i)
                    if (auto f = reader.feed(buf[i]); f && f->valid && f->subtype == (kSysWrite | kLinkAck))
                        ++acks;
            }
        }
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
    }
    ::close(fd);
    board.stop();
    double rate = seconds > 0 ? double(kImage) / seconds : 0;
    state.counters["payload_B/s"] = rate;
    state.counters["line_B/s"] = kLineBytesPerSecond;
    state.counters["of_line"] = rate / kLineBytesPerSecond;
    state.counters["wire_bytes"] = double(wire.size());
}

BENCHMARK(BM_PacedDownload)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace

BENCHMARK_MAIN();
