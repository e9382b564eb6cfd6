// CParserFrame: the parse entry, the parser set, the syntax tree node and the members of the
// generated CParser and DLGLexer that the grammar declares (hooks, node arena, rule budget,
// escape actions). The only file besides the generated ones that sees tokens.h.
//
// Two runtime behaviours are replaced here because they lose a parse's objects or the program:
// - The runtime builds nodes with `new` and a rule that returns a signal drops the subtrees it
//   built; here `newAST` places every node in the parser's arena, which is emptied when the
//   tree is destroyed or the parse fails, so no node (and no token a node holds) is lost.
// - The runtime's `panic` calls exit(); here it throws, and the parse ends with no tree.
// The trial parses of the grammar make time grow exponentially with nesting and every rule
// entry takes stack: `tracein` (which -gd makes every rule call first) counts entries and open
// rules and stops the parse past `CParserLimits`.
#include "tokens.h"

#include "CParserFrame.h"

#include "AToken.h"
#include "ATokenBuffer.h"
#include "CParser.h"
#include "DLGLexer.h"
#include "DLexerBase.h"

#include <algorithm>
#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <stdexcept>
#include <utility>

// ---- token numbers ------------------------------------------------------------------------------

namespace {

// Each exported number beside the generated one of the same name.
constexpr std::pair<int, int> kExportedTokens[] = {
    {ctok::Eof, Eof},
    {ctok::LCURLYBRACE, LCURLYBRACE}, {ctok::RCURLYBRACE, RCURLYBRACE},
    {ctok::LSQUAREBRACKET, LSQUAREBRACKET}, {ctok::RSQUAREBRACKET, RSQUAREBRACKET},
    {ctok::LPARENTHESIS, LPARENTHESIS}, {ctok::RPARENTHESIS, RPARENTHESIS},
    {ctok::COLON, COLON}, {ctok::SEMICOLON, SEMICOLON}, {ctok::COMMA, COMMA},
    {ctok::QUESTIONMARK, QUESTIONMARK}, {ctok::ELLIPSIS, ELLIPSIS},
    {ctok::ASSIGNEQUAL, ASSIGNEQUAL}, {ctok::TIMESEQUAL, TIMESEQUAL},
    {ctok::DIVIDEEQUAL, DIVIDEEQUAL}, {ctok::MODEQUAL, MODEQUAL}, {ctok::PLUSEQUAL, PLUSEQUAL},
    {ctok::MINUSEQUAL, MINUSEQUAL}, {ctok::SHIFTLEFTEQUAL, SHIFTLEFTEQUAL},
    {ctok::SHIFTRIGHTEQUAL, SHIFTRIGHTEQUAL}, {ctok::BITWISEANDEQUAL, BITWISEANDEQUAL},
    {ctok::BITWISEXOREQUAL, BITWISEXOREQUAL}, {ctok::BITWISEOREQUAL, BITWISEOREQUAL},
    {ctok::OR, OR}, {ctok::AND, AND}, {ctok::BITWISEOR, BITWISEOR},
    {ctok::BITWISEXOR, BITWISEXOR}, {ctok::AMPERSAND, AMPERSAND}, {ctok::EQUAL, EQUAL},
    {ctok::NOTEQUAL, NOTEQUAL}, {ctok::LESSTHAN, LESSTHAN}, {ctok::GREATERTHAN, GREATERTHAN},
    {ctok::LESSTHANOREQUALTO, LESSTHANOREQUALTO},
    {ctok::GREATERTHANOREQUALTO, GREATERTHANOREQUALTO}, {ctok::SHIFTLEFT, SHIFTLEFT},
    {ctok::SHIFTRIGHT, SHIFTRIGHT},
    {ctok::PLUS, PLUS}, {ctok::MINUS, MINUS}, {ctok::STAR, STAR}, {ctok::DIVIDE, DIVIDE},
    {ctok::MOD, MOD}, {ctok::PLUSPLUS, PLUSPLUS}, {ctok::MINUSMINUS, MINUSMINUS},
    {ctok::ONESCOMPLEMENT, ONESCOMPLEMENT}, {ctok::NOT, NOT}, {ctok::DOT, DOT},
    {ctok::POINTERTO, POINTERTO},
    {ctok::PCCTS_AUTO, PCCTS_AUTO}, {ctok::BREAK, BREAK}, {ctok::CASE, CASE},
    {ctok::PCCTS_CHAR, PCCTS_CHAR}, {ctok::PCCTS_CONST, PCCTS_CONST},
    {ctok::CONTINUE, CONTINUE}, {ctok::PCCTS_DEFAULT, PCCTS_DEFAULT}, {ctok::DO, DO},
    {ctok::PCCTS_DOUBLE, PCCTS_DOUBLE}, {ctok::ELSE, ELSE}, {ctok::ENUM, ENUM},
    {ctok::EXTERN, EXTERN}, {ctok::PCCTS_FLOAT, PCCTS_FLOAT}, {ctok::FOR, FOR},
    {ctok::GOTO, GOTO}, {ctok::IF, IF}, {ctok::PCCTS_INT, PCCTS_INT},
    {ctok::PCCTS_LONG, PCCTS_LONG}, {ctok::PCCTS_REGISTER, PCCTS_REGISTER},
    {ctok::RETURN, RETURN}, {ctok::PCCTS_SHORT, PCCTS_SHORT}, {ctok::SIGNED, SIGNED},
    {ctok::SIZEOF, SIZEOF}, {ctok::PCCTS_STATIC, PCCTS_STATIC}, {ctok::STRUCT, STRUCT},
    {ctok::SWITCH, SWITCH}, {ctok::PCCTS_TYPEDEF, PCCTS_TYPEDEF}, {ctok::UNION, UNION},
    {ctok::UNSIGNED, UNSIGNED}, {ctok::PCCTS_VOID, PCCTS_VOID}, {ctok::VOLATILE, VOLATILE},
    {ctok::WHILE, WHILE}, {ctok::WAITFORDONE, WAITFORDONE},
    {ctok::OCTALINT, OCTALINT}, {ctok::DECIMALINT, DECIMALINT},
    {ctok::HEXADECIMALINT, HEXADECIMALINT}, {ctok::FLOATONE, FLOATONE},
    {ctok::FLOATTWO, FLOATTWO}, {ctok::IDENTIFIER, IDENTIFIER}, {ctok::STRING, STRING},
    {ctok::CHARACTER, CHARACTER},
};

constexpr bool exported_tokens_match() {
    for (const auto &[exported, generated] : kExportedTokens) {
        if (exported != generated)
            return false;
    }
    return true;
}
static_assert(exported_tokens_match(), "a #token line of CGrammar.g moved: renumber ctok");
static_assert(CParser::SET_SIZE == ctok::kTokenNameCount, "token-name table size changed");

// ---- live counts and the stop -------------------------------------------------------------------

int g_live_nodes = 0;
int g_live_tokens = 0;
int g_error_total = 0;
CParserSet *g_current_set = nullptr;

// Ends a parse that went past a limit, or a runtime panic.
class ParseStopped : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The token template and every token the lexer makes from it.
class CToken final : public ANTLRCommonToken {
public:
    CToken() { ++g_live_tokens; }
    CToken(ANTLRTokenType type, const ANTLRChar *text) : ANTLRCommonToken(type, text) {
        ++g_live_tokens;
    }
    ~CToken() override { --g_live_tokens; }
    CToken(const CToken &) = delete;
    CToken &operator=(const CToken &) = delete;

