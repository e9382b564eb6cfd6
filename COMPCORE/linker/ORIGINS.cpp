// ORIGINS: the origin table, the origin directives and interrupt vectors, and the overlap check.
// Directive lines are read at the lexer's input pointer (CC_IN): macros expanded, names with the
// identifier scanner (CC_STAB), numbers as constant expressions.
#include "ORIGINS.h"

#include "core/CC_ADDR.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_IN.h"
#include "core/CC_STAB.h"
#include "core/SEAM_TARGET.h"
#include "settings/guiKXPreferences.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace {

constexpr std::array<const char *, 8> kKindNames = {
    "unknown", "#rcodorg", "#xcodorg", "#wcodorg", "#rvarorg", "#xvarorg", "#wvarorg", "#rconorg",
};
static_assert(kKindNames.size() == kOriginRootConst + 1, "one name per origin kind");

OriginContainer g_table;

// The empty origin: no space, at the dummy address, bound to the null cache, size 0.
const OriginDirective &null_origin()
{
    static const OriginDirective origin = [] {
        OriginDirective o;
        o.name = "$nullorg";
        o.cache = &null_cache();
        return o;
    }();
    return origin;
}

struct InstallAtStartUp {
    InstallAtStartUp() { install_origin_table(); }
} g_install_at_start_up;

// The caches of the "debug" and "nodebug" options: one of each for the run, made when an
// origin first asks for it.
std::unique_ptr<XmemCache> g_debug_cache;
std::unique_ptr<XmemCache> g_nodebug_cache;

uint32_t physical(uint32_t a) { return addr_to_physical(a); }

void skip_blanks_here()
{
    while (is_blank_char(*input_pointer()))
        advance_input(1);
}

bool at_line_end()
{
    skip_blanks_here();
    return *input_pointer() == '\0';
}

// A constant expression at the cursor; false (after the evaluator's report) when none is there.
bool read_constant(uint32_t &value)
{
    skip_blanks_here();
    const char *before = input_pointer();
    value = static_cast<uint32_t>(expect_const_expr(1));
    return input_pointer() != before;
}

bool read_name(char (&name)[kMaxIdentifier + 1])
{
    return scan_identifier(name, false, false) != 0;
}

// "apply": the origin's cache starts again at its start, also when it is bound to it already.
void apply_origin(int32_t index)
{
    OriginDirective &o = *g_table.at(index);
    o.end = o.start;
    if (o.cache && o.cache->origin_index == index && o.cache->positioned)
        o.cache->SetAddress(o.start);
    else
        g_table.select_origin(index);
}

// "resume" or "apply" at the cursor, acting on the origin at `index`.
bool parse_action(int32_t index)
{
    if (match_keyword("resume")) {
        g_table.select_origin(index);
        return true;
    }
    if (match_keyword("apply")) {
        apply_origin(index);
        return true;
    }
    return false;
}

XmemCache &option_cache(std::unique_ptr<XmemCache> &slot, int extra)
{
    if (!slot)
        slot = std::make_unique<XmemCache>(4096);
    set_extra_code_cache(extra, slot.get());
    return *slot;
}

// "debug" / "nodebug" / "all"; false when none is at the cursor. Only a code origin takes
// one: on any other the word is reported and changes nothing.
bool parse_debug_word(OriginDirective &o)
{
    int debug = 0;
    if (match_keyword("debug"))
        debug = 1;
    else if (match_keyword("nodebug"))
        debug = 2;
    else if (!match_keyword("all"))
        return false;
    if (o.kind != kOriginRootCode && o.kind != kOriginXmemCode) {
        error_here("%s", msg(kMsgOriginDebugKind));
        return true;
    }
    o.debug = static_cast<uint8_t>(debug);
    if (debug == 1)
        o.cache = &option_cache(g_debug_cache, 0);
    else if (debug == 2)
        o.cache = &option_cache(g_nodebug_cache, 1);
    return true;
}

// "follows" NAME ["splitbin"]: the new origin follows NAME, and NAME keeps the chain.
// False after an error that ends the directive.
bool parse_follows(int32_t index)
{
    char name[kMaxIdentifier + 1];
    if (!read_name(name)) {
        error_here("%s", msg(kMsgOriginMissingFollows));
        return false;
    }
    const int32_t followed = g_table.Find(name);
    if (followed < 0) {
        error_here(msg(kMsgOriginUndefined), name);
        return false;
    }
    // An origin that followed itself would jump to its own start when it runs full.
    if (followed == index) {
        error_here(msg(kMsgOriginFollowsItself), name);
        return false;
    }
    skip_blanks_here();
    if (match_keyword("splitbin")) {
        g_table.at(index)->splitbin = 1;
        ++g_table.split_count;
    }
    OriginDirective &f = *g_table.at(followed);
    if (g_table.Find(f.next) >= 0)
        error_here("%s", msg(kMsgOriginTwoFollowers));
    f.next = g_table.at(index)->name;
    f.follower = index;
    return true;
}

