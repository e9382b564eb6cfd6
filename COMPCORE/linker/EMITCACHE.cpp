// EMITCACHE: buffered emit caches, one per target memory area.
// A cache collects bytes at rising (or, for variable data, falling) addresses and writes each
// full buffer out as one block; patches land in the buffer while the byte is still there and
// go straight to the output once it has left. The xmem code cache keeps code from running past
// the first 4 KB of the xmem window by moving on to the next page.
// Called by the byte emitter and the patch routine of the compile frame, the inline assembler
// and the origin directives.
#include "EMITCACHE.h"

#include "StringResources.h"
#include "input/CC_IN.h"

#include <cassert>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {
uint16_t offset_of(uint32_t addr) { return addr_offset(addr); }
uint8_t xpc_of(uint32_t addr) { return addr_xpc(addr); }
uint32_t make_word(uint8_t xpc, uint16_t offset) { return make_addr(xpc, offset); }
}  // namespace

// ---- host and origin table -------------------------------------------------------------------

namespace {

// Stands in until the compile frame installs the real host: no output, reports thrown.
class BuiltinHost : public EmitCacheHost {
public:
    void send_block(uint32_t, uint32_t, const uint8_t *) override {}
    void read_target(uint32_t, uint32_t count, uint8_t *bytes) override
    {
        std::memset(bytes, 0xFF, count);
    }
    void error(const char *text) override { throw std::runtime_error(text); }
    void fatal(const char *text) override { throw std::runtime_error(text); }
    void assemble_line(const char *line) override
    {
        throw std::runtime_error(std::string("no assembler for: ") + line);
    }
    int32_t no_output_counter() const override { return 0; }
    bool output_suppressed() const override { return false; }
    int32_t expression_trial() const override { return 0; }
    int code_placement() const override { return 0; }
    bool watch_code_option() const override { return false; }
    bool cpu_is_z180() const override { return false; }
    uint16_t page_switch_routine() const override { return 0; }
    uint32_t code_start_marker() const override { return 0xFFFFFFFFu; }
    EmitCache *current_emitter() const override { return nullptr; }
};

BuiltinHost g_builtin_host;
EmitCacheHost *g_default_host = &g_builtin_host;
EmitCacheHost *g_host = &g_builtin_host;
EmitOriginTable *g_origins = nullptr;

const EmitOriginExtent kEmptyOrigin{};

bool g_capture_armed = false;
uint32_t g_capture_addr = 0;
uint8_t *g_capture_target = nullptr;

bool g_in_ensure_room = false;

int32_t g_code_suppression = 0;
int32_t g_emit_block = 0;

std::string message_text(uint32_t id)
{
    return std::string(string_resource(id));
}

// "Internal Error: %s" with the text of `detail_id`.
std::string internal_error_text(uint32_t detail_id)
{
    char buf[512];
    std::snprintf(buf, sizeof buf, message_text(kMsgCacheInternalError).c_str(),
                  message_text(detail_id).c_str());
    return buf;
}

}  // namespace

void set_emit_cache_host(EmitCacheHost *host) { g_host = host ? host : g_default_host; }

void set_default_emit_cache_host(EmitCacheHost *host)
{
    const bool was_default = g_host == g_default_host;
    g_default_host = host ? host : &g_builtin_host;
    if (was_default)
        g_host = g_default_host;
}
EmitCacheHost &emit_cache_host() { return *g_host; }
void set_emit_origin_table(EmitOriginTable *table) { g_origins = table; }
EmitOriginTable *emit_origin_table() { return g_origins; }

void arm_byte_capture(uint32_t addr, uint8_t *target)
{
    g_capture_armed = target != nullptr;
    g_capture_addr = addr;
    g_capture_target = target;
}

void disarm_byte_capture()
{
    g_capture_armed = false;
    g_capture_target = nullptr;
}

int32_t code_suppression_counter() { return g_code_suppression; }
void raise_code_suppression() { ++g_code_suppression; }
void lower_code_suppression()
{
    if (g_code_suppression > 0)
        --g_code_suppression;
}
void set_code_suppression_counter(int32_t value) { g_code_suppression = value; }