    ANTLRAbstractToken *makeToken(ANTLRTokenType type, ANTLRChar *text, int line) override {
        auto *token = new CToken(type, text);
        token->setLine(line);
        return token;
    }
    void panic(const char *message) override { throw ParseStopped(message); }
};

// What the runtime prints goes to the log when there is one, else to the stream it names.
int print_runtime_message(CParserMessageLog *log, FILE *stream, const char *format,
                          va_list args) {
    if (log == nullptr)
        return vfprintf(stream, format, args);
    char text[4096];
    const int length = vsnprintf(text, sizeof text, format, args);
    if (length <= 0)
        return length;
    const std::string_view fragment(text, std::min(static_cast<size_t>(length), sizeof text - 1));
    const size_t room =
        CParserMessageLog::kCapacity - std::min(CParserMessageLog::kCapacity, log->text.size());
    log->text.append(fragment.substr(0, room));
    // The runtime prints a message in fragments; the fragment that ends the line ends the message.
    if (fragment.back() == '\n')
        log->count++;
    return length;
}

constexpr size_t kMaxSemanticErrors = 64;
constexpr int kMaxDirectiveLine = 1000000000;

}  // namespace

// The runtime's token buffer has no way back to empty; a parse set reused for another text needs
// one.
class CTokenBuffer : public ANTLRTokenBuffer {
public:
    CTokenBuffer(ANTLRTokenStream *input, int k, int chunk_size)
        : ANTLRTokenBuffer(input, k, chunk_size) {}