// The battery-backed variable cache becomes this origin's (and the program's battery-backed
// cache), bound to it at its start.
void make_battery_backed(int32_t index)
{
    OriginDirective &o = *g_table.at(index);
    if (o.kind != kOriginRootVars) {
        error_here("%s", msg(kMsgOriginBatteryBacked));
        return;
    }
    EmitCache &cache = live_caches().second_variables;
    o.cache = &cache;
    set_battery_backed_cache(cache);
    cache.origin_index = index;
    cache.SetAddress(o.start);
}

// The option list: follows, a space word, batterybacked, an action word, a debug word, in any
// number; a word that is none of them ends the list. False after an error that ends the
// directive.
bool parse_options(int32_t index)
{
    for (;;) {
        skip_blanks_here();
        if (match_keyword("follows")) {
            if (!parse_follows(index))
                return false;
        } else if (match_keyword("ispace")) {
            g_table.at(index)->space = 1;
        } else if (match_keyword("dspace")) {
            g_table.at(index)->space = 2;
        } else if (match_keyword("batterybacked")) {
            make_battery_backed(index);
        } else if (parse_action(index)) {
        } else if (!parse_debug_word(*g_table.at(index))) {
            return true;
        }
    }
}

// An "#xcodorg" start below the xmem window is taken as a physical address (xpc * 0x1000 +
// offset) and expressed in the window.
uint32_t xmem_code_start(uint32_t start)
{
    if (addr_offset(start) >= window_start())
        return start;
    const uint32_t phys = (addr_xpc(start) * 0x1000u + addr_offset(start)) & kPhysicalMask;
    const uint32_t moved = physical_to_addr(phys);
    trivial_warning_here(msg(kMsgOriginNotInXmem), addr_xpc(start), addr_offset(start),
                         addr_xpc(moved), addr_offset(moved));
    return moved;
}

// A new origin: start, size, options. Nothing is declared when its start or size is missing.
void declare_origin(const char *name, uint8_t kind, EmitCache &cache)
{
    OriginDirective o;
    o.name = name;
    o.kind = kind;
    o.cache = &cache;
    uint32_t xpc = 0, offset = 0, size = 0;
    if (!read_constant(xpc) || !read_constant(offset))
        return;
    o.start = make_addr(static_cast<uint8_t>(xpc), static_cast<uint16_t>(offset));
    if (kind == kOriginXmemCode)
        o.start = xmem_code_start(o.start);
    o.end = o.start;
    if (!read_constant(size))
        return;
    o.size = size;
    if (size >= 0xFFFFF)
        serious_warning_here("%s", msg(kMsgOriginSizeTooLarge));
    else if (size == 0)
        trivial_warning_here("%s", msg(kMsgOriginSizeZero));
    g_table.origins.push_back(o);
    g_table.current = static_cast<int32_t>(g_table.origins.size() - 1);
    if (!parse_options(g_table.current))
        return;
    if (!at_line_end())
        error_here("%s", msg(kMsgOriginSyntax));
}

// ---- overlap check ------------------------------------------------------------------------------

struct Extent {
    const OriginDirective *origin;
    uint32_t low, high;  // logical offsets or physical addresses
};

bool accepted(const OriginDirective &o, int filter)
{
    switch (filter) {
    case 0: return o.space == 0;
    case 1: return o.space != 2;
    default: return o.space != 1;
    }
}

// One pass over the sorted extents: a front and the farthest reach so far; an origin that
// starts strictly below the front's limit collides with the front when its space is the
// filter's, otherwise the farthest origin becomes the front.
void collision_pass(const std::vector<Extent> &sorted, int filter, bool logical)
{
    const Extent *front = nullptr;
    const Extent *farthest = nullptr;
    uint32_t limit = 0;
    for (const Extent &e : sorted) {
        if (!accepted(*e.origin, filter))
            continue;
        if (!front) {
            front = farthest = &e;
            limit = e.high;
            continue;
        }
        if (logical && addr_offset(e.origin->start) >= window_start())
            return;
        if (e.high > farthest->high)
            farthest = &e;
        if (e.low < limit && &e != front) {
            if (e.origin->space == filter)
                serious_warning_here(msg(kMsgOriginCollides), front->origin->name.c_str(),
                                     e.origin->name.c_str(), logical ? "logical" : "physical",
                                     e.low);
        } else {
            limit = farthest->high;
            front = farthest;
        }
    }
}