void raise_emit_block() { ++g_emit_block; }
void lower_emit_block()
{
    if (g_emit_block > 0)
        --g_emit_block;
}
bool emit_blocked() { return g_emit_block > 0; }

// ---- CacheBuffer -----------------------------------------------------------------------------

CacheBuffer::CacheBuffer(int dir, int sz)
    : direction(static_cast<int8_t>(dir >= 0 ? 1 : -1)),
      size(static_cast<int16_t>(sz)),
      buffer(new uint8_t[static_cast<size_t>(sz)]())
{
    assert(sz > 0 && sz <= 0x7FFF && "cache buffer size out of range");
    CacheBuffer::Reset();
}

CacheBuffer::~CacheBuffer() = default;

void CacheBuffer::Reset()
{
    count = 0;
    index = direction > 0 ? 0 : static_cast<int16_t>(size - 1);
}

int CacheBuffer::Flush()
{
    Reset();
    return 1;
}

void CacheBuffer::PutByte(uint8_t b)
{
    if (count >= size)
        Flush();
    buffer[static_cast<size_t>(index)] = b;
    index = static_cast<int16_t>(index + direction);
    ++count;
}

void CacheBuffer::copy_buffer_from(const CacheBuffer &other)
{
    if (this == &other)
        return;
    direction = other.direction;
    count = other.count;
    index = other.index;
    size = other.size;
    buffer.reset(new uint8_t[static_cast<size_t>(other.size)]);
    std::memcpy(buffer.get(), other.buffer.get(), static_cast<size_t>(other.size));
}

// ---- EmitCache -------------------------------------------------------------------------------

EmitCache::EmitCache(int dir, int sz, uint32_t message_id, uint8_t origin_kind)
    : CacheBuffer(dir, sz), message(message_id), kind(origin_kind)
{
}

EmitCache &EmitCache::operator=(const EmitCache &other)
{
    if (this == &other)
        return *this;
    copy_buffer_from(other);
    window_start = other.window_start;
    current = other.current;
    window_end = other.window_end;
    message = other.message;
    kind = other.kind;
    origin_missing = other.origin_missing;
    origin_index = other.origin_index;
    reserving = other.reserving;
    positioned = other.positioned;
    return *this;
}

bool EmitCache::is_bound() const
{
    return g_origins && g_origins->origin_at(origin_index) != nullptr;
}

const EmitOriginExtent &EmitCache::GetOrigin() const
{
    if (!g_origins)
        return kEmptyOrigin;
    const EmitOriginExtent *o = g_origins->origin_at(origin_index);
    return o ? *o : kEmptyOrigin;
}

void EmitCache::Reset() { CacheBuffer::Reset(); }

// Writes the held bytes out as one block in rising address order, then reopens the window at
// the current address.
int EmitCache::Flush()
{
    if (count <= 0)
        return 0;
    if (direction > 0) {
        WriteOut(window_start, static_cast<uint32_t>(count), buffer.get());
    } else {
        // A falling cache holds its bytes at buffer[index+1 .. size-1], lowest address first.
        WriteOut(addr_add(current, 1), static_cast<uint32_t>(count),
                 buffer.get() + index + 1);
    }
    open_window(current);
    Reset();
    return 1;
}

void EmitCache::open_window(uint32_t addr)
{
    window_start = current = window_end = addr;
    if (direction > 0)
        window_end = make_word(xpc_of(addr), static_cast<uint16_t>(offset_of(addr) + size));
    positioned = 1;
}

uint32_t EmitCache::EmitByte(uint8_t b)
{
    if (g_emit_block > 0)
        return current;
    if (!is_bound())
        CheckOrigin();
    if (count >= size)
        Flush();
    buffer[static_cast<size_t>(index)] = b;
    index = static_cast<int16_t>(index + direction);
    ++count;
    current = make_word(xpc_of(current), static_cast<uint16_t>(offset_of(current) + direction));
    return current;
}

