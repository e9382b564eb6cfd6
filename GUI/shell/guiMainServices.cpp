// guiMainServices: printing an editor's text and the after-compile signal.
#include "guiMainServices.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMarginsF>
#include <QPageLayout>
#include <QPainter>

#include <optional>

#include <Qsci/qsciscintilla.h>

#include "settings/guiKXPreferences.h"

namespace {

QString text_of(const std::string &text) { return QString::fromLocal8Bit(text.c_str()); }

// In points, so that the printed size does not hang on the printer's resolution.
QFont font_of(const TPrinterFont &font)
{
    QFont made(QString::fromStdString(font.name));
    made.setPointSize(font.size > 0 ? font.size : 10);
    made.setBold(font.bold);
    made.setItalic(font.italic);
    made.setUnderline(font.underline);
    return made;
}

Qt::Alignment alignment_of(TTextAlign align)
{
    switch (align) {
    case TTextAlign::taLeftJustify:
        return Qt::AlignLeft;
    case TTextAlign::taRightJustify:
        return Qt::AlignRight;
    case TTextAlign::taCenter:
        return Qt::AlignHCenter;
    }
    return Qt::AlignLeft;
}

class ProgramAttention : public TAttentionSignals {
public:
    bool ApplicationActive() override
    {
        return QGuiApplication::applicationState() == Qt::ApplicationActive;
    }
    void Alert(QWidget *window, int milliseconds) override
    {
        QApplication::alert(window, milliseconds);
    }
    void Beep() override { QApplication::beep(); }
};

ProgramAttention g_program_attention;
TAttentionSignals *g_attention = &g_program_attention;

// Three flashes, one each 500 ms.
constexpr int kFlashes = 3;
constexpr int kFlashPeriodMs = 500;

} // namespace

TKorvexPrinter::TKorvexPrinter() : QsciPrinter(QPrinter::HighResolution) {}

int TKorvexPrinter::PrintText(QsciScintilla *memo, const std::string &title)
{
    return Print(memo, title, nullptr);
}

int TKorvexPrinter::PrintText(QsciScintilla *memo, const std::string &title, QPainter &painter)
{
    return Print(memo, title, &painter);
}

namespace {

// The number margin of an editor that shows line numbers (-1: none shown).
int shown_number_margin(QsciScintilla *memo)
{
    for (int margin = 0; margin < memo->margins(); ++margin)
        if (memo->marginType(margin) == QsciScintilla::NumberMargin &&
            memo->marginWidth(margin) > 0)
            return margin;
    return -1;
}

// Printing in colour prints the text's colours on white paper. The line numbers keep their
// own colours, both of them: the editor's print modes would put them on white too, so while
// they print the editor's styles are set to white paper here, all but the line numbers', and
// the screen's colours are printed. The styles are given back afterwards.
class ColourOnWhite {
public:
    explicit ColourOnWhite(QsciScintilla *memo) : m_memo(memo)
    {
        constexpr long kWhite = 0xFFFFFF;
        m_mode = memo->SendScintilla(QsciScintillaBase::SCI_GETPRINTCOLOURMODE);
        if (shown_number_margin(memo) < 0) {
            memo->SendScintilla(QsciScintillaBase::SCI_SETPRINTCOLOURMODE,
                                QsciScintillaBase::SC_PRINT_COLOURONWHITE);
            return;
        }
        for (int style = 0; style < kStyles; ++style) {
            m_backs[style] = memo->SendScintilla(QsciScintillaBase::SCI_STYLEGETBACK, style);
            if (style != QsciScintillaBase::STYLE_LINENUMBER)
                memo->SendScintilla(QsciScintillaBase::SCI_STYLESETBACK, style, kWhite);
        }
        m_styles_changed = true;
        memo->SendScintilla(QsciScintillaBase::SCI_SETPRINTCOLOURMODE,
                            QsciScintillaBase::SC_PRINT_SCREENCOLOURS);
    }
    ~ColourOnWhite()
    {
        if (m_styles_changed)
            for (int style = 0; style < kStyles; ++style)
                if (style != QsciScintillaBase::STYLE_LINENUMBER)
                    m_memo->SendScintilla(QsciScintillaBase::SCI_STYLESETBACK, style,
                                          m_backs[style]);
        m_memo->SendScintilla(QsciScintillaBase::SCI_SETPRINTCOLOURMODE, m_mode);
    }
    ColourOnWhite(const ColourOnWhite &) = delete;
    ColourOnWhite &operator=(const ColourOnWhite &) = delete;

private:
    static constexpr int kStyles = QsciScintillaBase::STYLE_MAX + 1;
    QsciScintilla *m_memo;
    long m_mode = 0;
    bool m_styles_changed = false;
    long m_backs[kStyles] = {};
};

} // namespace