void check_collisions(std::vector<Extent> extents, bool logical)
{
    std::stable_sort(extents.begin(), extents.end(),
                     [](const Extent &a, const Extent &b) { return a.low < b.low; });
    for (int filter = 0; filter <= 2; ++filter)
        collision_pass(extents, filter, logical);
}

}  // namespace

// ---- the table ------------------------------------------------------------------------------------

const char *origin_kind_name(uint8_t kind)
{
    return kind < kKindNames.size() ? kKindNames[kind] : kKindNames[0];
}

uint32_t origin_low_end(const OriginDirective &o)
{
    const int32_t size = static_cast<int32_t>(o.size);
    if (!o.cache || o.cache->direction > 0)
        return o.start;
    return addr_add(o.start, 1 - size);
}

uint32_t origin_high_end(const OriginDirective &o)
{
    const int32_t size = static_cast<int32_t>(o.size);
    if (!o.cache || o.cache->direction > 0)
        return addr_add(o.start, size - 1);
    return o.start;
}

int32_t OriginContainer::Find(std::string_view name) const
{
    if (name.empty())
        return -1;
    for (std::size_t i = 0; i < origins.size(); ++i)
        if (origins[i].name == name)
            return static_cast<int32_t>(i);
    return -1;
}

void OriginContainer::refresh_fill_points(uint8_t kind)
{
    for (std::size_t i = 0; i < origins.size(); ++i) {
        OriginDirective &o = origins[i];
        if (o.kind == kind && o.cache && o.cache->origin_index == static_cast<int32_t>(i))
            o.end = o.cache->current;
    }
}

uint32_t OriginContainer::HighestAddress(uint8_t kind)
{
    refresh_fill_points(kind);
    uint32_t highest = kDummyAddress;
    bool any = false;
    for (const OriginDirective &o : origins) {
        if (o.kind != kind || o.end == o.start)
            continue;
        if (!any || physical(o.end) > physical(highest))
            highest = o.end;
        any = true;
    }
    return highest;
}

uint32_t OriginContainer::HighestCodeAddress()
{
    uint32_t highest = HighestAddress(kOriginRootCode);
    for (uint8_t kind : {kOriginXmemCode, kOriginRootConst}) {
        const uint32_t a = HighestAddress(kind);
        if (physical(a) > physical(highest))
            highest = a;
    }
    return highest;
}

uint32_t OriginContainer::LowestAddress(uint8_t kind)
{
    refresh_fill_points(kind);
    uint32_t lowest = make_addr(0xF0, 0xFFFF);
    for (const OriginDirective &o : origins) {
        if (o.kind == kind && physical(origin_low_end(o)) < physical(lowest))
            lowest = origin_low_end(o);
    }
    return lowest;
}

// The debug and no-debug caches serve only the origins that asked for them: without those
// origins they are no code caches of the compile.
// Unbinds the cache and forgets its place: it stands nowhere and holds nothing, as a new one
// does. A cache whose origin went away must not measure its old address against the next
// compile's origins (or against none).
static void forget_place(EmitCache &cache)
{
    cache.Unbind();
    cache.Reset();
    cache.window_start = cache.current = cache.window_end = 0;
    cache.positioned = 0;
}

void OriginContainer::Clear()
{
    split_count = 0;
    // The caches lose their places with their origins: an emptied table starts a compile that
    // binds them anew, or binds none (the watch-code cache without a watch-code origin).
    for (OriginDirective &o : origins)
        if (o.cache)
            forget_place(*o.cache);
    origins.clear();
    current = -1;
    if (extra_code_cache(0) == g_debug_cache.get())
        set_extra_code_cache(0, nullptr);
    if (extra_code_cache(1) == g_nodebug_cache.get())
        set_extra_code_cache(1, nullptr);
}

const OriginDirective &OriginContainer::empty_origin() const { return null_origin(); }

OriginDirective *OriginContainer::at(int32_t index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= origins.size())
        return nullptr;
    return &origins[static_cast<std::size_t>(index)];
}

