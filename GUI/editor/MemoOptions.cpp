// MemoOptions: the program-wide editor options, their application to a memo, their store and
// the colour-style files.
#include "MemoOptions.h"

#include <Qsci/qsciscintilla.h>

#include <QFont>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>

#include "FileReplace.h"
#include "KorvexLexer.h"
#include "MemoSourceTag.h"
#include "RegularFile.h"
#include "shell/guiHosts.h"

namespace {

// ---- notification ------------------------------------------------------------------------------

struct Listeners {
    std::map<int, TMemoOptionsLink *> links;
    int next_id = 0;
    int depth = 0;
    bool pending = false;
    int told = 0;
};
Listeners &listeners()
{
    static Listeners l;
    return l;
}

void tell_links()
{
    Listeners &l = listeners();
    ++l.told;
    // A link may go while another applies (a window closing): walk a copy.
    const std::map<int, TMemoOptionsLink *> links = l.links;
    for (const auto &[id, link] : links)
        if (l.links.count(id))
            link->Apply();
}

std::bitset<kMemoEnvBits> default_env_bits()
{
    std::bitset<kMemoEnvBits> bits;
    for (int bit : {moDrawGutter, moColorSyntax, moLineNumbers, moLineNumbersOnGutter,
                    moSelectionInsideLines, moOverwriteBlockCaret})
        bits.set(static_cast<std::size_t>(bit));
    return bits;
}

std::bitset<kMemoSourceBits> default_source_bits()
{
    std::bitset<kMemoSourceBits> bits;
    for (int bit : {soBackspaceUnindents, soGroupUndo, soAutoIndent, soCaretInsideLines,
                    soFindTextAtCursor, soOverwriteBlocks})
        bits.set(static_cast<std::size_t>(bit));
    return bits;
}

} // namespace

void TOptionExt::BeginUpdate() { ++listeners().depth; }

void TOptionExt::EndUpdate()
{
    Listeners &l = listeners();
    if (l.depth > 0)
        --l.depth;
    if (l.depth == 0 && l.pending) {
        l.pending = false;
        tell_links();
    }
}

void TOptionExt::Changed()
{
    Listeners &l = listeners();
    if (l.depth > 0) {
        l.pending = true;
        return;
    }
    tell_links();
}

int memo_options_notifications() { return listeners().told; }

// ---- the option objects ------------------------------------------------------------------------

TMemoEnvOptions::TMemoEnvOptions() : Options(default_env_bits()), TextStyles(korvex_default_styles())
{
}

void TMemoEnvOptions::Assign(const TMemoEnvOptions &other)
{
    if (this != &other)
        *this = other;
}

int TMemoEnvOptions::IndexOfName(const std::string &name) const
{
    for (std::size_t i = 0; i < TextStyles.size(); ++i)
        if (TextStyles[i].Name == name)
            return static_cast<int>(i);
    return -1;
}

TTextStyle *TMemoEnvOptions::StyleNamed(const std::string &name)
{
    const int index = IndexOfName(name);
    return index < 0 ? nullptr : &TextStyles[static_cast<std::size_t>(index)];
}

TMemoSourceOptions::TMemoSourceOptions() : Options(default_source_bits()) {}

// stops = blank* column ( blank* "," blank* column )* blank*
std::optional<std::vector<int>> parse_tab_stops(const std::string &text)
{
    std::vector<int> stops;
    std::size_t i = 0;
    const auto skip_blanks = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
    };
    for (;;) {
        skip_blanks();
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        if (i == start || i - start > 3)
            return std::nullopt;
        int column = 0;
        std::from_chars(text.data() + start, text.data() + i, column);
        if (column < 1 || (!stops.empty() && column <= stops.back()))
            return std::nullopt;
        stops.push_back(column);
        skip_blanks();
        if (i == text.size())
            return stops;
        if (text[i] != ',')
            return std::nullopt;
        ++i;
    }
}

bool TMemoSourceOptions::SetTabStops(const std::string &text)
{
    if (!parse_tab_stops(text))
        return false;
    m_tab_stops = text;
    return true;
}

int TMemoSourceOptions::TabWidth() const
{
    const auto stops = parse_tab_stops(m_tab_stops);
    return stops ? stops->front() : 3;
}

TMemoEnvOptions &GlobalMemoOptions()
{
    static TMemoEnvOptions options;
    return options;
}

TMemoSourceOptions &GlobalMemoSourceOptions()
{
    static TMemoSourceOptions options;
    return options;
}