int TKorvexPrinter::Print(QsciScintilla *memo, const std::string &title, QPainter *painter)
{
    setDocName(text_of(title));
    const TTextOptions &text = m_setup.TextOptions;
    setPageOrientation(m_setup.Orientation == TPrintOrientation::poLandscape
                           ? QPageLayout::Landscape
                           : QPageLayout::Portrait);
    const QPageLayout::Unit unit = m_setup.Units() == TPrintUnits::unMillimeters
                                       ? QPageLayout::Millimeter
                                       : QPageLayout::Inch;
    auto margin = [](bool used, double value) { return used ? value : 0.0; };
    setPageMargins(QMarginsF(margin(text.UseMarginLeft, text.MarginLeft),
                             margin(text.UseMarginTop, text.MarginTop),
                             margin(text.UseMarginRight, text.MarginRight),
                             margin(text.UseMarginBottom, text.MarginBottom)),
                   unit);
    setWrapMode(text.WrapLines ? QsciScintilla::WrapWord : QsciScintilla::WrapNone);
    // The editor's own colours, or black on white; the editor shows what it showed before.
    std::optional<ColourOnWhite> colours;
    const long old_mode = memo->SendScintilla(QsciScintillaBase::SCI_GETPRINTCOLOURMODE);
    if (text.ColorSyntax)
        colours.emplace(memo);
    else
        memo->SendScintilla(QsciScintillaBase::SCI_SETPRINTCOLOURMODE,
                            QsciScintillaBase::SC_PRINT_BLACKONWHITE);
    m_pages = 0;
    const bool printed = painter ? printRange(memo, *painter) : printRange(memo);
    colours.reset();
    memo->SendScintilla(QsciScintillaBase::SCI_SETPRINTCOLOURMODE, old_mode);
    return printed ? m_pages : 0;
}

// The header (the header text, else the document's name) above the text, the page number
// below it ("%d" in its text is the number; the text is the user's, never a format); the text
// gets what is left.
void TKorvexPrinter::formatPage(QPainter &painter, bool drawing, QRect &area, int pagenr)
{
    const TTextOptions &text = m_setup.TextOptions;
    if (drawing)
        ++m_pages;
    if (text.UseHeader) {
        const QFont font = font_of(text.HeaderFont);
        const int height = QFontMetrics(font, painter.device()).height();
        const QString header = text.Header.empty() ? docName() : text_of(text.Header);
        if (drawing) {
            painter.save();
            painter.setFont(font);
            painter.drawText(QRect(area.left(), area.top(), area.width(), height),
                             alignment_of(text.HeaderAlign) | Qt::AlignVCenter, header);
            painter.restore();
        }
        area.setTop(area.top() + height + height / 2);
    }
    if (text.UsePageNumbers && text.PrintPageNumber != TPageNumberPosition::pnNone) {
        const QFont font = font_of(text.PageNumFont);
        const int height = QFontMetrics(font, painter.device()).height();
        const bool top = text.PrintPageNumber == TPageNumberPosition::pnTop;
        const QRect where = top ? QRect(area.left(), area.top(), area.width(), height)
                                : QRect(area.left(), area.bottom() - height, area.width(), height);
        if (drawing) {
            painter.save();
            painter.setFont(font);
            painter.drawText(where, alignment_of(text.PageNumAlign) | Qt::AlignVCenter,
                             text_of(text.PageNumText)
                                 .replace(QStringLiteral("%d"), QString::number(pagenr)));
            painter.restore();
        }
        if (top)
            area.setTop(area.top() + height + height / 2);
        else
            area.setBottom(area.bottom() - height - height / 2);
    }
}

TAttentionSignals &attention_signals() { return *g_attention; }

void set_attention_signals(TAttentionSignals *attention)
{
    g_attention = attention ? attention : &g_program_attention;
}

void FlashAndBeepAfterCompile(QWidget *main_window)
{
    TAttentionSignals &attention = attention_signals();
    if (attention.ApplicationActive())
        return;
    const TIdePreferences &prefs = IdePreferences();
    if (prefs.flash_after_compile)
        attention.Alert(main_window, kFlashes * kFlashPeriodMs);
    if (prefs.beep_after_compile)
        attention.Beep();
}