const EmitOriginExtent *OriginContainer::origin_at(int32_t index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= origins.size())
        return nullptr;
    return &origins[static_cast<std::size_t>(index)];
}

// Binding: the cache leaves its present origin (whose fill point keeps where it stopped) and
// continues at the new origin's fill point.
void OriginContainer::select_origin(int32_t index)
{
    OriginDirective *o = at(index);
    if (!o) {
        error_here(msg(kMsgOriginUndefined), "");
        return;
    }
    EmitCache *cache = o->cache;
    if (!cache)
        return;
    OriginDirective *present = at(cache->origin_index);
    if (present && present->name == o->name)
        return;
    if (present)
        present->end = cache->current;
    cache->Flush();
    cache->origin_index = index;
    cache->SetAddress(o->end);
}

OriginContainer &origin_table() { return g_table; }

void install_origin_table() { set_emit_origin_table(&g_table); }

OriginTableCopy copy_origin_table() { return OriginTableCopy{g_table.origins, g_table.split_count}; }

void restore_origin_table(const OriginTableCopy &copy)
{
    g_table.Clear();
    g_table.origins = copy.origins;
    g_table.split_count = copy.split_count;
    for (const OriginDirective &o : g_table.origins) {
        if (o.debug == 1 && o.cache == g_debug_cache.get())
            set_extra_code_cache(0, o.cache);
        if (o.debug == 2 && o.cache == g_nodebug_cache.get())
            set_extra_code_cache(1, o.cache);
    }
}

EmitCache *debug_code_cache() { return g_debug_cache.get(); }
EmitCache *nodebug_code_cache() { return g_nodebug_cache.get(); }

void rewind_to_origin_start(EmitCache &cache)
{
    if (OriginDirective *o = g_table.at(cache.origin_index))
        o->end = o->start;
    cache.RewindToOrigin();
}

// ---- directives -------------------------------------------------------------------------------------

uint32_t read_segment_offset()
{
    uint32_t xpc = 0, offset = 0;
    if (!read_constant(xpc))
        return kDummyAddress;
    (void)read_constant(offset);
    return make_addr(static_cast<uint8_t>(xpc), static_cast<uint16_t>(offset));
}

void select_origin(int32_t index) { g_table.select_origin(index); }

const OriginDirective *lookup_named_origin(const OriginDirective &origin)
{
    return g_table.at(g_table.Find(origin.next));
}

// origin line = name ( start-xpc start-offset size { option } | action )
void do_origin_directive(uint8_t kind, EmitCache &cache)
{
    expand_macros();
    char name[kMaxIdentifier + 1];
    if (!read_name(name)) {
        error_here("%s", msg(kMsgOriginInvalidName));
        return;
    }
    const int32_t found = g_table.Find(name);
    skip_blanks_here();
    if (!is_ident_start(*input_pointer())) {
        if (found >= 0) {
            error_here("%s", msg(kMsgOriginDuplicate));
            return;
        }
        declare_origin(name, kind, cache);
        return;
    }
    if (found < 0) {
        error_here(msg(kMsgOriginUndefined), name);
        return;
    }
    g_table.current = found;
    if (!parse_action(found)) {
        error_here("%s", msg(kMsgOriginMissingAction));
        return;
    }
    if (!at_line_end())
        error_here("%s", msg(kMsgOriginSyntax));
}

void origin_directive_line(uint8_t kind, std::string_view word)
{
    if (word == "#rcodorg") {
        root_code_cache().Flush();
        do_origin_directive(kOriginRootCode, root_code_cache());
    } else if (word == "#xcodorg") {
        EmitCache &xmem = xmem_code_cache();
        xmem.Flush();
        const bool was_unbound = !xmem.is_bound();
        do_origin_directive(kOriginXmemCode, xmem);
        // The first xmem code of a BIOS starts one 256-byte page past the next page boundary.
        if (was_unbound && xmem.is_bound() && IsCompilingBios() && (decl_flag_word() & 0x08) &&
            IdePreferences().include_bios) {
            uint32_t base = addr_add(xmem.current, 255);
            base &= ~uint32_t(0xFF);
            set_xmem_code_base(base);
            xmem.SetAddress(addr_add(base, 256));
        }
    } else if (word == "#wcodorg") {
        watch_code_cache().Flush();
        do_origin_directive(kOriginWatchCode, watch_code_cache());
    } else if (word == "#rconorg") {
        make_constant_cache_the_constant_target();
        constant_cache().Flush();
        do_origin_directive(kOriginRootConst, constant_cache());
    } else if (word == "#rvarorg") {
        root_variable_cache().Flush();
        if (&battery_backed_cache() != &root_variable_cache())
            battery_backed_cache().Flush();
        do_origin_directive(kOriginRootVars, root_variable_cache());
        set_root_data_base(root_variable_cache().current);
    } else if (word == "#wvarorg") {
        kind6_variable_cache().Flush();
        do_origin_directive(kOriginRootVars, kind6_variable_cache());
    } else {
        do_origin_directive(kind, root_code_cache());
    }
}