int32_t EmitCache::locate(uint32_t addr) const
{
    if (!positioned)
        return -3;
    const uint32_t pa = addr_to_physical(addr);
    const uint32_t ps = addr_to_physical(window_start);
    const uint32_t pc = addr_to_physical(current);
    if (direction > 0) {
        if (pa < ps)
            return -2;
        if (pc <= pa)
            return -1;  // at or beyond the next byte: not emitted yet
        const uint32_t off = pa - ps;
        if (off >= static_cast<uint32_t>(count))
            return -4;
        return static_cast<int32_t>(off);
    }
    // Falling cache: emitted bytes lie in (current, window start].
    if (pa > ps)
        return -2;
    if (pa <= pc)
        return -1;
    const uint32_t back = ps - pa;
    if (back >= static_cast<uint32_t>(count))
        return -4;
    return static_cast<int32_t>(size - 1 - back);
}

uint32_t EmitCache::EmitByteAt(uint32_t addr, uint8_t b)
{
    if (g_emit_block > 0)
        return addr;
    if (!is_bound())
        CheckOrigin();
    const int32_t at = locate(addr);
    if (at == -3) {
        g_host->error(internal_error_text(kMsgUninitializedCache).c_str());
    } else if (at == -2 || at == -1) {
        WriteOut(addr, 1, &b);
    } else if (at < 0) {
        g_host->error(internal_error_text(kMsgEmitOutsideCache).c_str());
    } else {
        buffer[static_cast<size_t>(at)] = b;
    }
    return addr;
}

void EmitCache::EmitBytes(const uint8_t *bytes, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i)
        EmitByte(bytes[i]);
}

void EmitCache::EmitRepeat(uint8_t b, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i)
        EmitByte(b);
}

void EmitCache::Unbind()
{
    origin_index = -1;
    origin_missing = 1;
}

void EmitCache::Finish()
{
    if (!is_bound())
        CheckOrigin();
    Reserve();
    Flush();
}

// Bytes left in the bound origin; 0 when unbound.
int32_t EmitCache::SpaceLeft()
{
    if (!is_bound())
        return 0;
    const EmitOriginExtent &o = GetOrigin();
    if (direction > 0) {
        const uint32_t high = addr_add(o.start, static_cast<int32_t>(o.size) - 1);
        return static_cast<int32_t>(addr_to_physical(high) - addr_to_physical(current));
    }
    const uint32_t low = addr_add(o.start, 1 - static_cast<int32_t>(o.size));
    return static_cast<int32_t>(addr_to_physical(current) - addr_to_physical(low));
}

void EmitCache::Reserve()
{
    reserving = 1;
    struct Clear {
        uint16_t &flag;
        ~Clear() { flag = 0; }
    } clear{reserving};
    if (g_host->code_placement() != 2)
        EnsureRoom(128, true);
}

int EmitCache::CrossPage(uint32_t, bool) { return 0; }
void EmitCache::ClearUsed() {}
bool EmitCache::HasRoom() { return SpaceLeft() > 0; }

// Upward: (current + n) beyond (high end + 1); downward: (current - n) below (low end - 1).
bool EmitCache::WouldOverflow(uint32_t n)
{
    const EmitOriginExtent &o = GetOrigin();
    const int32_t size32 = static_cast<int32_t>(o.size);
    if (direction > 0) {
        const uint32_t limit = addr_add(addr_add(o.start, size32 - 1), 1);
        return addr_to_physical(addr_add(current, static_cast<int32_t>(n))) > addr_to_physical(limit);
    }
    const uint32_t limit = addr_add(addr_add(o.start, 1 - size32), -1);
    return addr_to_physical(addr_add(current, -static_cast<int32_t>(n))) < addr_to_physical(limit);
}