void reset_memo_options()
{
    GlobalMemoOptions().Assign(TMemoEnvOptions());
    GlobalMemoSourceOptions().Assign(TMemoSourceOptions());
    GlobalMemoOptions().Changed();
}

// ---- applying them to a memo -------------------------------------------------------------------

namespace {

// Margins of a memo: the line numbers, then the gutter the bookmarks show in.
constexpr int kNumberMargin = 0;
constexpr int kGutterMargin = 1;

QFont memo_font(const TMemoEnvOptions &env)
{
    QFont font(QString::fromStdString(env.FontName));
    font.setStyleHint(QFont::Monospace);
    font.setPointSize(std::clamp(env.FontSize, 1, kMaxMemoFontSize));
    return font;
}

} // namespace

void ApplyMemoOptions(QsciScintilla *memo, TKorvexLexer *lexer)
{
    const TMemoEnvOptions &env = GlobalMemoOptions();
    const TMemoSourceOptions &source = GlobalMemoSourceOptions();
    const bool read_only = memo->isReadOnly();
    const QColor background = colour_of(read_only ? env.ReadOnlyColor : env.Color);
    const QFont font = memo_font(env);

    memo->setFont(font);
    memo->setColor(colour_of(env.FontColor));
    memo->setPaper(background);
    if (lexer) {
        lexer->setDefaultFont(font);
        lexer->setDefaultColor(colour_of(env.FontColor));
        lexer->setDefaultPaper(background);
        for (int style = 0; style < kKorvexStyleCount; ++style) {
            const TTextStyle &look = env.TextStyles[static_cast<std::size_t>(style)];
            QFont styled = font;
            styled.setBold(look.Bold);
            styled.setItalic(look.Italic);
            styled.setUnderline(look.Underline);
            lexer->setFont(styled, style);
            lexer->setColor(colour_of(look.FontColor), style);
            lexer->setPaper(read_only || look.UseMemoColor ? background : colour_of(look.Color),
                            style);
        }
    }

    memo->setMarginType(kNumberMargin, QsciScintilla::NumberMargin);
    memo->setMarginsFont(font);
    if (env.Options[moLineNumbers])
        memo->setMarginWidth(kNumberMargin, QStringLiteral("99999"));
    else
        memo->setMarginWidth(kNumberMargin, 0);
    memo->setMarginsForegroundColor(colour_of(env.LineNumberColor));
    memo->setMarginsBackgroundColor(colour_of(env.LineNumberBackgroundColor));
    memo->setMarginType(kGutterMargin, QsciScintilla::SymbolMarginColor);
    memo->setMarginBackgroundColor(kGutterMargin, colour_of(env.GutterColor));
    memo->setMarginWidth(kGutterMargin, env.Options[moDrawGutter] ? env.GutterWidth : 0);

    memo->setEdgeMode(env.Options[moDrawMargin] ? QsciScintilla::EdgeLine
                                                : QsciScintilla::EdgeNone);
    memo->setEdgeColumn(env.MarginPos);
    memo->setEdgeColor(colour_of(env.MarginColor));

    const bool symbols = env.Options[moDrawSpecialSymbols];
    memo->setWhitespaceVisibility(symbols ? QsciScintilla::WsVisible : QsciScintilla::WsInvisible);
    memo->setEolVisibility(symbols);

    memo->setTabWidth(source.TabWidth());
    memo->setIndentationWidth(source.BlockIndent);
    memo->setAutoIndent(source.Options[soAutoIndent]);
    memo->setBackspaceUnindents(source.Options[soBackspaceUnindents]);
    long space = 0;
    if (!source.Options[soCaretInsideLines])
        space |= QsciScintillaBase::SCVS_USERACCESSIBLE;
    if (!env.Options[moSelectionInsideLines])
        space |= QsciScintillaBase::SCVS_RECTANGULARSELECTION;
    memo->SendScintilla(QsciScintillaBase::SCI_SETVIRTUALSPACEOPTIONS, space);
    ApplyCaretStyle(memo);
    TMemoSourceTag::DefineLooks(memo);
}

void ApplyCaretStyle(QsciScintilla *memo)
{
    const bool block = memo->overwriteMode() && GlobalMemoOptions().Options[moOverwriteBlockCaret];
    memo->SendScintilla(QsciScintillaBase::SCI_SETCARETSTYLE,
                        block ? QsciScintillaBase::CARETSTYLE_BLOCK
                              : QsciScintillaBase::CARETSTYLE_LINE);
}

