// CC_Z80START: the start-up block, written as machine code into a buffer and sent to the image in
// one piece; the run-time symbols it calls are checked on the way.
#include "CC_Z80START.h"

#include "core/CC_ER.h"
#include "core/CC_OBJ.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_IN.h"
#include "linker/CC_RELOC.h"
#include "linker/CC_ROM.h"
#include "core/CC_STAB.h"
#include "driver/CC_VER.h"
#include "CC_Z80.h"
#include "CC_Z80GEN.h"
#include "CC_STUBS.h"
#include "core/CC_ADDR.h"
#include "core/SEAM_LINKER.h"
#include "settings/guiKXPreferences.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <optional>
#include <vector>

namespace {

StartUpLayout g_layout;
std::map<std::string, ADDR24> g_noted;  // the names' label addresses at the end of the compile
uint16_t g_measured = 0;       // the code buffer: the code part, and the record behind it
uint16_t g_measured_code = 0;  // the code part alone

// Every name the block may look up.
constexpr const char *kNames[] = {"main",   "__xexit", "dkStartup", "dkInitDebug", "premain",
                                  "alloc_h", "bfree",  "_b_all",    "vrst30"};

constexpr uint32_t kMsgUndefined = 744;       // "%s undefined"
constexpr uint32_t kMsgNoMain = 745;          // "a function named main is required."
constexpr uint32_t kMsgMainInXmem = 746;      // "main must not be in xmem"
constexpr uint32_t kMsgNoAllocH = 747;        // "alloc_h undefined"
constexpr uint32_t kMsgNoBfree = 748;         // "bfree() undefined"

// A symbol found: in the global symbol table, or among the labels the compile left.
struct Found {
    bool exists = false;
    std::optional<ADDR24> address;
};
Found find(const char *name)
{
    if (const symbol *s = find_symbol(name, false, kGlobalTable)) {
        Found f{true, std::nullopt};
        if (s->address[0] != kDummyAddress)
            f.address = s->address[0];
        return f;
    }
    if (auto it = g_noted.find(name); it != g_noted.end())
        return Found{true, it->second};
    return Found{};
}

// The start-up block calls main: a C object of that name ("int main;", "char main[]") would
// be called as code, so it is reported at its declaration. An assembly label or a function
// chain of the name is code.
const symbol *main_object()
{
    const symbol *s = find_symbol("main", false, kGlobalTable);
    if (!s || decl_level(s->declarator, 0) == kDeclFunction || s->kind == 254)
        return nullptr;
    return s;
}

void record(const char *text) { (void)report_error(0, 0, "%s", text); }
void record_id(uint32_t id) { record(msg(id)); }
void record_undefined(const char *name)
{
    char text[96];
    std::snprintf(text, sizeof text, msg(kMsgUndefined), name);
    record(text);
}

// The buffer the block is written into, as machine code.
class Block {
public:
    explicit Block(size_t capacity) : m_bytes(capacity, 0xFF) {}
    void byte(uint8_t b) { m_bytes.at(m_used++) = b; }
    void word(uint16_t w)
    {
        byte(static_cast<uint8_t>(w));
        byte(static_cast<uint8_t>(w >> 8));
    }
    void bytes(const uint8_t *b, size_t n)
    {
        for (size_t i = 0; i < n; ++i)
            byte(b[i]);
    }
    uint16_t used() const { return static_cast<uint16_t>(m_used); }
    const uint8_t *data() const { return m_bytes.data(); }

private:
    std::vector<uint8_t> m_bytes;
    size_t m_used = 0;
};

// The build time stamp as the settings ask for it.
uint32_t time_stamp()
{
    if (!IdePreferences().include_time_stamp)
        return 0xFFFFFFFFu;
    return start_up_time_stamp(static_cast<int64_t>(std::time(nullptr)));
}

// Whether the Z180's interrupt-vector register starts at 0 (step 1 of the block).
bool vector_base_from_zero(int vector_flag)
{
    const StartUpLayout &l = g_layout;
    if (!vector_flag || l.keep_vector_base)
        return false;
    const uint8_t difference = static_cast<uint8_t>(l.rams - l.logr);
    return !(l.ram_difference_byte && *l.ram_difference_byte < l.program_info.size() &&
             l.program_info[*l.ram_difference_byte] == difference);
}

// The block, in order:
//   Z180: 3E n ED 47 (ld a,n; ld i,a); 21 w E5 EB; 21 w E5; 06 n 0E n
//   CD w              call dkStartup
//   Z180: 31 w (ld sp,top+1); FB (ei); 21 w 36 C3 23 36 lo 23 36 hi (vrst30: jp _b_all)
//   21 00 00 22 w     ld hl,0; ld (alloc_h),hl                   when alloc_h exists
//   21 w E5 21 w E5 CD w  push the heap's bounds; call bfree      and "heap" is not 0
//   21 w E5           ld hl,version; push hl
//   CD w CD w         call dkInitDebug; call premain              debugging
//   CD w              call main                                   otherwise
//   E5 CD w           push hl; call __xexit                    main's value is the exit code
// then, behind the code or in the second block: the 96-byte record, 0xFFFF, the time stamp.
// Measuring looks nothing up and counts the heap steps whenever they may be written.
struct Built {
    bool ok = true;
    uint16_t code_length = 0;
    uint16_t record_offset = 0;  // of the record, in the block that holds it
    uint16_t stamp_offset = 0;
};

Built build(bool measure, int vector_flag, Block &code, Block &second)
{
    const StartUpLayout &l = g_layout;
    const bool z180 = cpu_is_z180();
    Built out;
    auto address_of = [&](const char *name) -> uint16_t {
        if (measure)
            return 0;
        const Found f = find(name);
        if (!f.address) {
            record_undefined(name);
            out.ok = false;
            return 0;
        }
        // The block calls with a plain "call": an xmem function ("main" placed there) is
        // entered through its root stub.
        if (addr_offset(*f.address) >= window_start()) {
            const symbol *s = find_symbol(name, false, kGlobalTable);
            if (s && s->address[kRootStubAddressSlot] != kDummyAddress)
                return addr_offset(s->address[kRootStubAddressSlot]);
        }
        return addr_offset(*f.address);
    };

    if (z180) {
        code.byte(0x3E);
        code.byte(vector_base_from_zero(vector_flag) ? 0 : static_cast<uint8_t>(l.vector_base >> 8));
        code.byte(0xED);
        code.byte(0x47);
        code.byte(0x21);
        code.word(l.memory_option_bit0 ? 1 : 0);
        code.byte(0xE5);
        code.byte(0xEB);
        code.byte(0x21);
        code.word(l.map_word);
        code.byte(0xE5);
        code.byte(0x06);
        code.byte(static_cast<uint8_t>(l.rams - l.logr));
        code.byte(0x0E);
        code.byte(static_cast<uint8_t>((l.map_word >> 12) | 0xE0));
    }
    code.byte(0xCD);
    code.word(address_of("dkStartup"));
    if (z180) {
        code.byte(0x31);
        code.word(static_cast<uint16_t>(l.stack_top + 1));
        code.byte(0xFB);
        if (l.vectors_differ) {
            uint16_t bouncer = 0, vector = 0;
            if (!measure) {
                const Found b = find("_b_all");
                const Found v = find("vrst30");
                if (!b.address) {
                    record("No Universal Bouncer");
                    out.ok = false;
                }
                if (!v.address) {
                    record("No RST30 Jump Vec");
                    out.ok = false;
                }
                bouncer = b.address ? addr_offset(*b.address) : 0;
                vector = v.address ? addr_offset(*v.address) : 0;
            }
            code.byte(0x21);
            code.word(vector);
            const uint8_t store[] = {0x36, 0xC3, 0x23, 0x36, static_cast<uint8_t>(bouncer), 0x23,
                                     0x36, static_cast<uint8_t>(bouncer >> 8)};
            code.bytes(store, sizeof store);
        }
    }
    const Found alloc_h = measure ? Found{true, 0} : find("alloc_h");
    if (alloc_h.exists) {
        if (!alloc_h.address) {
            record_id(kMsgNoAllocH);
            out.ok = false;
        }
        code.byte(0x21);
        code.word(0);
        code.byte(0x22);
        code.word(alloc_h.address ? addr_offset(*alloc_h.address) : 0);
        if (l.heap != 0) {
            uint16_t bfree = 0;
            if (!measure) {
                const Found f = find("bfree");
                if (!f.address) {
                    record_id(kMsgNoBfree);
                    out.ok = false;
                }
                bfree = f.address ? addr_offset(*f.address) : 0;
            }
            code.byte(0x21);
            code.word(l.heap_low);
            code.byte(0xE5);
            code.byte(0x21);
            code.word(l.heap_high);
            code.byte(0xE5);
            code.byte(0xCD);
            code.word(bfree);
        }
    }
    code.byte(0x21);
    code.word(version_word());
    code.byte(0xE5);
    if (l.debug) {
        code.byte(0xCD);
        code.word(address_of("dkInitDebug"));
        code.byte(0xCD);
        code.word(address_of("premain"));
    } else {
        code.byte(0xCD);
        code.word(address_of("main"));
    }
    // What main returned (HL) is the exit code, as C has it.
    code.byte(0xE5);
    code.byte(0xCD);
    code.word(address_of("__xexit"));

    // A block shorter than measured keeps the measured length: the record stays in place.
    if (!measure)
        while (code.used() < g_measured_code)
            code.byte(0x00);
    out.code_length = code.used();

    Block &records = l.two_blocks ? second : code;
    out.record_offset = records.used();
    records.bytes(l.program_info.data(), l.program_info.size());
    records.word(0xFFFF);
    out.stamp_offset = records.used();
    const uint32_t stamp = time_stamp();
    records.word(static_cast<uint16_t>(stamp));
    records.word(static_cast<uint16_t>(stamp >> 16));
    return out;
}

// One byte per 256-byte page of the logical space: 1 where the program may write.
void send_page_map()
{
    const StartUpLayout &l = g_layout;
    std::array<uint8_t, 256> map{};
    const uint8_t first = static_cast<uint8_t>(std::min(l.data_far_end, l.stack_page_end) >> 8);
    const uint8_t last = static_cast<uint8_t>(std::max(l.data_far_end, l.stack_page_end) >> 8);
    for (int p = first; p <= last; ++p)
        map[static_cast<size_t>(p)] = 1;
    if (l.second_range)
        for (int p = l.second_range_first >> 8; p <= (l.second_range_last >> 8); ++p)
            map[static_cast<size_t>(p)] = 1;
    linker_seam().ui_send_block(static_cast<uint32_t>(map.size()), l.page_map_address, map.data());
}

// The image builder writes the image's CRC over the 0xFFFF word behind the program information
// record, leaving the time stamp out of the sum, and the object file's trailer names the
// interrupt-vector base.
void tell_image_builder(const Built &b)
{
    const StartUpLayout &l = g_layout;
    const ADDR24 records = l.two_blocks ? l.second_start : l.start;
    const int32_t crc_offset = b.record_offset + static_cast<int32_t>(l.program_info.size());
    ImageLayout image = image_layout();
    image.interrupt_vector_base = l.vector_base;
    image.crc_field = addr_to_physical(addr_add(records, crc_offset));
    image.excluded_field = addr_to_physical(addr_add(records, b.stamp_offset));
    set_image_layout(image);
}

// A compile without a start-up block (a BIOS) has no CRC field of its own.
void forget_image_fields()
{
    ImageLayout image = image_layout();
    image.interrupt_vector_base = 0;
    image.crc_field.reset();
    image.excluded_field.reset();
    set_image_layout(image);
}

}  // namespace

