/*
 * CGrammar.g: the generated LL(2) parser of C expressions and type names that gives the one-pass
 * expression compiler its syntax-tree hint, with its table-driven lexer.
 *
 * antlr -CC -gt -k 2 -newAST -gd turns this file into CGrammar.cpp (the rules), CParser.{h,cpp}
 * (the class and its tables), tokens.h and parser.dlg; dlg -CC -C2 turns parser.dlg into
 * DLGLexer.{h,cpp}. (The grammar is not named after the class: antlr would write both .cpp
 * files under one name.) The frame around the generated code (the
 * syntax tree node, the parse entry, the hooks, the node arena and the rule budget) is in
 * CParserFrame.cpp. Nothing here prints or throws on a syntax error: every rule hands a signal
 * to its caller, and only the start rule `expression` acts on it.
 *
 * Token numbers are given by the order of the #token lines below; the frame checks them against
 * the numbers it exports, so keep every #token in its place.
 *
 * Tree marks: X^ makes X the root of what the rule built so far, X! matches X without a node,
 * anything else is linked as the next sibling.
 */

#header <<
#include "CParserFrame.h"
>>

/* ------------------------------------------------------------------------------------------ */
/* Lexer: mode START                                                                           */
/* ------------------------------------------------------------------------------------------ */

#token Eof "@"

/* 2-12: brackets and separators */
#token LCURLYBRACE "\{"
#token RCURLYBRACE "\}"
#token LSQUAREBRACKET "\["
#token RSQUAREBRACKET "\]"
#token LPARENTHESIS "\("
#token RPARENTHESIS "\)"
#token COLON ":"
#token SEMICOLON ";"
#token COMMA ","
#token QUESTIONMARK "\?"
#token ELLIPSIS "\.\.\."

/* 13-23: assignment operators */
#token ASSIGNEQUAL "="
#token TIMESEQUAL "\*="
#token DIVIDEEQUAL "/="
#token MODEQUAL "%="
#token PLUSEQUAL "\+="
#token MINUSEQUAL "\-="
#token SHIFTLEFTEQUAL "\<\<="
#token SHIFTRIGHTEQUAL "\>\>="
#token BITWISEANDEQUAL "&="
#token BITWISEXOREQUAL "\^="
#token BITWISEOREQUAL "\|="

/* 24-36: binary operators */
#token OR "\|\|"
#token AND "&&"
#token BITWISEOR "\|"
#token BITWISEXOR "\^"
#token AMPERSAND "&"
#token EQUAL "=="
#token NOTEQUAL "!="
#token LESSTHAN "\<"
#token GREATERTHAN "\>"
#token LESSTHANOREQUALTO "\<="
#token GREATERTHANOREQUALTO "\>="
#token SHIFTLEFT "\<\<"
#token SHIFTRIGHT "\>\>"

/* 37-47: arithmetic, unary and member operators */
#token PLUS "\+"
#token MINUS "\-"
#token STAR "\*"
#token DIVIDE "/"
#token MOD "%"
#token PLUSPLUS "\+\+"
#token MINUSMINUS "\-\-"
#token ONESCOMPLEMENT "\~"
#token NOT "!"
#token DOT "\."
#token POINTERTO "\-\>"

/* 48-80: keywords; a keyword is listed before IDENTIFIER, so it wins on the same text */
#token PCCTS_AUTO "auto"
#token BREAK "break"
#token CASE "case"
#token PCCTS_CHAR "char"
#token PCCTS_CONST "const"
#token CONTINUE "continue"
#token PCCTS_DEFAULT "default"
#token DO "do"
#token PCCTS_DOUBLE "double"
#token ELSE "else"
#token ENUM "enum"
#token EXTERN "extern"
#token PCCTS_FLOAT "float"
#token FOR "for"
#token GOTO "goto"
#token IF "if"
#token PCCTS_INT "int"
#token PCCTS_LONG "long"
#token PCCTS_REGISTER "register"
#token RETURN "return"
#token PCCTS_SHORT "short"
#token SIGNED "signed"
#token SIZEOF "sizeof"
#token PCCTS_STATIC "static"
#token STRUCT "struct"
#token SWITCH "switch"
#token PCCTS_TYPEDEF "typedef"
#token UNION "union"
#token UNSIGNED "unsigned"
#token PCCTS_VOID "void"
#token VOLATILE "volatile"
#token WHILE "while"
#token WAITFORDONE "waitfordone"

/* 81-83: integer constants, at most one suffix letter */
#token OCTALINT "0[0-7]*{[uUlL]}"
#token DECIMALINT "[1-9][0-9]*{[uUlL]}"
#token HEXADECIMALINT "0[xX][0-9a-fA-F]+{[uUlL]}"