TMemoOptionsLink::TMemoOptionsLink(QsciScintilla *memo, TKorvexLexer *lexer,
                                   std::function<void()> extra)
    : m_memo(memo), m_lexer(lexer), m_extra(std::move(extra))
{
    Listeners &l = listeners();
    m_id = l.next_id++;
    l.links[m_id] = this;
    Apply();
}

TMemoOptionsLink::~TMemoOptionsLink() { listeners().links.erase(m_id); }

void TMemoOptionsLink::Apply()
{
    ApplyMemoOptions(m_memo, m_lexer);
    if (m_extra)
        m_extra();
}

// ---- kept between runs -------------------------------------------------------------------------

namespace {

constexpr const char *kEditorOptionsSection = "Environment\\Editor Options";
constexpr const char *kStylesSection = "Environment\\Editor Options\\Styles";

// Attribute bits of a stored style.
constexpr int32_t kStoredBold = 1, kStoredItalic = 2, kStoredUnderline = 4, kStoredMemoColor = 8;

int32_t read_in_range(TKXRegistry &reg, const char *name, int32_t def, int32_t low, int32_t high)
{
    const std::optional<int32_t> value = reg.read_integer(name);
    return value && *value >= low && *value <= high ? *value : def;
}

TColor read_colour(TKXRegistry &reg, const std::string &name, TColor def)
{
    const std::optional<int32_t> value = reg.read_integer(name);
    return value ? static_cast<TColor>(*value) : def;
}

std::string read_text(TKXRegistry &reg, const char *name, const std::string &def)
{
    return reg.read_string(name).value_or(def);
}

} // namespace

void LoadEditorOptions()
{
    TMemoEnvOptions &env = GlobalMemoOptions();
    TMemoSourceOptions &source = GlobalMemoSourceOptions();
    const TMemoEnvOptions env_defaults;
    const TMemoSourceOptions source_defaults;
    env.BeginUpdate();
    env.LineNumberColor = IdePreferences().line_number_color;
    env.LineNumberBackgroundColor = IdePreferences().line_number_background_color;
    TKXRegistry reg;
    report_settings_damage(reg);
    if (reg.open_key(settings_key(kEditorOptionsSection), false)) {
        env.FontName = read_text(reg, "Font Name", env_defaults.FontName);
        if (env.FontName.empty())
            env.FontName = env_defaults.FontName;
        env.FontSize = read_in_range(reg, "Font Size", env_defaults.FontSize, 1, kMaxMemoFontSize);
        env.FontColor = read_colour(reg, "Font Color", env_defaults.FontColor);
        env.Color = read_colour(reg, "Color", env_defaults.Color);
        env.ReadOnlyColor = read_colour(reg, "Read Only Color", env_defaults.ReadOnlyColor);
        env.UseMonoFont = read_in_range(reg, "Use Mono Font", env_defaults.UseMonoFont, 0, 1) != 0;
        env.GutterColor = read_colour(reg, "Gutter Color", env_defaults.GutterColor);
        env.GutterWidth = read_in_range(reg, "Gutter Width", env_defaults.GutterWidth, 1, 100);
        env.KeyMapping = read_text(reg, "Key Mapping", env_defaults.KeyMapping);
        if (std::none_of(std::begin(kKeyMappings), std::end(kKeyMappings),
                         [&](const char *name) { return env.KeyMapping == name; }))
            env.KeyMapping = env_defaults.KeyMapping;
        env.MarginColor = read_colour(reg, "Margin Color", env_defaults.MarginColor);
        env.MarginWidth = read_in_range(reg, "Margin Width", env_defaults.MarginWidth, 1, 2);
        env.MarginStyle = read_in_range(reg, "Margin Style", env_defaults.MarginStyle, 0,
                                        std::size(kMarginPenStyles) - 1);
        env.MarginPos = read_in_range(reg, "Margin Position", env_defaults.MarginPos, 1, 500);
        env.Options = std::bitset<kMemoEnvBits>(static_cast<unsigned long>(read_in_range(
            reg, "Options", static_cast<int32_t>(env_defaults.Options.to_ulong()), 0,
            (1 << kMemoEnvBits) - 1)));
        env.EolSymbol = read_text(reg, "EOL Symbol", env_defaults.EolSymbol);
        env.EofSymbol = read_text(reg, "EOF Symbol", env_defaults.EofSymbol);
        env.SpaceSymbol = static_cast<char16_t>(
            read_in_range(reg, "Space Symbol", env_defaults.SpaceSymbol, 0, 0xFFFF));
        env.TabSymbol = static_cast<char16_t>(
            read_in_range(reg, "Tab Symbol", env_defaults.TabSymbol, 0, 0xFFFF));

        source.Options = std::bitset<kMemoSourceBits>(static_cast<unsigned long>(read_in_range(
            reg, "Source Options", static_cast<int32_t>(source_defaults.Options.to_ulong()), 0,
            (1 << kMemoSourceBits) - 1)));
        source.BlockIndent = read_in_range(reg, "Block Indent", source_defaults.BlockIndent, 1,
                                           kMaxBlockIndent);
        if (!source.SetTabStops(read_text(reg, "Tab Stops", source_defaults.TabStops())))
            (void)source.SetTabStops(source_defaults.TabStops());
        source.KeepTrailingBlanks =
            read_in_range(reg, "Keep Trailing Blanks", source_defaults.KeepTrailingBlanks, 0, 1) != 0;
        reg.close_key();
    }
    if (reg.open_key(settings_key(kStylesSection), false)) {
        for (TTextStyle &style : env.TextStyles) {
            style.Color = read_colour(reg, style.Name + " Color", style.Color);
            style.FontColor = read_colour(reg, style.Name + " Font Color", style.FontColor);
            const std::optional<int32_t> attributes = reg.read_integer(style.Name + " Style");
            if (attributes && *attributes >= 0 && *attributes <= 15) {
                style.Bold = (*attributes & kStoredBold) != 0;
                style.Italic = (*attributes & kStoredItalic) != 0;
                style.Underline = (*attributes & kStoredUnderline) != 0;
                style.UseMemoColor = (*attributes & kStoredMemoColor) != 0;
            }
        }
        reg.close_key();
    }
    env.Changed();
    env.EndUpdate();
}

