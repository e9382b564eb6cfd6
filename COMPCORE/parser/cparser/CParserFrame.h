// CParserFrame: the frame around the generated C parser (CGrammar.g): the syntax tree node `AST`,
// the parser set that runs one parse, the parse entry `parseExpressionTree`, and the limits that
// keep one parse short. The one-pass expression compiler builds a parser set, registers it as
// current, asks for the tree of the expression at its input cursor and reads it as a hint: a
// failed parse only means there is no hint. Nothing here moves the compiler's cursor, emits
// code or records a compiler diagnostic.
//
// The generated parser and lexer (CParser, DLGLexer) and the PCCTS runtime stay behind this
// header: the token numbers are exported as `ctok` constants instead of the generated tokens.h,
// whose names (OR, IF, STRING ...) would otherwise land in the global namespace.
//
// Ownership: every node of a parse lives in its parser's arena. A tree stays valid until it is
// destroyed (`destroyExpressionTree`), the next parse on the same set, or the end of the set;
// a failed parse frees its partial trees at once. Never free a node with `ASTBase::destroy`.
#pragma once

#include "ASTBase.h"
#include "ATokPtr.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Token numbers of the generated lexer, as the parser sees them. The numbers follow from the
// order of the #token lines in CGrammar.g; the frame checks each one against the generated table.
namespace ctok {
enum : int {
    Eof = 1,
    LCURLYBRACE = 2, RCURLYBRACE = 3, LSQUAREBRACKET = 4, RSQUAREBRACKET = 5,
    LPARENTHESIS = 6, RPARENTHESIS = 7, COLON = 8, SEMICOLON = 9, COMMA = 10,
    QUESTIONMARK = 11, ELLIPSIS = 12,
    ASSIGNEQUAL = 13, TIMESEQUAL = 14, DIVIDEEQUAL = 15, MODEQUAL = 16, PLUSEQUAL = 17,
    MINUSEQUAL = 18, SHIFTLEFTEQUAL = 19, SHIFTRIGHTEQUAL = 20, BITWISEANDEQUAL = 21,
    BITWISEXOREQUAL = 22, BITWISEOREQUAL = 23,
    OR = 24, AND = 25, BITWISEOR = 26, BITWISEXOR = 27, AMPERSAND = 28, EQUAL = 29,
    NOTEQUAL = 30, LESSTHAN = 31, GREATERTHAN = 32, LESSTHANOREQUALTO = 33,
    GREATERTHANOREQUALTO = 34, SHIFTLEFT = 35, SHIFTRIGHT = 36,
    PLUS = 37, MINUS = 38, STAR = 39, DIVIDE = 40, MOD = 41, PLUSPLUS = 42, MINUSMINUS = 43,
    ONESCOMPLEMENT = 44, NOT = 45, DOT = 46, POINTERTO = 47,
    PCCTS_AUTO = 48, BREAK = 49, CASE = 50, PCCTS_CHAR = 51, PCCTS_CONST = 52, CONTINUE = 53,
    PCCTS_DEFAULT = 54, DO = 55, PCCTS_DOUBLE = 56, ELSE = 57, ENUM = 58, EXTERN = 59,
    PCCTS_FLOAT = 60, FOR = 61, GOTO = 62, IF = 63, PCCTS_INT = 64, PCCTS_LONG = 65,
    PCCTS_REGISTER = 66, RETURN = 67, PCCTS_SHORT = 68, SIGNED = 69, SIZEOF = 70,
    PCCTS_STATIC = 71, STRUCT = 72, SWITCH = 73, PCCTS_TYPEDEF = 74, UNION = 75, UNSIGNED = 76,
    PCCTS_VOID = 77, VOLATILE = 78, WHILE = 79, WAITFORDONE = 80,
    OCTALINT = 81, DECIMALINT = 82, HEXADECIMALINT = 83,
    FLOATONE = 86, FLOATTWO = 87,
    IDENTIFIER = 88,
    STRING = 99,
    CHARACTER = 116,
};
// Entries of the token-name table: one per token number, 0 ("Invalid") to 132.
constexpr int kTokenNameCount = 133;
}  // namespace ctok

// The name of a token number ("EQUAL"; an unnamed definition by its regular expression, such
// as "[\n\r]"); "" outside the table.
const char *cparserTokenName(int token);

// A syntax tree node, made from exactly one token. The runtime base brings the right (next
// sibling), down (first child), left and up links; left and up are filled only by the parse
// entry's final pass.
class AST : public ASTDoublyLinkedBase {
public:
    AST(ANTLRTokenPtr token, unsigned char mark);
    ~AST() override;
    AST(const AST &) = delete;
    AST &operator=(const AST &) = delete;

    int type() override { return token_type(); }
    int token_type() const;  // the token number
    const char *text() const;
    int line() const;

    AST *right_sibling() const { return static_cast<AST *>(_right); }
    AST *first_child() const { return static_cast<AST *>(_down); }
    AST *left_sibling() const { return static_cast<AST *>(_left); }
    AST *parent() const { return static_cast<AST *>(_up); }

    // The runtime's tree panics end the program; here they end the parse instead.
    void panic(const char *message) override;

    // 0 from every grammar action; the parse entry sets the root's mark to 1 and the consumer
    // of the tree copies it down.
    unsigned char mark;

private:
    ANTLRTokenPtr m_token;  // holds one reference on the token
};

