// LinkFrame: the pure frame codec of the target link (see LinkFrame.h).
#include "LinkFrame.h"

#include "CC_ROM.h"

namespace {

struct SubtypeName {
    uint8_t subtype;
    const char *name;
};

constexpr SubtypeName kSysNames[] = {
    {kSysNak, "NAK"},           {kSysNoop, "NOOP"},           {kSysRead, "READ"},
    {kSysWrite, "WRITE"},       {kSysInfoProbe, "INFOPROBE"}, {kSysStartBios, "STARTBIOS"},
    {kSysSetBaudRate, "SETBAUDRATE"}, {kSysSetOptions, "SETOPTIONS"},
    {kSysRelocate, "RELOCATE"}, {kSysEraseFlash, "ERASEFLASH"}, {kSysFlashData, "FLASHDATA"},
};

constexpr SubtypeName kDbgNames[] = {
    {kDbgSingleStep, "SINGLESTEP"},
    {kDbgToggleBp, "TOGGLEBP"},
    {kDbgClearBps, "CLEARBPS"},
    {kDbgToggleAllBps, "TOGGLEALLBPS"},
    {kDbgAtBp, "ATBP"},
    {kDbgStartProgram, "STARTPROGRAM"},
    {kDbgRunProgram, "RUNPROGRAM"},
    {kDbgStopProgram, "STOPPROGRAM"},
    {kDbgAddWatch, "ADDWATCH"},
    {kDbgDeleteWatch, "DELETEWATCH"},
    {kDbgDeleteAllWatches, "DELETEALLWATCHES"},
    {kDbgExecWatch, "EXECWATCH"},
    {kDbgExecAllWatches, "EXECALLWATCHES"},
    {kDbgSendChar, "SENDCHAR"},
    {kDbgReset, "RESET"},
    {kDbgSetSendFlags, "SETSENDFLAGS"},
    {kDbgRegData, "REGDATA"},
    {kDbgWatchData, "WATCHDATA"},
    {kDbgAsmData, "ASMDATA"},
    {kDbgStackData, "STACKDATA"},
    {kDbgStdio, "STDIO"},
    {kDbgWriteRegData, "WRITEREGDATA"},
    {kDbgCharReady, "CHARREADY"},
    {kDbgNoop, "NOOP"},
    {kDbgEnabledOptions, "ENABLEDOPTIONS"},
    {kDbgSetDebugTag, "SETDEBUGTAG"},
    {kDbgGetDebugTag, "GETDEBUGTAG"},
    {kDbgSetTraceFlags, "SETTRACEFLAGS"},
};

void put_le16(std::vector<uint8_t> &out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

} // namespace

const char *link_subtype_name(uint8_t type, uint8_t subtype)
{
    subtype &= kLinkSubtypeMask;
    if (type == kLinkSys) {
        for (const SubtypeName &n : kSysNames)
            if (n.subtype == subtype)
                return n.name;
    } else if (type == kLinkDbg) {
        for (const SubtypeName &n : kDbgNames)
            if (n.subtype == subtype)
                return n.name;
    }
    return nullptr;
}

uint16_t ComputeCheck(std::span<const uint8_t> bytes, uint16_t state)
{
    unsigned a = state >> 8;
    unsigned b = state & 0xFF;
    for (uint8_t byte : bytes) {
        a += byte;
        if (a > 0xFF)
            a = (a + 1) & 0xFF;
        b += a;
        if (b > 0xFF)
            b = (b + 1) & 0xFF;
    }
    return uint16_t(a << 8 | b);
}

std::array<uint8_t, kLinkHeaderSize> link_header(uint8_t type, uint8_t subtype, uint16_t length)
{
    std::array<uint8_t, kLinkHeaderSize> h{kLinkVersion, 0, type, subtype, uint8_t(length),
                                           uint8_t(length >> 8), 0, 0};
    uint16_t check = ComputeCheck(std::span<const uint8_t>(h.data(), 6));
    h[6] = uint8_t(check);
    h[7] = uint8_t(check >> 8);
    return h;
}

void escape_link_bytes(std::span<const uint8_t> bytes, std::vector<uint8_t> &out)
{
    for (uint8_t b : bytes) {
        if (b == kLinkFlag || b == kLinkEscape) {
            out.push_back(kLinkEscape);
            out.push_back(uint8_t(b ^ kLinkEscapeXor));
        } else {
            out.push_back(b);
        }
    }
}

std::vector<uint8_t> build_link_frame(uint8_t type, uint8_t subtype,
                                      std::span<const uint8_t> payload, bool serial)
{
    auto header = link_header(type, subtype, uint16_t(payload.size()));
    std::vector<uint8_t> plain(header.begin(), header.end());
    plain.insert(plain.end(), payload.begin(), payload.end());
    put_le16(plain, ComputeCheck(plain));
    if (!serial)
        return plain;
    std::vector<uint8_t> out;
    out.reserve(plain.size() + plain.size() / 8 + 2);
    out.push_back(kLinkFlag);
    escape_link_bytes(plain, out);
    return out;
}

// The image builder's CRC step, byte after byte, with the polynomial 0x1021.
uint16_t crc16_xmodem(std::span<const uint8_t> bytes, uint16_t crc)
{
    for (uint8_t byte : bytes)
        crc = crc16_update(byte, 0x1021, crc);
    return crc;
}

uint16_t id_block_crc(std::span<const uint8_t, kIdBlockSize> block)
{
    std::array<uint8_t, kIdBlockSize> copy;
    for (size_t i = 0; i < kIdBlockSize; ++i)
        copy[i] = block[i];
    copy[kIdBlockCrcOffset] = copy[kIdBlockCrcOffset + 1] = 0;
    // Byte 115 (reserved) is left out of the run.
    uint16_t crc = crc16_xmodem(std::span<const uint8_t>(copy.data(), 115));
    return crc16_xmodem(std::span<const uint8_t>(copy.data() + 116, kIdBlockSize - 116), crc);
}

bool id_block_marker_ok(std::span<const uint8_t, kIdBlockSize> block)
{
    for (size_t i = 0; i < 6; ++i)
        if (block[kIdBlockMarkerOffset + i] != (i % 2 == 0 ? 0x55 : 0xAA))
            return false;
    return true;
}

void seal_id_block(std::span<uint8_t, kIdBlockSize> block)
{
    for (size_t i = 0; i < 6; ++i)
        block[kIdBlockMarkerOffset + i] = i % 2 == 0 ? 0x55 : 0xAA;
    uint16_t crc = id_block_crc(block);
    block[kIdBlockCrcOffset] = uint8_t(crc);
    block[kIdBlockCrcOffset + 1] = uint8_t(crc >> 8);
}