void SaveEditorOptions()
{
    const TMemoEnvOptions &env = GlobalMemoOptions();
    const TMemoSourceOptions &source = GlobalMemoSourceOptions();
    TKXRegistry reg;
    report_settings_damage(reg);
    if (!reg.open_key(settings_key(kEditorOptionsSection), true))
        return;
    const auto colour = [&](const char *name, TColor value) {
        WriteRegInteger(reg, name, static_cast<int32_t>(value));
    };
    WriteRegString(reg, "Font Name", env.FontName);
    WriteRegInteger(reg, "Font Size", env.FontSize);
    colour("Font Color", env.FontColor);
    colour("Color", env.Color);
    colour("Read Only Color", env.ReadOnlyColor);
    WriteRegInteger(reg, "Use Mono Font", env.UseMonoFont ? 1 : 0);
    colour("Gutter Color", env.GutterColor);
    WriteRegInteger(reg, "Gutter Width", env.GutterWidth);
    WriteRegString(reg, "Key Mapping", env.KeyMapping);
    colour("Margin Color", env.MarginColor);
    WriteRegInteger(reg, "Margin Width", env.MarginWidth);
    WriteRegInteger(reg, "Margin Style", env.MarginStyle);
    WriteRegInteger(reg, "Margin Position", env.MarginPos);
    WriteRegInteger(reg, "Options", static_cast<int32_t>(env.Options.to_ulong()));
    WriteRegString(reg, "EOL Symbol", env.EolSymbol);
    WriteRegString(reg, "EOF Symbol", env.EofSymbol);
    WriteRegInteger(reg, "Space Symbol", env.SpaceSymbol);
    WriteRegInteger(reg, "Tab Symbol", env.TabSymbol);
    WriteRegInteger(reg, "Source Options", static_cast<int32_t>(source.Options.to_ulong()));
    WriteRegInteger(reg, "Block Indent", source.BlockIndent);
    WriteRegString(reg, "Tab Stops", source.TabStops());
    WriteRegInteger(reg, "Keep Trailing Blanks", source.KeepTrailingBlanks ? 1 : 0);
    reg.close_key();
    if (reg.open_key(settings_key(kStylesSection), true)) {
        for (const TTextStyle &style : env.TextStyles) {
            colour((style.Name + " Color").c_str(), style.Color);
            colour((style.Name + " Font Color").c_str(), style.FontColor);
            WriteRegInteger(reg, style.Name + " Style",
                            (style.Bold ? kStoredBold : 0) | (style.Italic ? kStoredItalic : 0) |
                                (style.Underline ? kStoredUnderline : 0) |
                                (style.UseMemoColor ? kStoredMemoColor : 0));
        }
        reg.close_key();
    }
    (void)reg.save();
}

// ---- colour-style files ------------------------------------------------------------------------