    // Releases every buffered token and forgets all marks.
    void reset() {
        for (_ANTLRTokenPtr *z = buffer; z <= last; ++z) {
            (*z)->deref();
            if ((*z)->nref() == 0)
                delete *z;
        }
        tp = &buffer[0];
        last = tp - 1;
        next = &buffer[0];
        num_markers = 0;
    }
};

const char *cparserTokenName(int token) {
    if (token < 0 || token >= ctok::kTokenNameCount)
        return "";
    return CParser::tokenName(token);
}

int generatedParserErrorTotal() { return g_error_total; }
int liveTreeNodeCount() { return g_live_nodes; }
int liveTokenCount() { return g_live_tokens; }

// ---- AST ----------------------------------------------------------------------------------------

AST::AST(ANTLRTokenPtr token, unsigned char mark_byte) : mark(mark_byte), m_token(token) {
    _left = nullptr;
    _up = nullptr;
    ++g_live_nodes;
}

AST::~AST() { --g_live_nodes; }

int AST::token_type() const { return m_token->getType(); }
const char *AST::text() const { return m_token->getText(); }
int AST::line() const { return m_token->getLine(); }

void AST::panic(const char *message) { throw ParseStopped(message); }

// ---- CParser members declared in the grammar ----------------------------------------------------

int CParser::isTypeName(const char *text) {
    if (!m_frame.type_name_query)
        return 1;
    return m_frame.type_name_query(text != nullptr ? text : "") ? 1 : 0;
}

void CParser::semanticError(const char *message, int /*line*/) {
    syntaxErrCount++;
    if (m_frame.semantic_errors.size() < kMaxSemanticErrors)
        m_frame.semantic_errors.emplace_back(message);
}

// Type-specifier bits: void 0x1, char 0x2, short 0x4, int 0x8, long 0x10, float 0x20,
// double 0x40, signed 0x80, unsigned 0x100, typedef name 0x200, struct 0x400, enum 0x800,
// union 0x1000.
int CParser::combineTypeSpecifiers(int accumulated, int added, int line) {
    if (accumulated == 0)
        return added;
    constexpr int kAlone = 0x1E21;         // void float typedef-name struct enum union
    constexpr int kShortLong = 0x14;
    constexpr int kDouble = 0x40;
    constexpr int kLong = 0x10;
    constexpr int kSignedUnsigned = 0x180;
    constexpr int kChar = 0x2;
    constexpr int kIntegerSizes = 0x1C;    // short int long
    const bool refused =
        (accumulated & added) != 0 ||
        (accumulated & kAlone) != 0 || (added & kAlone) != 0 ||
        ((accumulated & kShortLong) != 0 && (added & kShortLong) != 0) ||
        ((accumulated & kDouble) != 0 && added != kLong) ||
        ((added & kDouble) != 0 && accumulated != kLong) ||
        ((accumulated & kSignedUnsigned) != 0 && (added & kSignedUnsigned) != 0) ||
        ((accumulated & kChar) != 0 && (added & kIntegerSizes) != 0) ||
        ((added & kChar) != 0 && (accumulated & kIntegerSizes) != 0);
    if (!refused)
        return accumulated | added;
    semanticError("multiple incompatible type specifiers", line);
    return accumulated;
}

AST *CParser::newAST(ANTLRTokenPtr token) { return &m_frame.arena.emplace_back(token, 0); }

void CParser::tracein(const ANTLRChar *rule) {
    if (++m_frame.rule_entries > m_frame.limits.rule_budget)
        throw ParseStopped("rule budget exhausted");
    if (traceDepth >= m_frame.limits.depth_limit)
        throw ParseStopped("rules nested too deeply");
    ANTLRParser::tracein(rule);
}

void CParser::panic(const char *message) { throw ParseStopped(message); }

int CParser::printMessageV(FILE *stream, const char *format, va_list args) {
    return print_runtime_message(m_frame.message_log, stream, format, args);
}

