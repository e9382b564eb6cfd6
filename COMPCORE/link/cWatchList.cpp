// cWatchList: binding, compiling, keeping and formatting the debugger's watch expressions.
// The compiler turns "dkDoWatchExpression(expr);" into code in the watch-code area that hands
// the debug kernel the value with its type code and declarator word; the kernel answers with a
// 12-byte block per watch, which this unit formats. The watches window, the Evaluate Expression
// dialog and the editor's fly-over hint call it.
#include "cWatchList.h"

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "parser/CC_DECL.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_GLINE.h"
#include "driver/CC_GO.h"
#include "input/CC_IN.h"
#include "core/CC_MOD.h"
#include "core/CC_STAB.h"
#include "DB_GO.h"
#include "linker/EMITCACHE.h"
#include "linker/ORIGINS.h"
#include "parser/CC_PARSE.h"
#include "TC.h"
#include "core/guiExceptions.h"

namespace {

// ---- formatting -------------------------------------------------------------------------------

std::string printf_text(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string printf_text(const char *format, ...)
{
    char buffer[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

// One byte as C writes it inside quotes.
std::string escape_byte(uint8_t b)
{
    switch (b) {
    case 7: return "\\a";
    case 8: return "\\b";
    case 9: return "\\t";
    case 10: return "\\n";
    case 11: return "\\v";
    case 12: return "\\f";
    case 13: return "\\r";
    case '"': return "\\\"";
    case '\'': return "\\'";
    case '\\': return "\\\\";
    default: break;
    }
    if (b >= 0x20 && b <= 0x7E)
        return std::string(1, char(b));
    return printf_text("\\x%02X", b);
}

// Value classes of a result: the shown type, or these.
constexpr int kClassCharPointer = -1;
constexpr int kClassHex = 11;

int value_class(uint16_t shown, uint32_t declarator)
{
    if (declarator == 2 && shown == 1)
        return kClassCharPointer;
    if (declarator != 0)
        return kClassHex;
    return shown == kClassHex ? 0 : shown;
}

}  // namespace

std::string watch_type_text(uint16_t type_code, uint32_t declarator, const char *tag)
{
    std::string suffix;
    bool previous_pointer = false;
    int level = 0;
    for (; level < 8; ++level) {
        const uint32_t nibble = (declarator >> (4 * level)) & 0xF;
        const uint32_t code = nibble & 3;
        if (code == 0)
            break;
        const bool is_const = (nibble & 4) != 0;
        if (code == 1) {
            suffix += "[]";
        } else if (code == 2) {
            suffix = std::string("*") + (is_const ? " const " : "") + suffix;
        } else {
            suffix = "(" + suffix + (previous_pointer ? ")()" : ")");
        }
        previous_pointer = code == 2;
    }
    const bool base_const = level < 8 && ((declarator >> (4 * level)) & 4) != 0;
    const uint16_t shown = std::min<uint16_t>(type_code, kWatchTagType);
    std::string text = base_const ? "const " : "";
    text += kWatchTypeNames[shown];
    if (type_code >= kWatchTagType && tag && *tag)
        text += std::string(" ") + tag;
    if (!suffix.empty())
        text += " " + suffix;
    return text;
}

std::string quote_watch_char(uint8_t c)
{
    return c == 0 ? "''" : "'" + escape_byte(c) + "'";
}

std::string quote_watch_string(const uint8_t *bytes, std::size_t count)
{
    std::string written;
    for (std::size_t i = 0; i < count && bytes[i] != 0; ++i) {
        written += escape_byte(bytes[i]);
        if (written.size() > 31)
            break;
    }
    return "\"" + written + "\"";
}

std::string watch_value_text(uint16_t type_code, uint32_t declarator, uint32_t value,
                             const WatchStringReader &read_string)
{
    const uint16_t shown = std::min<uint16_t>(type_code, kWatchTagType);
    const uint16_t low = uint16_t(value & 0xFFFF);
    switch (value_class(shown, declarator)) {
    case kClassCharPointer: {
        const std::optional<std::vector<uint8_t>> bytes =
            read_string ? read_string(low) : std::nullopt;
        if (!bytes)
            return "????";
        const std::string quoted = quote_watch_string(bytes->data(), bytes->size());
        return printf_text("(0x%04X) %-20.20s", low, quoted.c_str());
    }
    case 1:
        return printf_text("%s (0x%02X)", quote_watch_char(uint8_t(value)).c_str(),
                           unsigned(value & 0xFF));
    case 2:
        return printf_text("%hd (0x%04X)", int16_t(low), unsigned(low));
    case 3:
        return printf_text("%u (0x%04X)", unsigned(low), unsigned(low));
    case 4:
        return printf_text("%ld (0x%08lX)", long(int32_t(value)), static_cast<unsigned long>(value));
    case 5:
        return printf_text("%lu (0x%08lX)", static_cast<unsigned long>(value),
                           static_cast<unsigned long>(value));
    case 7:
        return printf_text("%g", double(std::bit_cast<float>(value)));
    case kClassHex:
        return printf_text("0x%04X", unsigned(low));
    case 12:
    case 16:
        return "";
    default:
        return "????";
    }
}

std::string watch_line(const std::string &expression, const std::string *type_text,
                       const std::string &value)
{
    char line[128];
    std::snprintf(line, sizeof line, "%-30.30s %-16.16s %-29.29s", expression.c_str(),
                  type_text ? type_text->c_str() : "????", value.c_str());
    return line;
}

std::pair<std::string, std::string> split_watch_history_line(const std::string &line)
{
    const std::size_t colon = line.rfind(':');
    if (colon == std::string::npos)
        return {line, std::string()};
    return {line.substr(0, colon), line.substr(colon + 1)};
}

// ---- the target's table -------------------------------------------------------------------------

namespace {

int g_target_watches = 0;  // watches this unit added since the target's table was last emptied

// The function holding the program counter, looked up again only when the counter moved.
ADDR24 g_cached_pc = kDummyAddress;
ADDR24 g_cached_function = kDummyAddress;
bool g_cache_valid = false;

ADDR24 current_pc() { return gTargetRegisters.PC; }

ADDR24 current_function_start()
{
    const ADDR24 pc = current_pc();
    if (!g_cache_valid || !addr_equal(pc, g_cached_pc)) {
        g_cached_pc = pc;
        g_cache_valid = true;
        ADDR24 start = kDummyAddress;
        uint32_t a = 0, b = 0, c = 0, d = 0;
        (void)function_info_at(pc, &a, &start, &b, &c, &d, nullptr, nullptr);
        g_cached_function = start;
    }
    return g_cached_function;
}

// The main window's current file, put back whichever way the scope ends.
struct CurrentFileScope {
    QBString saved;
    CurrentFileScope() : saved(gMainWindowInterface->GetCurrentSourceFile()) {}
    ~CurrentFileScope() { gMainWindowInterface->SetCurrentSourceFile(saved); }
    CurrentFileScope(const CurrentFileScope &) = delete;
    CurrentFileScope &operator=(const CurrentFileScope &) = delete;
};

std::string message_of(const xErr &e)
{
    char text[kErrBoxTextSize];
    e.GetMessage(text, sizeof text);
    return text;
}

// The option word of the watch's compile, from the scope function's saved options.
uint16_t watch_options(const cWatchList::cWatch &w)
{
    const uint8_t first = uint8_t(w.saved_options[0] & 0xFF);
    const uint8_t second = uint8_t((w.saved_options[0] >> 8) & 0xFF);
    uint16_t options = 0x01;  // a watch compile
    if (first & 0x04) options |= 0x02;
    if (first & 0x08) options |= 0x04;
    if (first & 0x02) options |= 0x08;
    if (second & 0x10) options |= 0x10;
    // The warning switches as every compile packs them.
    options |= pack_compile_options() & 0x60;
    return options;
}

uint32_t linear(ADDR24 a) { return uint32_t(addr_xpc(a)) * 4096u + addr_offset(a); }

}  // namespace

void delete_target_watches()
{
    TcDeleteAllWatches();
    forget_target_watches();
}

void forget_target_watches()
{
    g_target_watches = 0;
    rewind_to_origin_start(watch_code_cache());
}

int target_watch_count() { return g_target_watches; }

void bind_watch_scope(cWatchList::cWatch &w)
{
    if (!w.compilable)
        return;
    w.source_line = 0;
    w.source_column = 0;
    if (!w.scope_name.empty()) {
        if (w.scope_address == kDummyAddress)
            w.scope_address = function_address(w.scope_name.c_str());
        if (w.scope_address == kDummyAddress)
            throw xWatch(kMsgNoWatchContext, KX_HERE);
    } else {
        w.scope_address = current_pc();
    }
    (void)function_ids_at(w.scope_address, &w.source_line, &w.source_column);
    if (w.source_line == 0 && w.source_column == 0) {
        const ADDR24 main_start = function_address("main");
        (void)function_ids_at(main_start, &w.source_line, &w.source_column);
        if (main_start == kDummyAddress || (w.source_line == 0 && w.source_column == 0))
            throw xWatch(kMsgNoWatchContext, KX_HERE);
        w.scope_address = main_start;
    }
    uint32_t a = 0, b = 0, c = 0, d = 0;
    (void)function_info_at(w.scope_address, &a, &w.scope_start, &b, &c, &d, w.saved_options,
                           &w.storage_class);
    w.scope_record[0] = a;
    w.scope_record[1] = b;
    w.scope_record[2] = c;
    w.scope_record[3] = d;
    if (w.scope_name.empty())
        if (const char *name = function_name_at(w.scope_start))
            w.scope_name = name;
}

void compile_watch(cWatchList::cWatch &w)
{
    if (!w.compilable)
        return;
    CurrentFileScope file;
    w.shown_type = 0;
    w.compiled = 0;
    w.target_slot = -1;
    const ADDR24 before = watch_code_cache().current;
    w.code_address = before;
    w.code_offset = addr_offset(before);
    const bool saved_watch_flag = watch_compile();
    const uint16_t saved_mode = compile_mode_word();
    struct Restore {
        bool flag;
        uint16_t mode;
        ~Restore()
        {
            set_watch_compile(flag);
            set_compile_mode_word(mode);
            set_watch_scope(std::string());
        }
    } restore{saved_watch_flag, saved_mode};
    set_watch_compile(true);
    try {
        // Built to the expression's length: a long expression compiles or gets the compiler's
        // own message.
        const std::string line = "dkDoWatchExpression(" + w.expression + ");";
        const char *lines[] = {line.c_str(), nullptr};
        set_in_memory_lines(lines, 2);
        // An expression compiled for the debugger, its code written into the target as it is
        // made.
        set_compile_mode_word(2);
        set_storage_class(w.storage_class);
        set_watch_scope(w.scope_name);
        if (!w.scope_name.empty())
            if (const symbol *s = find_symbol(w.scope_name.c_str(), false, kGlobalTable);
                s && s->file)
                gMainWindowInterface->SetCurrentSourceFile(s->file);
        clear_line_position();
        clear_line();
        clear_end_of_input();
        const int16_t result = compile_program(
            root_code_cache().current, data_cache().current, constant_cache().current,
            root_variable_cache().current, w.scope_record[0], w.scope_record[1], watch_options(w));
        if (result <= 0)
            throw xWatch(kMsgInvalidWatch, KX_HERE);
        const ADDR24 after = watch_code_cache().current;
        const uint32_t length = linear(after) - linear(before);
        if (linear(after) <= linear(before) || length > 0xFF)
            throw xWatch(kMsgInvalidWatch, KX_HERE);
        TcAddWatch(addr_xpc(before), addr_offset(before), uint8_t(length));
        w.compiled = 1;
        w.scope_kind = uint16_t(result - 1);
        w.target_slot = g_target_watches++;
    } catch (const xErr &e) {
        w.error_text = message_of(e);
        w.compiled = 0;
        w.scope_kind = 4;
        throw;
    }
}

// ---- the list ---------------------------------------------------------------------------------------

cWatchList::cWatchList(uint8_t kind) : m_kind(kind)
{
    m_head.next = &m_tail;
    m_tail.prev = &m_head;
}

cWatchList::~cWatchList() { Clear(); }

int cWatchList::GetCount() const
{
    int n = 0;
    for (const cNode *p = m_head.next; p != &m_tail; p = p->next)
        ++n;
    return n;
}

cWatchList::cNode *cWatchList::NodeAt(int index) const
{
    if (index < 0)
        return nullptr;
    cNode *p = m_head.next;
    for (int i = 0; p != &m_tail && i < index; ++i)
        p = p->next;
    return p == &m_tail ? nullptr : p;
}

const cWatchList::cWatch *cWatchList::At(int index) const
{
    const cNode *n = NodeAt(index);
    return n ? n->watch : nullptr;
}

void cWatchList::InsertNode(int position, cWatch *watch)
{
    cNode *before = NodeAt(position);
    if (!before)
        before = &m_tail;
    cNode *node = new cNode{watch, before->prev, before};
    before->prev->next = node;
    before->prev = node;
}

bool cWatchList::Add(int position, const std::string &expression, const std::string &scope_name)
{
    auto watch = std::make_unique<cWatch>();
    watch->expression = expression;
    watch->scope_name = scope_name;
    watch->compilable = m_kind;
    if (m_active) {
        bind_watch_scope(*watch);
        for (const cNode *p = m_head.next; p != &m_tail; p = p->next)
            if (p->watch->scope_name == watch->scope_name &&
                p->watch->expression == watch->expression)
                return false;
        compile_watch(*watch);
    }
    InsertNode(position, watch.release());
    return true;
}

void cWatchList::InsertCopy(int position, const cWatch &watch)
{
    auto copy = std::make_unique<cWatch>(watch);
    copy->compiled = 0;
    copy->target_slot = -1;
    if (m_active)
        compile_watch(*copy);
    InsertNode(position, copy.release());
}

void cWatchList::Delete(int index)
{
    cNode *n = NodeAt(index);
    if (!n)
        return;
    n->prev->next = n->next;
    n->next->prev = n->prev;
    delete n->watch;
    delete n;
}

std::string cWatchList::ExpressionText(int index) const
{
    const cWatch *w = At(index);
    return w ? w->expression : std::string();
}

std::string cWatchList::ScopeName(int index) const
{
    const cWatch *w = At(index);
    return w ? w->scope_name : std::string();
}

namespace {

// Fetches the watch's result and formats its line.
std::string format_watch(cWatchList::cWatch &w)
{
    CurrentFileScope file;
    const ADDR24 function = current_function_start();
    std::string value = "????";
    if (w.compiled && w.target_slot >= 0 &&
        !(w.scope_kind == 1 && !addr_equal(function, w.scope_start))) {
        uint8_t entry[kWatchEntrySize] = {};
        // A watch that did not return (too long, an undefined opcode, the exit trap) or one the
        // target's last report does not cover leaves nothing to show.
        if (TcGetWatchEntry(w.target_slot, entry) && entry[12] == 0) {
            w.result_word = uint16_t(entry[0] | entry[1] << 8);
            w.type_code = uint16_t(entry[2] | entry[3] << 8);
            w.declarator = uint32_t(entry[4] | entry[5] << 8 | entry[6] << 16 |
                                    uint32_t(entry[7]) << 24);
            w.value = uint32_t(entry[8] | entry[9] << 8 | entry[10] << 16 |
                               uint32_t(entry[11]) << 24);
            w.shown_type = std::min<uint16_t>(w.type_code, kWatchTagType);
            w.type_text = watch_type_text(w.type_code, w.declarator,
                                          w.type_code >= kWatchTagType ? tag_name(w.type_code)
                                                                       : nullptr);
            const ADDR24 origin = watch_code_cache().GetOrigin().start;
            value = watch_value_text(
                w.type_code, w.declarator, w.value,
                [origin](uint16_t pointer) -> std::optional<std::vector<uint8_t>> {
                    std::vector<uint8_t> bytes(64);
                    try {
                        TcReadMemory(make_addr(addr_xpc(origin), pointer), 64, bytes.data());
                    } catch (const xErr &) {
                        return std::nullopt;
                    }
                    return bytes;
                });
        }
    }
    return watch_line(w.expression, w.type_text ? &*w.type_text : nullptr, value);
}

}  // namespace

std::string cWatchList::FormatLine(int index)
{
    cNode *n = NodeAt(index);
    return n ? format_watch(*n->watch) : std::string();
}

std::string cWatchList::EvaluateOnce(const std::string &expression, std::string &error_text)
{
    cWatch temporary;
    temporary.expression = expression;
    temporary.compilable = m_kind;
    try {
        CurrentFileScope file;
        bind_watch_scope(temporary);
        compile_watch(temporary);
        TcRunWatches();
    } catch (const xErr &e) {
        error_text = temporary.error_text ? *temporary.error_text : message_of(e);
        throw;
    }
    return format_watch(temporary);
}

void cWatchList::Activate()
{
    cNode *p = m_head.next;
    while (p != &m_tail) {
        cNode *next = p->next;
        try {
            bind_watch_scope(*p->watch);
            compile_watch(*p->watch);
        } catch (const xErr &) {
            p->prev->next = p->next;
            p->next->prev = p->prev;
            delete p->watch;
            delete p;
        }
        p = next;
    }
    m_active = 1;
}

void cWatchList::Deactivate()
{
    for (cNode *p = m_head.next; p != &m_tail; p = p->next) {
        p->watch->compiled = 0;
        p->watch->target_slot = -1;
    }
    m_active = 0;
}

void cWatchList::CopyRange(int from, cWatchList &into) const
{
    for (cNode *p = NodeAt(from); p && p != &m_tail; p = p->next)
        into.InsertCopy(-1, *p->watch);
}

void cWatchList::InsertRange(int at, const cWatchList &from)
{
    int position = at;
    for (const cNode *p = from.m_head.next; p != &from.m_tail; p = p->next)
        InsertCopy(position < 0 ? -1 : position++, *p->watch);
}

void cWatchList::Clear()
{
    cNode *p = m_head.next;
    while (p != &m_tail) {
        cNode *next = p->next;
        delete p->watch;
        delete p;
        p = next;
    }
    m_head.next = &m_tail;
    m_tail.prev = &m_head;
}

void cWatchList::RebuildTarget()
{
    for (cNode *p = m_head.next; p != &m_tail; p = p->next) {
        p->watch->compiled = 0;
        p->watch->target_slot = -1;
    }
    delete_target_watches();
    for (cNode *p = m_head.next; p != &m_tail; p = p->next) {
        try {
            compile_watch(*p->watch);
        } catch (const xTCErr &) {
            throw;
        } catch (const xErr &) {
            // Kept in its place: the line shows "????" until it compiles again.
        }
    }
}

// ---- the fly-over watch -----------------------------------------------------------------------

cFlyOverWatch::cFlyOverWatch()
{
    m_list.Activate();
    if (areWatchesEnabled())
        delete_target_watches();
}

std::string cFlyOverWatch::Evaluate(const std::string &expression, bool keep_error)
{
    struct Clean {
        ~Clean()
        {
            try {
                delete_target_watches();
            } catch (const xErr &) {
                // The link failed: nothing left to clean on a target that cannot be reached.
            }
        }
    } clean;
    std::string error_text;
    try {
        return m_list.EvaluateOnce(expression, error_text);
    } catch (const xErr &) {
        return keep_error ? error_text : std::string();
    }
}

void install_flyover_watches()
{
    set_flyover_watch_factory([] { return std::make_unique<cFlyOverWatch>(); });
}