namespace {

constexpr const char *kColorStylesHeader = "Korvex colour styles 1";
constexpr std::size_t kColorStylesLimit = 1u << 20;

std::string hex_colour(TColor colour)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", colour & 0xFFu, (colour >> 8) & 0xFFu,
                  (colour >> 16) & 0xFFu);
    return text;
}

// Six hex digits RRGGBB as a colour (0x00BBGGRR).
std::optional<TColor> parse_colour(std::string_view text)
{
    if (text.size() != 6)
        return std::nullopt;
    uint32_t rgb = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + 6, rgb, 16);
    if (ec != std::errc() || end != text.data() + 6)
        return std::nullopt;
    return ((rgb >> 16) & 0xFFu) | (rgb & 0xFF00u) | ((rgb & 0xFFu) << 16);
}

} // namespace

bool SaveColorStyles(const std::string &path, const std::vector<TTextStyle> &styles,
                     std::string &error)
{
    std::string text = std::string(kColorStylesHeader) + "\n";
    for (const TTextStyle &style : styles) {
        std::string attributes;
        if (style.Bold)
            attributes += 'B';
        if (style.Italic)
            attributes += 'I';
        if (style.Underline)
            attributes += 'U';
        text += style.Name + "=" + hex_colour(style.Color) + "," + hex_colour(style.FontColor) +
                "," + (attributes.empty() ? "-" : attributes) + "\n";
    }
    return replace_file_contents(path, text, error);
}

bool LoadColorStyles(const std::string &path, std::vector<TTextStyle> &styles, std::string &error)
{
    std::vector<uint8_t> bytes;
    switch (read_regular_file(path, kColorStylesLimit, bytes)) {
    case RegularFileStatus::Read:
        break;
    case RegularFileStatus::NotOpened:
    case RegularFileStatus::ReadError:
        error = "it cannot be read";
        return false;
    case RegularFileStatus::NotRegular:
        error = "it is not an ordinary file";
        return false;
    case RegularFileStatus::TooLarge:
        error = "it is larger than a colour-style file can be";
        return false;
    }
    const std::string text(bytes.begin(), bytes.end());
    std::vector<std::string> lines = SplitTextLines(text);
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    if (lines.empty() || lines.front() != kColorStylesHeader) {
        error = "it is not a colour-style file";
        return false;
    }
    std::vector<TTextStyle> result = styles;
    std::vector<bool> seen(styles.size(), false);
    for (std::size_t n = 1; n < lines.size(); ++n) {
        const std::string &line = lines[n];
        const std::string where = "line " + std::to_string(n + 1) + ": ";
        const std::size_t equals = line.rfind('=');
        if (equals == std::string::npos) {
            error = where + "no \"=\"";
            return false;
        }
        const std::string name = line.substr(0, equals);
        const auto it = std::find_if(result.begin(), result.end(),
                                     [&](const TTextStyle &s) { return s.Name == name; });
        if (it == result.end()) {
            error = where + "no style is named \"" + name + "\"";
            return false;
        }
        const std::size_t index = static_cast<std::size_t>(it - result.begin());
        if (seen[index]) {
            error = where + "\"" + name + "\" is given twice";
            return false;
        }
        seen[index] = true;
        const std::string_view rest = std::string_view(line).substr(equals + 1);
        const std::size_t comma1 = rest.find(',');
        const std::size_t comma2 = comma1 == std::string_view::npos ? comma1 : rest.find(',', comma1 + 1);
        if (comma2 == std::string_view::npos) {
            error = where + "a style needs two colours and its attributes";
            return false;
        }
        const auto back = parse_colour(rest.substr(0, comma1));
        const auto fore = parse_colour(rest.substr(comma1 + 1, comma2 - comma1 - 1));
        if (!back || !fore) {
            error = where + "a colour is six hex digits RRGGBB";
            return false;
        }
        const std::string_view attributes = rest.substr(comma2 + 1);
        bool bold = false, italic = false, underline = false;
        bool valid = !attributes.empty();
        if (attributes != "-") {
            for (char c : attributes) {
                bool &flag = c == 'B' ? bold : c == 'I' ? italic : underline;
                if ((c != 'B' && c != 'I' && c != 'U') || flag)
                    valid = false;
                else
                    flag = true;
            }
        }
        if (!valid) {
            error = where + "the attributes are \"-\" or any of \"B\", \"I\", \"U\"";
            return false;
        }
        it->Color = *back;
        it->FontColor = *fore;
        it->Bold = bold;
        it->Italic = italic;
        it->Underline = underline;
        it->UseMemoColor = false;
    }
    styles = std::move(result);
    return true;
}