/* 84, 85: the opening quote of a character constant or a string literal stays in the text */
#token "'" << mode(CHAR_CHARS); more(); >>
#token "\"" << mode(STRING_CHARS); more(); >>

/* 86, 87: floating constants */
#token FLOATONE "([0-9]+\.[0-9]* | \.[0-9]+) {[eE]{[\-\+]}[0-9]+} {[fFlL]}"
#token FLOATTWO "[0-9]+ [eE]{[\-\+]}[0-9]+ {[fFlL]}"

/* 88 */
#token IDENTIFIER "[a-zA-Z_][a-zA-Z0-9_]*"

/* 89-94: comments, blanks, line breaks and line directives never reach the parser */
#token "/\*" << mode(C_COMMENT); skip(); >>
#token "[\t\ ]+" << skip(); >>
#token "[\0xb\0xc]+" << skip(); >>
#token "[\n\r]" << newline(); skip(); >>
#token "#pragma ~[\n]*" << newline(); skip(); >>
#token "#[\ \t]* [0-9]+ ~[\n]*\n" << setLineFromDirective(); skip(); >>

/* ------------------------------------------------------------------------------------------ */
/* Lexer: inside a comment                                                                     */
/* ------------------------------------------------------------------------------------------ */

#lexclass C_COMMENT
#token "[\n\r]" << skip(); newline(); >>
#token "\*/" << mode(START); skip(); >>
#token "\*" << skip(); >>
#token "~[\*\n\r]+" << skip(); >>

/* ------------------------------------------------------------------------------------------ */
/* Lexer: inside a string literal; escapes are replaced by their character in the text        */
/* ------------------------------------------------------------------------------------------ */

#lexclass STRING_CHARS
#token STRING "\"" << mode(START); >>
#token "\\n" << replaceEscape(10); more(); >>
#token "\\t" << replaceEscape(9); more(); >>
#token "\\v" << replaceEscape(11); more(); >>
#token "\\b" << replaceEscape(8); more(); >>
#token "\\r" << replaceEscape(13); more(); >>
#token "\\f" << replaceEscape(12); more(); >>
#token "\\a" << replaceEscape(7); more(); >>
#token "\\\\" << replaceEscape(92); more(); >>
#token "\\\?" << replaceEscape(63); more(); >>
#token "\\'" << replaceEscape(39); more(); >>
#token "\\\"" << replaceEscape(34); more(); >>
#token "\\0[0-7]*" << replaceEscape(escapeValue(8)); more(); >>
#token "\\[1-9][0-9]*" << replaceEscape(escapeValue(10)); more(); >>
#token "\\(0x|0X)[0-9a-fA-F]+" << replaceEscape(escapeValue(16)); more(); >>
#token "[\n\r]" << newline(); more(); >>
#token "~[\"\n\r\\]+" << more(); >>

/* ------------------------------------------------------------------------------------------ */
/* Lexer: after the opening quote of a character constant, and after its one character        */
/* ------------------------------------------------------------------------------------------ */

#lexclass CHAR_CHARS
#token CHARACTER "'" << mode(START); >>
#token "\\n" << replaceEscape(10); mode(CHAR_CLOSE); more(); >>
#token "\\t" << replaceEscape(9); mode(CHAR_CLOSE); more(); >>
#token "\\v" << replaceEscape(11); mode(CHAR_CLOSE); more(); >>
#token "\\b" << replaceEscape(8); mode(CHAR_CLOSE); more(); >>
#token "\\r" << replaceEscape(13); mode(CHAR_CLOSE); more(); >>
#token "\\f" << replaceEscape(12); mode(CHAR_CLOSE); more(); >>
#token "\\a" << replaceEscape(7); mode(CHAR_CLOSE); more(); >>
#token "\\\\" << replaceEscape(92); mode(CHAR_CLOSE); more(); >>
#token "\\\?" << replaceEscape(63); mode(CHAR_CLOSE); more(); >>
#token "\\'" << replaceEscape(39); mode(CHAR_CLOSE); more(); >>
#token "\\\"" << replaceEscape(34); mode(CHAR_CLOSE); more(); >>
#token "\\0[0-7]*" << replaceEscape(escapeValue(8)); mode(CHAR_CLOSE); more(); >>
#token "\\[1-9][0-9]*" << replaceEscape(escapeValue(10)); mode(CHAR_CLOSE); more(); >>
#token "\\(0x|0X)[0-9a-fA-F]+" << replaceEscape(escapeValue(16)); mode(CHAR_CLOSE); more(); >>
#token "[\n\r]" << newline(); more(); >>
#token "~['\n\r\\]" << mode(CHAR_CLOSE); more(); >>