void CParser::restartFrame() {
    m_frame.arena.clear();
    m_frame.tree = nullptr;
    m_frame.rule_entries = 0;
    m_frame.semantic_errors.clear();
    guessing = 0;
    syntaxErrCount = 0;
    traceOptionValueDefault = 0;  // -gd switches the runtime's trace printing on
    init();
}

// ---- DLGLexer members declared in the grammar ---------------------------------------------------

void DLGLexer::replaceEscape(int code) {
    if (_begexpr >= &_lextext[_bufsize - 1]) {
        // No room for the character: the text stays cut at the end of the buffer.
        nextpos = _begexpr;
        *nextpos = '\0';
        _endexpr = nextpos;
        bufovf = 1;
        return;
    }
    replchar(static_cast<DLGChar>(code));
}

int DLGLexer::escapeValue(int base) {
    const DLGChar *p = _begexpr;
    if (*p == '\\')
        ++p;
    if (base == 16 && *p == '0' && (p[1] == 'x' || p[1] == 'X'))
        p += 2;
    unsigned value = 0;
    for (; *p != '\0'; ++p) {
        int digit;
        if (*p >= '0' && *p <= '9')
            digit = *p - '0';
        else if (*p >= 'a' && *p <= 'f')
            digit = *p - 'a' + 10;
        else if (*p >= 'A' && *p <= 'F')
            digit = *p - 'A' + 10;
        else
            break;
        if (digit >= base)
            break;
        value = (value * static_cast<unsigned>(base) + static_cast<unsigned>(digit)) & 0xFFu;
    }
    return static_cast<int>(value);
}

int DLGLexer::printMessage(FILE *stream, const char *format, ...) {
    va_list args;
    va_start(args, format);
    const int length = parser != nullptr ? parser->printMessageV(stream, format, args)
                                         : print_runtime_message(message_log, stream, format, args);
    va_end(args);
    return length;
}

void DLGLexer::setLineFromDirective() {
    const DLGChar *p = _lextext;
    if (*p == '#')
        ++p;
    while (*p == ' ' || *p == '\t')
        ++p;
    long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > kMaxDirectiveLine)
            value = kMaxDirectiveLine;
    }
    set_line(static_cast<int>(value));
}

// ---- the parser set -----------------------------------------------------------------------------

CParserSet::CParserSet() {
    m_input = std::make_unique<DLGStringInput>("");
    m_lexer = std::make_unique<DLGLexer>(m_input.get(), 2000);
    m_template = std::make_unique<CToken>();
    m_lexer->setToken(m_template.get());
    m_tokens = std::make_unique<CTokenBuffer>(m_lexer.get(), 1, 50);
    m_parser = std::make_unique<CParser>(m_tokens.get());
    m_parser->restartFrame();
}

CParserSet::~CParserSet() {
    assert(g_current_set != this && "a parser set freed while it is still the current one");
    m_input.reset();
    m_lexer.reset();
    m_tokens.reset();
    m_parser.reset();
    m_template.reset();
}

void CParserSet::set_type_name_query(std::function<bool(std::string_view)> query) {
    m_parser->frameState().type_name_query = std::move(query);
}

void CParserSet::set_limits(const CParserLimits &limits) {
    m_parser->frameState().limits = limits;
}

void CParserSet::attach_message_log(CParserMessageLog *log) {
    m_parser->frameState().message_log = log;
}

bool CParserSet::spent() const { return m_parser->frameState().spent; }

long CParserSet::rule_entries() const { return m_parser->frameState().rule_entries; }

const std::vector<std::string> &CParserSet::semantic_errors() const {
    return m_parser->frameState().semantic_errors;
}

CParserSet *currentParserSet() { return g_current_set; }

CParserSet *setCurrentParserSet(CParserSet *set) { return std::exchange(g_current_set, set); }

// ---- parse entry --------------------------------------------------------------------------------

void restartOnText(CParserSet &set, const char *text) {
    if (set.spent())
        return;
    set.parser().frameState().arena.clear();
    set.parser().frameState().tree = nullptr;
    set.input().DLGStringReset(text != nullptr ? text : "");
    set.lexer().reset();
    set.lexer().setInputStream(&set.input());
    set.lexer().lextext()[0] = '\0';
    set.tokens().reset();
    set.parser().restartFrame();
}