void set_start_up_layout(const StartUpLayout &layout) { g_layout = layout; }
const StartUpLayout &start_up_layout() { return g_layout; }
uint16_t start_up_block_size() { return g_measured; }

void note_required_symbols()
{
    g_noted.clear();
    for (const char *name : kNames)
        if (auto address = linker_seam().global_label_address(name))
            g_noted[name] = *address;
}

void want_start_up_routines()
{
    for (const char *name : {"dkStartup", "__xexit", "premain"})
        want_global_label(name);
    if (g_layout.debug)
        want_global_label("dkInitDebug");
}

void reset_start_up_state()
{
    g_noted.clear();
    forget_image_fields();
}

uint16_t measure_start_up_block(uint16_t *second_size)
{
    Block code(512), second(256);
    const Built b = build(true, 0, code, second);
    g_measured = code.used();
    g_measured_code = b.code_length;
    if (second_size)
        *second_size = second.used();
    set_start_up_record_offsets(StartUpRecordOffsets{b.record_offset, b.stamp_offset});
    return g_measured;
}

bool link_required_symbols(int vector_flag)
{
    if (watch_code_generation())
        return true;
    const Found main = find("main");
    if (!main.exists) {
        record_id(kMsgNoMain);
        return false;
    }
    if (const symbol *object = main_object()) {
        (void)report_error_in_file(object->line, object->column, object->file ? object->file : "",
                                   "%s", msg(kMsgNoMain));
        return false;
    }
    if (!no_bouncers() && main.address && addr_offset(*main.address) >= window_start()) {
        record_id(kMsgMainInXmem);
        return false;
    }
    Block code(512), second(256);
    const Built b = build(false, vector_flag, code, second);
    if (!b.ok)
        return false;
    const StartUpLayout &l = g_layout;
    linker_seam().ui_send_block(code.used(), l.start, code.data());
    if (l.two_blocks)
        linker_seam().ui_send_block(second.used(), l.second_start, second.data());
    if (l.page_map)
        send_page_map();
    tell_image_builder(b);
    return true;
}

uint32_t start_up_time_stamp(int64_t utc_seconds)
{
    const std::time_t t = static_cast<std::time_t>(utc_seconds);
    std::tm local{};
    localtime_r(&t, &local);
    // tm_gmtoff: the local offset east of UTC, daylight saving included.
    return static_cast<uint32_t>(utc_seconds + local.tm_gmtoff - 315532800);
}