#lexclass CHAR_CLOSE
#token CHARACTER "'" << mode(START); >>

#lexclass START

/* Members of the generated lexer: the escape and line-directive actions above. */
#lexmember <<
    // Puts the character of the escape just matched in the escape's place. The runtime's own
    // replacement steps one past the end of a full text buffer; this one keeps the cut text.
    void replaceEscape(int code);
    // The value of the numeric escape just matched, in the given base, modulo 256.
    int escapeValue(int base);
    // "# 12 ..." sets the line counter to 12 for the next line; a number too large for the
    // counter saturates.
    void setLineFromDirective();
    // Error reports go to the parser (which logs or prints them), else to this log, else to
    // the stream.
    CParserMessageLog *message_log = nullptr;
    int printMessage(FILE *stream, const char *format, ...) override;
>>

class CParser {
<<
public:
    // Hooks called by predicates and actions, in the order of their virtual slots.
    virtual int isTypeName(const char *text);
    virtual void semanticError(const char *message, int line);

    // The type-specifier bits after adding one specifier; a refused combination counts one
    // semantic error and keeps the accumulated bits.
    int combineTypeSpecifiers(int accumulated, int added, int line);

    // Every node of a parse is made here and lives in the parser's arena (see CParserFrame).
    AST *newAST(ANTLRTokenPtr token);