namespace {

// Fills every node's left and up links (none for the root and its siblings). Iterative: a
// long sibling list or a deep tree must not cost stack.
void double_link_tree(AST *root) {
    std::vector<std::pair<AST *, AST *>> lists;  // first node of a sibling list, its parent
    lists.emplace_back(root, nullptr);
    while (!lists.empty()) {
        auto [first, up] = lists.back();
        lists.pop_back();
        AST *left = nullptr;
        for (AST *node = first; node != nullptr; node = node->right_sibling()) {
            node->setLeft(left);
            node->setUp(up);
            if (node->first_child() != nullptr)
                lists.emplace_back(node->first_child(), node);
            left = node;
        }
    }
}

// After a stop or an exception the runtime's state (guess marks, open rules) is not sound: the
// set keeps nothing and parses nothing more.
void spend(CParserSet &set) {
    CParserState &state = set.parser().frameState();
    state.spent = true;
    state.arena.clear();
    state.tree = nullptr;
    set.tokens().reset();
}

}  // namespace

AST *parseExpressionTree(const char *text) {
    CParserSet *set = currentParserSet();
    assert(set != nullptr && "parseExpressionTree needs a registered parser set");
    g_error_total = 0;
    if (set == nullptr)
        return nullptr;
    CParser &parser = set->parser();
    CParserState &state = parser.frameState();
    if (state.spent) {
        g_error_total = 1;
        return nullptr;
    }
    parser.syntaxErrCount = 0;

    ASTBase *root = nullptr;
    int signal = 0;
    try {
        restartOnText(*set, text);
        parser.expression(&root, &signal);
    } catch (const ParseStopped &) {
        spend(*set);
        g_error_total = 1;
        return nullptr;
    } catch (...) {
        spend(*set);
        g_error_total = 1;
        throw;
    }
    g_error_total = parser.syntaxErrCount;

    auto *tree = static_cast<AST *>(root);
    if (tree != nullptr) {
        double_link_tree(tree);
        tree->mark = 1;
    }
    if (g_error_total < 1 && signal == 0 && tree != nullptr) {
        state.tree = tree;
        return tree;
    }
    state.arena.clear();
    return nullptr;
}

void destroyExpressionTree(AST *tree) {
    if (tree == nullptr)
        return;
    CParserSet *set = currentParserSet();
    assert(set != nullptr && set->parser().frameState().tree == tree &&
           "destroyExpressionTree takes the tree of the current set's last parse");
    if (set == nullptr || set->parser().frameState().tree != tree)
        return;
    set->parser().frameState().arena.clear();
    set->parser().frameState().tree = nullptr;
}

// ---- tree text and lexer alone ------------------------------------------------------------------

namespace {

bool shows_text(int type) {
    switch (type) {
    case IDENTIFIER: case OCTALINT: case DECIMALINT: case HEXADECIMALINT: case FLOATONE:
    case FLOATTWO: case STRING: case CHARACTER:
        return true;
    default:
        return false;
    }
}

void append_tree_text(std::string &out, const AST *list) {
    for (const AST *node = list; node != nullptr; node = node->right_sibling()) {
        if (node != list)
            out += ' ';
        const char *label = shows_text(node->token_type()) ? node->text()
                                                           : cparserTokenName(node->token_type());
        if (node->first_child() == nullptr) {
            out += label;
            continue;
        }
        out += "#(";
        out += label;
        out += ' ';
        append_tree_text(out, node->first_child());
        out += ')';
    }
}

}  // namespace

std::string cparserTreeText(const AST *tree) {
    std::string out;
    append_tree_text(out, tree);
    return out;
}

std::vector<CLexedToken> cparserLexText(const char *text, CParserMessageLog *log) {
    const std::string_view source(text != nullptr ? text : "");
    DLGStringInput input(source.data());
    DLGLexer lexer(&input, 2000);
    CToken token_template;
    lexer.setToken(&token_template);
    lexer.message_log = log;
    std::vector<CLexedToken> tokens;
    // Every token but the last consumes at least one character, so this bounds a runaway.
    for (size_t i = 0; i <= source.size() + 1; ++i) {
        std::unique_ptr<ANTLRAbstractToken> token(lexer.getToken());
        tokens.push_back({token->getType(), token->getText(), token->getLine()});
        if (token->getType() == Eof)
            break;
    }
    return tokens;
}
