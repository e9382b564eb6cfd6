// CC_ARGREV: the reversed argument text of a call.
#include "CC_ARGREV.h"

#include <vector>

namespace {

int g_depth = 0;           // active guards
int g_argument_count = 0;  // of the last list read

struct Position {
    unsigned short line = 0;
    unsigned short column = 0;
};

struct Argument {
    std::string text;
    std::vector<Position> positions;
    void add(char c, Position p)
    {
        text.push_back(c);
        positions.push_back(p);
    }
};

// One list read at the input pointer up to its closing ")" (consumed).
struct ReadList {
    std::vector<Argument> arguments{1};
    std::vector<Position> separators;  // of the top-level commas
    Position close;                    // of the ")" (or where the list broke off)
    bool too_long = false;
};

// The end of a line ends a list that cannot go on to the next one: inside a reversed text (its
// own ")" ends every list in it), at the end of the input, or where the lexer may not cross.
bool list_breaks_off_at_line_end()
{
    return g_depth > 0 || end_of_input() || no_line_crossing();
}

ReadList read_list()
{
    ReadList list;
    int depth = 0;
    bool in_string = false, in_char = false;
    while (is_blank_char(*input_pointer()))
        advance_input(1);
    for (;;) {
        const char c = *input_pointer();
        if (c == '\0') {
            if (list_breaks_off_at_line_end())
                break;
            skip_blanks_across_lines();
            if (*input_pointer() == '\0')
                break;
            // Lines reach the lexer without their outer blanks: the line end between two
            // characters stays a blank, so that "sizeof" at a line's end and "x" at the next
            // line's start do not run into one word.
            Argument &current = list.arguments.back();
            if (!in_string && !in_char && !list.too_long && !current.text.empty() &&
                !is_blank_char(current.text.back()))
                current.add(' ', Position{current_line(), current_column()});
            continue;
        }
        const Position here{current_line(), current_column()};
        list.close = here;
        advance_input(1);
        Argument &current = list.arguments.back();
        if (in_string || in_char) {
            current.add(c, here);
            if (c == '\\' && *input_pointer() != '\0') {
                current.add(*input_pointer(), Position{current_line(), current_column()});
                advance_input(1);
            } else if (c == (in_string ? '"' : '\'')) {
                in_string = in_char = false;
            }
            continue;
        }
        if (c == '"' || c == '\'') {
            (c == '"' ? in_string : in_char) = true;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth == 0)
                break;
            --depth;
        } else if (c == ',' && depth == 0) {
            list.separators.push_back(here);
            if (list.arguments.size() == static_cast<size_t>(kMaxCallArguments))
                list.too_long = true;
            if (!list.too_long)
                list.arguments.emplace_back();
            continue;
        }
        if (!list.too_long)
            current.add(c, here);
    }
    return list;
}

// The characters of a list and their positions, the arguments in the order given.
struct PositionedText {
    std::string text;
    std::unique_ptr<ExpandableBuffer<unsigned short>> lines =
        std::make_unique<ExpandableBuffer<unsigned short>>();
    std::unique_ptr<ExpandableBuffer<unsigned short>> columns =
        std::make_unique<ExpandableBuffer<unsigned short>>();
    void put(char c, Position p)
    {
        text.push_back(c);
        (void)lines->append(p.line);
        (void)columns->append(p.column);
    }
    void put(const Argument &a)
    {
        for (size_t k = 0; k < a.text.size(); ++k)
            put(a.text[k], a.positions[k]);
    }
    LexerPlace place() const
    {
        return LexerPlace{text.c_str(), text.c_str(), 0, lines.get(), columns.get()};
    }
};

bool blank(const std::string &text)
{
    for (char c : text)
        if (!is_blank_char(c))
            return false;
    return true;
}

}  // namespace

ReverseFunctionArguments::ReverseFunctionArguments()
{
    ReadList list = read_list();
    if (list.too_long) {
        error_here(msg(kMsgCallTooLong));
        g_argument_count = 0;
        return;
    }
    const size_t n = list.arguments.size();
    g_argument_count = (n == 1 && blank(list.arguments[0].text)) ? 0 : static_cast<int>(n);
    if (g_depth >= kMaxCallNesting) {
        // The list has been read over and is not compiled: the calls inside it, however deep
        // they go, take no more of the parser's stack.
        error_here(msg(kMsgCallsTooDeep));
        g_argument_count = 0;
        return;
    }

    PositionedText out;
    for (size_t i = n; i-- > 0;) {
        out.put(list.arguments[i]);
        if (i != 0)
            out.put(',', list.separators[i - 1]);
    }
    out.put(')', list.close);
    m_text = std::move(out.text);
    m_lines = std::move(out.lines);
    m_columns = std::move(out.columns);

    m_saved = lexer_place();
    restore_lexer_place(LexerPlace{m_text.c_str(), m_text.c_str(), 0, m_lines.get(), m_columns.get()});
    ++g_depth;
    m_active = true;
}

ReverseFunctionArguments::~ReverseFunctionArguments()
{
    if (!m_active)
        return;
    --g_depth;
    restore_lexer_place(m_saved);
}

int reversed_argument_count() { return g_argument_count; }
int reversed_argument_depth() { return g_depth; }

void set_reversed_argument_count(int count) { g_argument_count = count; }

// ---- a list kept for two readings ----------------------------------------------------------------

struct ArgumentListCopy::Text : PositionedText {};

ArgumentListCopy::ArgumentListCopy() : m_copy(std::make_unique<Text>())
{
    while (is_blank_char(*input_pointer()))
        advance_input(1);
    if (*input_pointer() != '(')
        return;
    const Position open{current_line(), current_column()};
    advance_input(1);
    ReadList list = read_list();
    m_copy->put('(', open);
    for (size_t i = 0; i < list.arguments.size(); ++i) {
        if (i != 0)
            m_copy->put(',', list.separators[i - 1]);
        m_copy->put(list.arguments[i]);
    }
    m_copy->put(')', list.close);
    m_saved = lexer_place();
    m_saved_no_crossing = no_line_crossing();
    // The copy holds the whole list: nothing is read beyond it.
    set_no_line_crossing(true);
    restore_lexer_place(m_copy->place());
    m_active = true;
}

ArgumentListCopy::~ArgumentListCopy()
{
    if (!m_active)
        return;
    set_no_line_crossing(m_saved_no_crossing);
    restore_lexer_place(m_saved);
}

void ArgumentListCopy::rewind()
{
    if (m_active)
        restore_lexer_place(m_copy->place());
}