    CParserState &frameState() { return m_frame; }
    // Empties the arena, the counters and the guess state, and primes the lookahead from the
    // lexer's current text.
    void restartFrame();

protected:
    void tracein(const ANTLRChar *rule) override;
    void panic(const char *message) override;
    int printMessageV(FILE *stream, const char *format, va_list args) override;

private:
    CParserState m_frame;
>>

/* ========================================================================================== */
/* Start rule, assignment and conditional levels                                              */
/* ========================================================================================== */

/* expression = assignment_expression { ","^ assignment_expression } expression_end
 * The only rule that acts on a signal: it skips to the next ")" (or the end), counts one
 * syntax error and hands back what it built. */
expression
    :   assignment_expression ( COMMA^ assignment_expression )* expression_end
    ;
    exception
        default :
            << consumeUntilToken(RPARENTHESIS); syntaxErrCount++; suppressSignal; >>

expression_end
    :   RPARENTHESIS
    |   SEMICOLON
    ;

/* assignment_expression = unary_expression assignment-operator^ assignment_expression
 *                       | conditional_expression
 * The first form is tried in guess mode first; it is right-associative. */
assignment_expression
    :   ( unary_expression
          ( ASSIGNEQUAL | TIMESEQUAL | DIVIDEEQUAL | MODEQUAL | PLUSEQUAL | MINUSEQUAL
          | SHIFTLEFTEQUAL | SHIFTRIGHTEQUAL | BITWISEANDEQUAL | BITWISEXOREQUAL
          | BITWISEOREQUAL ) )?
        unary_expression
        ( ASSIGNEQUAL^ | TIMESEQUAL^ | DIVIDEEQUAL^ | MODEQUAL^ | PLUSEQUAL^ | MINUSEQUAL^
        | SHIFTLEFTEQUAL^ | SHIFTRIGHTEQUAL^ | BITWISEANDEQUAL^ | BITWISEXOREQUAL^
        | BITWISEOREQUAL^ )
        assignment_expression
    |   conditional_expression
    ;

/* conditional_expression = logical_or_expression
 *                          [ "?"^ conditional_middle ":"! conditional_expression ]
 * The middle operand is a comma expression without a terminator, so that "c ? a : b;" gives
 * #(QUESTIONMARK c a b). */
conditional_expression
    :   logical_or_expression
        { QUESTIONMARK^ conditional_middle COLON! conditional_expression }
    ;

conditional_middle
    :   assignment_expression ( COMMA^ assignment_expression )*
    ;

constant_expression
    :   conditional_expression
    ;

/* ========================================================================================== */
/* Precedence levels: left-associative, each operator the root over what came before          */
/* ========================================================================================== */

logical_or_expression
    :   logical_and_expression ( OR^ logical_and_expression )*
    ;

logical_and_expression
    :   inclusive_or_expression ( AND^ inclusive_or_expression )*
    ;

inclusive_or_expression
    :   exclusive_or_expression ( BITWISEOR^ exclusive_or_expression )*
    ;

exclusive_or_expression
    :   and_expression ( BITWISEXOR^ and_expression )*
    ;

and_expression
    :   equality_expression ( AMPERSAND^ equality_expression )*
    ;

equality_expression
    :   relational_expression ( ( NOTEQUAL^ | EQUAL^ ) relational_expression )*
    ;

relational_expression
    :   shift_expression
        ( ( LESSTHAN^ | GREATERTHAN^ | LESSTHANOREQUALTO^ | GREATERTHANOREQUALTO^ )
          shift_expression )*
    ;

shift_expression
    :   additive_expression ( ( SHIFTLEFT^ | SHIFTRIGHT^ ) additive_expression )*
    ;

additive_expression
    :   multiplicative_expression ( ( PLUS^ | MINUS^ ) multiplicative_expression )*
    ;

multiplicative_expression
    :   cast_expression ( ( STAR^ | DIVIDE^ | MOD^ ) cast_expression )*
    ;

argument_expression_list
    :   assignment_expression ( COMMA^ assignment_expression )*
    ;

/* ========================================================================================== */
/* Cast, unary, sizeof and waitfordone                                                        */
/* ========================================================================================== */

/* cast_expression = "(" type_name ")" cast_expression | unary_expression
 * A "(" followed by a name starts a cast whenever isTypeName holds for the name. */
cast_expression
    :   ( LPARENTHESIS IDENTIFIER )? => <<isTypeName(LT(2)->getText())>>?
        LPARENTHESIS type_name RPARENTHESIS cast_expression
    |   unary_expression
    ;

unary_expression
    :   postfix_expression
    |   PLUSPLUS^ unary_expression
    |   MINUSMINUS^ unary_expression
    |   unary_operator cast_expression
    |   SIZEOF^
        (   ( LPARENTHESIS IDENTIFIER )? => <<isTypeName(LT(2)->getText())>>?
            LPARENTHESIS! type_name RPARENTHESIS!
        |   unary_expression
        )
    |   waitfordone_expression
    ;

unary_operator
    :   AMPERSAND^
    |   STAR^
    |   PLUS^
    |   MINUS^
    |   ONESCOMPLEMENT^
    |   NOT^
    ;

/* waitfordone f(a) | waitfordone { f(a); g() } */
waitfordone_expression
    :   WAITFORDONE^
        (   waitfordone_call
        |   LCURLYBRACE! waitfordone_call ( SEMICOLON! waitfordone_call )* RCURLYBRACE!
        )
    ;

waitfordone_call
    :   IDENTIFIER LPARENTHESIS^ { argument_expression_list } RPARENTHESIS!
    ;

/* ========================================================================================== */
/* Postfix and primary expressions                                                            */
/* ========================================================================================== */

postfix_expression
    :   primary_expression
        (   LSQUAREBRACKET^ expression RSQUAREBRACKET!
        |   LPARENTHESIS^ { argument_expression_list } RPARENTHESIS!
        |   DOT^ IDENTIFIER
        |   POINTERTO^ IDENTIFIER
        |   PLUSPLUS^
        |   MINUSMINUS^
        )*
    ;

primary_expression
    :   IDENTIFIER
    |   constant
    |   ( STRING )+
    |   LPARENTHESIS^ expression RPARENTHESIS
    ;

constant
    :   OCTALINT
    |   DECIMALINT
    |   HEXADECIMALINT
    |   CHARACTER
    |   FLOATONE
    |   FLOATTWO
    ;

/* ========================================================================================== */
/* Declaration specifiers and struct members: flat lists, with the combination checked        */
/* ========================================================================================== */

/* Storage class codes 1-5, type-specifier bits 0x1-0x1000, qualifier bits 1 and 2. */
declaration_specifiers
    :   << int storage = 0; int qualifiers = 0; int types = 0; int code = 0; >>
        (   storage_class_specifier > [code]
            << if (storage != 0) semanticError("multiple storage classes", LT(1)->getLine());
               storage = code; >>
        |   type_specifier > [code]
            << types = combineTypeSpecifiers(types, code, LT(1)->getLine()); >>
        |   type_qualifier > [code]
            << if ((qualifiers & code) != 0)
                   semanticError("multiple type qualifier", LT(1)->getLine());
               else
                   qualifiers |= code; >>
        )+
    ;

storage_class_specifier > [int code]
    :   PCCTS_AUTO << $code = 1; >>
    |   PCCTS_REGISTER << $code = 2; >>
    |   PCCTS_STATIC << $code = 3; >>
    |   EXTERN << $code = 4; >>
    |   PCCTS_TYPEDEF << $code = 5; >>
    ;

type_specifier > [int bit]
    :   PCCTS_VOID << $bit = 0x1; >>
    |   PCCTS_CHAR << $bit = 0x2; >>
    |   PCCTS_SHORT << $bit = 0x4; >>
    |   PCCTS_INT << $bit = 0x8; >>
    |   PCCTS_LONG << $bit = 0x10; >>
    |   PCCTS_FLOAT << $bit = 0x20; >>
    |   PCCTS_DOUBLE << $bit = 0x40; >>
    |   SIGNED << $bit = 0x80; >>
    |   UNSIGNED << $bit = 0x100; >>
    |   struct_or_union_specifier > [$bit]
    |   enum_specifier << $bit = 0x800; >>
    |   typedef_name << $bit = 0x200; >>
    ;

typedef_name
    :   ( IDENTIFIER )? => <<isTypeName(LT(1)->getText())>>? IDENTIFIER
    ;

type_qualifier > [int bit]
    :   PCCTS_CONST << $bit = 1; >>
    |   VOLATILE << $bit = 2; >>
    ;

struct_or_union_specifier > [int bit]
    :   ( STRUCT << $bit = 0x400; >> | UNION << $bit = 0x1000; >> )
        (   IDENTIFIER
        |   IDENTIFIER LCURLYBRACE ( struct_declaration )+ RCURLYBRACE
        |   LCURLYBRACE ( struct_declaration )+ RCURLYBRACE
        )
    ;

struct_declaration
    :   specifier_qualifier_list struct_declarator_list SEMICOLON
    ;

specifier_qualifier_list
    :   << int qualifiers = 0; int types = 0; int code = 0; >>
        (   type_specifier > [code]
            << types = combineTypeSpecifiers(types, code, LT(1)->getLine()); >>
        |   type_qualifier > [code]
            << if ((qualifiers & code) != 0)
                   semanticError("multiple type qualifier", LT(1)->getLine());
               else
                   qualifiers |= code; >>
        )+
    ;

struct_declarator_list
    :   struct_declarator ( COMMA struct_declarator )*
    ;

/* ========================================================================================== */
/* Declarators: leaves only                                                                   */
/* ========================================================================================== */

declarator
    :   pointer declarator
    |   direct_declarator
    ;

pointer
    :   << int flags = 0; int code = 0; >>
        STAR
        (   type_qualifier > [code]
            << if ((flags & code) != 0)
                   semanticError("multiple type qualifier", LT(1)->getLine());
               else
                   flags |= code; >>
        )*
    ;

direct_declarator
    :   IDENTIFIER ( declarator_suffix )*
    |   LPARENTHESIS declarator RPARENTHESIS ( declarator_suffix )*
    ;

declarator_suffix
    :   LSQUAREBRACKET { constant_expression } RSQUAREBRACKET
    |   LPARENTHESIS { identifier_list | parameter_type_list } RPARENTHESIS
    ;

identifier_list
    :   ( IDENTIFIER )? => <<!isTypeName(LT(1)->getText())>>? IDENTIFIER ( COMMA IDENTIFIER )*
    ;

/* ========================================================================================== */
/* Parameter lists, abstract declarators and type names: leaves only                          */
/* ========================================================================================== */

parameter_type_list
    :   parameter_list { COMMA ELLIPSIS }
    ;

parameter_list
    :   parameter_declaration ( COMMA parameter_declaration )*
    ;

/* A named declarator is tried in guess mode before an abstract one. */
parameter_declaration
    :   declaration_specifiers
        (   ( declarator )? declarator
        |   abstract_declarator
        )
    ;

type_name
    :   specifier_qualifier_list abstract_declarator
    ;

/* May match nothing (before ")" or ","). */
abstract_declarator
    :   {   pointer abstract_declarator
        |   LPARENTHESIS abstract_declarator RPARENTHESIS ( direct_abstract_declarator )+
        |   ( LSQUAREBRACKET { constant_expression } RSQUAREBRACKET )+
        }
    ;

direct_abstract_declarator
    :   LSQUAREBRACKET { constant_expression } RSQUAREBRACKET
    |   LPARENTHESIS { parameter_type_list } RPARENTHESIS
    ;

/* ========================================================================================== */
/* Enumerations and struct member declarators: leaves only                                    */
/* ========================================================================================== */

enum_specifier
    :   ENUM
        (   IDENTIFIER { LCURLYBRACE enumerator_list RCURLYBRACE }
        |   LCURLYBRACE enumerator_list RCURLYBRACE
        )
    ;

enumerator_list
    :   enumerator ( COMMA enumerator )*
    ;

enumerator
    :   IDENTIFIER { ASSIGNEQUAL constant_expression }
    ;

struct_declarator
    :   declarator { COLON constant_expression }
    |   COLON constant_expression
    ;

}