// Limits of one parse. The grammar's trial parses run every nesting level twice, so time grows
// exponentially with nesting; a parse past either limit fails with no tree and leaves its
// parser set spent.
struct CParserLimits {
    long rule_budget = 200000;  // rule entries per parse, trials included
    int depth_limit = 1500;     // rules open at once
};

// What the runtime prints (the lexer's "invalid token" reports to stderr, a failed validating
// predicate to stdout) goes to the standard streams unless a log is attached; a log keeps the
// first `kCapacity` characters and counts every message.
struct CParserMessageLog {
    static constexpr size_t kCapacity = 16384;
    std::string text;
    int count = 0;
};

// Per-parser state of the frame, held by the generated CParser (its members are declared in
// CGrammar.g and defined in CParserFrame.cpp).
struct CParserState {
    std::deque<AST> arena;                    // every node of the current parse
    AST *tree = nullptr;                      // the tree handed out by the last parse
    long rule_entries = 0;
    CParserLimits limits;
    bool spent = false;                       // stopped by a limit or an exception: not reused
    std::vector<std::string> semantic_errors; // counted, never shown
    std::function<bool(std::string_view)> type_name_query;
    CParserMessageLog *message_log = nullptr;
};

class DLGStringInput;
class DLGLexer;
class CTokenBuffer;
class ANTLRCommonToken;
class CParser;

// The five objects of one parse, built in the order input, lexer, token template, token buffer,
// parser (each wired to the one before) and freed in the order input, lexer, token buffer,
// parser, token template. String input over an empty text, a lexer text buffer of 2000
// characters, a token buffer filled in chunks of 50.
class CParserSet {
public:
    CParserSet();
    ~CParserSet();
    CParserSet(const CParserSet &) = delete;
    CParserSet &operator=(const CParserSet &) = delete;

    DLGStringInput &input() { return *m_input; }
    DLGLexer &lexer() { return *m_lexer; }
    CTokenBuffer &tokens() { return *m_tokens; }
    ANTLRCommonToken &token_template() { return *m_template; }
    CParser &parser() { return *m_parser; }

    // Where `isTypeName` gets its answer; without a query every text names a type.
    void set_type_name_query(std::function<bool(std::string_view)> query);
    void set_limits(const CParserLimits &limits);
    void attach_message_log(CParserMessageLog *log);

    // True once a limit or an exception stopped a parse on this set: it parses nothing more.
    bool spent() const;
    // Rules entered by the last parse, trials included.
    long rule_entries() const;
    // The semantic errors counted by the last parse ("multiple storage classes", ...).
    const std::vector<std::string> &semantic_errors() const;

private:
    // Declared in reverse order of freeing: members are destroyed last to first.
    std::unique_ptr<ANTLRCommonToken> m_template;
    std::unique_ptr<CParser> m_parser;
    std::unique_ptr<CTokenBuffer> m_tokens;
    std::unique_ptr<DLGLexer> m_lexer;
    std::unique_ptr<DLGStringInput> m_input;
};

// The current parser set: one program-wide pointer. Registering returns the previous value.
CParserSet *currentParserSet();
CParserSet *setCurrentParserSet(CParserSet *set);

// Registers a set as current for a scope and puts the previous one back at its end, also when
// an exception passes through.
class CurrentParserSetScope {
public:
    explicit CurrentParserSetScope(CParserSet &set) : m_previous(setCurrentParserSet(&set)) {}
    ~CurrentParserSetScope() { setCurrentParserSet(m_previous); }
    CurrentParserSetScope(const CurrentParserSetScope &) = delete;
    CurrentParserSetScope &operator=(const CurrentParserSetScope &) = delete;

private:
    CParserSet *m_previous;
};

// Points the set at a text (a copy of the caller's cursor: the text must outlive the parse):
// string input at its start, lexer at line 1 in mode START with an empty buffer, token buffer
// emptied, parser re-initialised, the previous tree freed. A spent set is left as it is.
void restartOnText(CParserSet &set, const char *text);

// Runs the start rule `expression` of the current set over the text and returns the root of the
// tree, double-linked and with mark 1, or nullptr when the parse left a signal or counted an
// error. An exception from a hook passes through after the parse's nodes are freed.
AST *parseExpressionTree(const char *text);

// Frees the tree handed out by the current set's last parse.
void destroyExpressionTree(AST *tree);

// The program-wide error total of the last parse (its syntax and semantic errors).
int generatedParserErrorTotal();

// A tree (and its right siblings) in the notation #(ROOT child child) ...: a node with children
// as "#(" its token name, its children ")"; a leaf as its text when it is a name, a constant, a
// string or a character, else as its token name. "*x == 1;*" gives "#(EQUAL x 1) SEMICOLON".
std::string cparserTreeText(const AST *tree);

// One token of the generated lexer.
struct CLexedToken {
    int type = 0;
    std::string text;
    int line = 0;
};

// Runs the generated lexer alone over a text up to its end-of-input token (included). The
// lexer's error reports go to the log when one is given.
std::vector<CLexedToken> cparserLexText(const char *text, CParserMessageLog *log = nullptr);

// Live objects of the generated parser, for leak checks: nodes and tokens (the token templates
// included) that exist right now.
int liveTreeNodeCount();
int liveTokenCount();