// The overflow and follow rule: when fewer than n + 5 bytes are left, an origin without a
// follower is out of space once current has passed its end; an origin with a follower is left
// for the follower at a line boundary (xmem code), with a jump that gets there.
void EmitCache::EnsureRoom(uint32_t n, bool finish)
{
    // Without an origin table there are no origins to measure against (nor to run out of).
    if (!g_origins || g_in_ensure_room || g_host->expression_trial() == -1 || g_host->no_output_counter() != 0 ||
        g_host->output_suppressed())
        return;
    g_in_ensure_room = true;
    struct Guard {
        ~Guard() { g_in_ensure_room = false; }
    } guard;

    if (WouldOverflow(n + 5)) {
        const EmitOriginExtent *bound = g_origins ? g_origins->origin_at(origin_index) : nullptr;
        const int32_t follower = bound ? bound->follower : -1;
        if (!g_origins->origin_at(follower)) {
            if (WouldOverflow(0))
                OutOfSpace();
        } else if (g_host->code_placement() == 1 && current == g_host->code_start_marker()) {
            JumpToFollower();
            if (WouldOverflow(0))
                g_host->error(message_text(kMsgCannotCrossFollows).c_str());
            g_origins->select_origin(follower);
            if (WouldOverflow(0) && GetOrigin().size != 0)
                g_host->error(message_text(kMsgCannotCrossFollows).c_str());
        }
    }
    if (finish)
        AfterEnsure();
}

void EmitCache::OutOfSpace() {}
void EmitCache::AfterEnsure() {}
void EmitCache::JumpToFollower() {}

void EmitCache::WriteOut(uint32_t addr, uint32_t n, const uint8_t *bytes)
{
    if (g_host->no_output_counter() <= 0)
        g_host->send_block(addr, n, bytes);
}

void EmitCache::ReadBack(uint32_t addr, uint32_t n, uint8_t *bytes)
{
    g_host->read_target(addr, n, bytes);
}

bool EmitCache::IsUsed() const { return false; }

uint32_t EmitCache::SetAddress(uint32_t addr)
{
    if (positioned)
        Flush();
    open_window(addr);
    return addr;
}

// Without a flush the bytes still held are dropped: written at the new window they would land
// where they were never emitted.
void EmitCache::RewindToOrigin()
{
    CacheBuffer::Reset();
    open_window(GetOrigin().end);
}

bool EmitCache::OriginHolds(uint32_t addr) const
{
    if (!is_bound())
        return false;
    const EmitOriginExtent &o = GetOrigin();
    if (o.size == 0)
        return false;
    const uint32_t pa = addr_to_physical(addr);
    const uint32_t ps = addr_to_physical(o.start);
    if (direction > 0)
        return pa >= ps && pa - ps < o.size;
    return pa <= ps && ps - pa < o.size;
}

uint8_t EmitCache::PeekByte(uint32_t addr)
{
    const int32_t at = locate(addr);
    if (at == -2) {
        uint8_t b = 0;
        ReadBack(addr, 1, &b);
        return b;
    }
    if (at == -3) {
        g_host->error(internal_error_text(kMsgUninitializedCache).c_str());
        return 0;
    }
    if (at < 0) {
        g_host->error(message_text(kMsgPeekBeyondEnd).c_str());
        return 0;
    }
    return buffer[static_cast<size_t>(at)];
}

// One report per cache; watch code needs an origin only when the settings ask for one. Until an
// origin table exists, and while the target has no origin directives at all (the Z180, whose
// caches stay where the driver put them), there is nothing a program could have declared, so
// nothing is reported.
void EmitCache::CheckOrigin()
{
    if (!origin_missing || !g_origins || origin_switch() == 0)
        return;
    if (!is_null_cache() && (kind != 3 || g_host->watch_code_option())) {
        char buf[512];
        std::snprintf(buf, sizeof buf, message_text(kMsgMissingOrigin).c_str(),
                      g_origins->kind_name(kind));
        origin_missing = 0;
        g_host->error(buf);
        return;
    }
    origin_missing = 0;
}

// ---- code caches -----------------------------------------------------------------------------

void EmitCacheForCode::Reset()
{
    EmitCache::Reset();
    current = window_start;
}

void EmitCacheForCode::capture(uint32_t addr, uint8_t b)
{
    if (g_capture_armed && g_capture_addr == addr) {
        *g_capture_target = b;
        disarm_byte_capture();
    }
}

uint32_t EmitCacheForCode::EmitByte(uint8_t b)
{
    capture(current, b);
    return EmitCache::EmitByte(b);
}

