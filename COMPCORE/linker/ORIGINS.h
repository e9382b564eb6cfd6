// ORIGINS: origin directives and interrupt vectors. Origins say where in target memory each
// kind of output goes (root code, xmem code, watch code, root constants, root and watch
// variables): each names a region with a start address, a size and options. This unit owns the
// program-wide table of origins (`OriginContainer`), the parsing of the directives, the binding
// of emit caches to origins ("apply", "resume", "follows"), the overlap check after a compile,
// the address queries of the output writers, and `interrupt_vector`, which puts a jump to a
// service routine at the start of a named origin.
// The directive dispatcher (CC_IN) recognises the directive words and calls
// `origin_directive_line`, which flushes the cache concerned and parses the rest of the line.
// Diagnostics go through CC_IN's reporters at the input position.
#pragma once

#include "EMITCACHE.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Origin kinds; the kind-name table (used in messages) is indexed by kind.
enum OriginKind : uint8_t {
    kOriginUnknown = 0,
    kOriginRootCode = 1,   // "#rcodorg"
    kOriginXmemCode = 2,   // "#xcodorg"
    kOriginWatchCode = 3,  // "#wcodorg"
    kOriginRootVars = 4,   // "#rvarorg" and "#wvarorg"
    kOriginXmemVars = 5,   // recorded by no directive
    kOriginWatchVars = 6,  // recorded by no directive
    kOriginRootConst = 7,  // "#rconorg"
};
const char *origin_kind_name(uint8_t kind);

// One origin. The extent (start, fill point, size, follower index) is what the caches read.
// `end` is the fill point: where emission into the origin resumes; it is `start` when the
// origin is declared and after "apply", and follows the bound cache whenever the cache leaves
// the origin or an address query runs.
struct OriginDirective : EmitOriginExtent {
    std::string name;
    uint8_t kind = kOriginUnknown;
    uint8_t space = 0;            // 0 none given, 1 "ispace", 2 "dspace"
    EmitCache *cache = nullptr;   // the cache that writes into this origin (not owned)
    uint8_t debug = 0;            // 0 "all", 1 "debug", 2 "nodebug"
    std::string next;             // the origin that follows this one ("follows"), or empty
    uint8_t splitbin = 0;         // the image file is split here
};

// Low and high end: an upward cache fills start .. start + size - 1, a downward one
// start - size + 1 .. start (address arithmetic of CC_ADDR).
uint32_t origin_low_end(const OriginDirective &o);
uint32_t origin_high_end(const OriginDirective &o);

// The program-wide table of origins, in declaration order; caches refer to origins by index,
// -1 meaning none. The shared empty origin ("$nullorg") stands for no origin.
class OriginContainer : public EmitOriginTable {
public:
    std::vector<OriginDirective> origins;
    int32_t current = -1;      // the origin being parsed
    int32_t split_count = 0;   // origins marked "splitbin"

    // Index of the origin with that name (exact comparison), or -1.
    int32_t Find(std::string_view name) const;
    // The highest fill point by physical address among the origins of the kind into which
    // something was emitted (fill point not at the start); the dummy address when none.
    uint32_t HighestAddress(uint8_t kind);
    // The highest of `HighestAddress` over root code, xmem code and root constants.
    uint32_t HighestCodeAddress();
    // The lowest low end by physical address among the origins of the kind, starting from
    // xpc 0xF0, offset 0xFFFF (returned when there is none).
    uint32_t LowestAddress(uint8_t kind);
    // Unbinds every origin's cache (its place forgotten), resets the split counter, empties.
    void Clear();

    const OriginDirective &empty_origin() const;
    OriginDirective *at(int32_t index);

    // EmitOriginTable
    const EmitOriginExtent *origin_at(int32_t index) const override;
    void select_origin(int32_t index) override;
    const char *kind_name(uint8_t kind) const override { return origin_kind_name(kind); }

private:
    // Copies the bound cache's address into the fill point of every origin of the kind that
    // it is bound to.
    void refresh_fill_points(uint8_t kind);
};

OriginContainer &origin_table();
// Makes the program's table the emit caches' origin table (done at start-up).
void install_origin_table();

// What the BIOS compile state keeps of the table.
struct OriginTableCopy {
    std::vector<OriginDirective> origins;
    int32_t split_count = 0;
};
OriginTableCopy copy_origin_table();
// Empties the table (`Clear`) and fills it from the copy. The caches' own copies, with their
// origin indices, are put back after this.
void restore_origin_table(const OriginTableCopy &copy);

// ---- directives -----------------------------------------------------------------------------------

// A directive line that the dispatcher matched (`word` is "#rcodorg", "#xcodorg", "#wcodorg",
// "#rconorg", "#rvarorg" or "#wvarorg"), the input at the rest of the line: flushes the cache
// concerned, runs `do_origin_directive` with the directive's kind and cache, and does what the
// directive does around it (the constant target, the root data base, the first "#xcodorg" of a
// BIOS).
void origin_directive_line(uint8_t kind, std::string_view word);

// Parses the rest of an origin directive line and declares or acts on an origin.
void do_origin_directive(uint8_t kind, EmitCache &cache);
// Reads two constant expressions, an xpc byte and a 16-bit offset, as one address word.
uint32_t read_segment_offset();
// Binds the cache of the origin at `index` to it, continuing at the origin's fill point.
void select_origin(int32_t index);
// The origin that `origin` names as its follower, or nullptr.
const OriginDirective *lookup_named_origin(const OriginDirective &origin);
// The Z180's fixed origins (root code, root variables, xmem code, watch code), declared and
// applied at the start of its BIOS compile in place of the directives it does not have.
void lay_out_z180_origins();
// The rest of an `interrupt_vector VECTOR ISR` declaration: "jp ISR" at VECTOR's start, root
// code going on where it was. 1 on success, 0 when VECTOR names no origin.
int do_interrupt_vector();
// The overlap check after a compile: serious warnings for colliding origins.
void resolve_origins();

// The caches that the "debug" and "nodebug" origin options made (nullptr until then); they are
// also the compile frame's extra code caches 0 and 1.
EmitCache *debug_code_cache();
EmitCache *nodebug_code_cache();

// Rewinds a cache to its origin's start: the fill point goes back to the start and the cache
// re-opens there (the watch-code area before each watch compile).
void rewind_to_origin_start(EmitCache &cache);

// Message ids of this unit.
enum : uint32_t {
    kMsgOriginInvalidName = 7210,
    kMsgOriginUndefined = 7211,
    kMsgOriginMissingAction = 7212,
    kMsgOriginDuplicate = 7213,
    kMsgOriginNotInXmem = 7214,
    kMsgOriginSizeTooLarge = 7215,
    kMsgOriginSizeZero = 7216,
    kMsgOriginSyntax = 7217,
    kMsgOriginMissingFollows = 7218,
    kMsgOriginTwoFollowers = 7219,
    kMsgOriginBatteryBacked = 7220,
    kMsgOriginDebugKind = 7221,
    kMsgVectorNoIsr = 7222,
    kMsgVectorUndefined = 7223,
    kMsgOriginCollides = 7224,
    kMsgOriginFollowsItself = 7225,
};