// The Z180 target has no origin directives: its BIOS compile starts with this fixed layout,
// which its BIOS maps with the MMU. Common area 0 (flash from 0) holds the root code with its
// constants; the bank area (BBR) holds the variables, falling from 0xCFFF, and above them the
// stack; common area 1 from 0xE000 is the xmem window, whose bank register CBR plays the part
// of XPC, so xmem code and the watch code lie where the Vireon's do.
//   name       kind        start (xpc, offset)  size
struct FixedOrigin {
    const char *name;
    uint8_t kind;
    uint8_t xpc;
    uint16_t offset;
    uint32_t size;
};
constexpr FixedOrigin kZ180Origins[] = {
    {"rootcode", kOriginRootCode, 0x00, 0x0000, 0x8000},
    {"rootdata", kOriginRootVars, 0x00, 0xCFFF, 0x5000},
    {"xmemcode", kOriginXmemCode, 0x02, 0xE000, 0x70000},
    {"watchcode", kOriginWatchCode, 0xE2, 0xE000, 0x1000},
};

void lay_out_z180_origins()
{
    for (const FixedOrigin &f : kZ180Origins) {
        EmitCache *cache = nullptr;
        switch (f.kind) {
        case kOriginRootCode: cache = &root_code_cache(); break;
        case kOriginRootVars: cache = &root_variable_cache(); break;
        case kOriginXmemCode: cache = &xmem_code_cache(); break;
        case kOriginWatchCode: cache = &watch_code_cache(); break;
        }
        assert(cache && "a fixed origin names a cache");
        if (g_table.Find(f.name) >= 0)
            continue;
        cache->Flush();
        OriginDirective o;
        o.name = f.name;
        o.kind = f.kind;
        o.cache = cache;
        o.start = make_addr(f.xpc, f.offset);
        o.end = o.start;
        o.size = f.size;
        g_table.origins.push_back(o);
        apply_origin(static_cast<int32_t>(g_table.origins.size() - 1));
        if (f.kind == kOriginRootVars)
            set_root_data_base(root_variable_cache().current);
    }
}

// interrupt_vector VECTOR ISR; a declaration that cannot be compiled is reported and the rest
// of its line dropped.
int do_interrupt_vector()
{
    expand_macros();
    char vector[kMaxIdentifier + 1];
    if (!read_name(vector)) {
        error_here("%s", msg(kMsgOriginInvalidName));
        clear_line();
        return 0;
    }
    char isr[kMaxIdentifier + 1];
    if (!read_name(isr)) {
        error_here("%s", msg(kMsgVectorNoIsr));
        clear_line();
        return 0;
    }
    const int32_t index = g_table.Find(vector);
    if (index < 0) {
        error_here(msg(kMsgVectorUndefined), vector);
        clear_line();
        return 0;
    }
    EmitCache &root = root_code_cache();
    const int32_t root_origin = root.origin_index;
    EmitCache &entry = current_code_cache();
    const bool switched = &entry == &xmem_code_cache();
    if (switched) {
        set_current_code_cache(root);
        root.SetAddress(root.current);
    }
    apply_origin(index);
    outasm("jp %s", isr);
    root.Flush();
    if (g_table.at(root_origin))
        select_origin(root_origin);
    if (switched) {
        set_current_code_cache(entry);
        entry.SetAddress(entry.current);
    }
    skip_blanks_here();
    return 1;
}

// Sorted by low end, first by logical offsets (origins in the xmem window end a pass), then by
// physical addresses; three passes each: unmarked origins, then "ispace", then "dspace".
void resolve_origins()
{
    std::vector<Extent> logical, phys;
    for (const OriginDirective &o : g_table.origins) {
        logical.push_back({&o, addr_offset(origin_low_end(o)), addr_offset(origin_high_end(o))});
        phys.push_back({&o, physical(origin_low_end(o)), physical(origin_high_end(o))});
    }
    check_collisions(logical, true);
    check_collisions(phys, false);
}