uint32_t EmitCacheForCode::EmitByteAt(uint32_t addr, uint8_t b)
{
    capture(addr, b);
    return EmitCache::EmitByteAt(addr, b);
}

void EmitCacheForCode::OutOfSpace() { g_host->fatal(message_text(message).c_str()); }

NullCache::NullCache() : EmitCacheForCode(+1, 32, kMsgOutOfCodeSpace, 0) {}

RootCache::RootCache(int sz) : EmitCacheForCode(+1, sz, kMsgOutOfRootCode, 1) {}

void RootCache::Finish()
{
    EmitCacheForCode::Finish();
    used_ = true;
}

void RootCache::ClearUsed() { used_ = false; }
bool RootCache::IsUsed() const { return used_; }

XmemCache::XmemCache(int sz) : EmitCacheForCode(+1, sz, kMsgOutOfXmemCode, 2) {}

void XmemCache::Finish()
{
    EmitCacheForCode::Finish();
    used_ = true;
}

void XmemCache::ClearUsed() { used_ = false; }
bool XmemCache::IsUsed() const { return used_; }

void XmemCache::OutOfSpace() { g_host->fatal(message_text(kMsgOutOfXmemCode).c_str()); }

void XmemCache::AfterEnsure() { CrossPage(0, true); }

// The jump goes where the code goes on: the follower's fill point (its start until something
// was emitted into it).
void XmemCache::JumpToFollower()
{
    const EmitOriginExtent &o = GetOrigin();
    const EmitOriginExtent *next = g_origins ? g_origins->origin_at(o.follower) : nullptr;
    if (!next)
        return;
    char line[64];
    std::snprintf(line, sizeof line, "ljp %u", static_cast<unsigned>(next->end));
    g_host->assemble_line(line);
}

// Code in the xmem window must not run past its first 4 KB: move on to the next XPC page.
//   F80:  "ljp <new address>" here, code goes on 4 bytes after the same physical address.
//   Z180: "ld a, <new xpc>" and "call <page switch>"; the routine maps the next page and returns
//         4 KB lower in the window, to the same physical address, so code goes on behind the
//         call (never over it).
int XmemCache::CrossPage(uint32_t n, bool emit)
{
    const bool emitting = emit && g_host->current_emitter() == this;
    const uint32_t w = ::window_start();
    if (g_host->code_placement() != 1 || uint32_t(offset_of(current)) + n < w + 0x1000)
        return 0;
    const uint8_t new_xpc = static_cast<uint8_t>(xpc_of(current) + 1);
    const uint16_t moved = static_cast<uint16_t>(offset_of(current) - 0x1000);
    uint32_t next = 0;
    char line[64];
    if (g_host->cpu_is_z180()) {
        next = make_word(new_xpc, moved);
        if (emitting) {
            std::snprintf(line, sizeof line, "ld a, %d", int(new_xpc));
            g_host->assemble_line(line);
            std::snprintf(line, sizeof line, "call %d", int(g_host->page_switch_routine()));
            g_host->assemble_line(line);
            next = make_word(new_xpc, static_cast<uint16_t>(offset_of(current) - 0x1000));
        }
    } else {
        next = make_word(new_xpc, moved <= w - 4 ? static_cast<uint16_t>(w) : moved);
        if (emitting) {
            next = addr_add(next, 4);
            std::snprintf(line, sizeof line, "ljp %u", static_cast<unsigned>(next));
            g_host->assemble_line(line);
        }
    }
    current = next;
    SetAddress(next);
    return 1;
}

WatchCache::WatchCache() : EmitCacheForCode(+1, 256, kMsgOutOfCodeSpace, 3) {}

// ---- data caches -----------------------------------------------------------------------------

ConstantCache::ConstantCache() : EmitCacheForData(+1, 1024, kMsgOutOfVariableData, 7) {}

void ConstantCache::OutOfSpace() { g_host->fatal(message_text(kMsgOutOfConstantData).c_str()); }

VariableCache::VariableCache(uint8_t k) : EmitCacheForData(-1, 256, kMsgOutOfVariableData, k) {}

void VariableCache::OutOfSpace() { g_host->fatal(message_text(kMsgOutOfVariableData).c_str()); }
