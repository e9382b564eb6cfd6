// frmKXMain, printing and the other services beside the commands: print, preview and page setup
// of the active editor's text (rendered by the print colours straight onto the printer; no file
// is written on the way), the alternate Find Next, the open files' names and the first editor.
#include "frmKXMain.h"

#include "editor/frmKXGrepProgress.h"

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMenu>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>

#include <algorithm>

#include "guiHosts.h"
#include "guiMainServices.h"
#include "options/guiOptionsHost.h"

namespace {

// The wait cursor while the text is rendered.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

void TfrmMainWindow::BuildPrintActions(QMenu *file)
{
    actPrintPreview = file->addAction(tr("Print Pre&view..."));
    actPrintPreview->setStatusTip(tr("Preview the printout of the current file"));
    Connect(actPrintPreview, nullptr, [this] { actPrintPreviewExecute(); });
    actPrint = file->addAction(tr("&Print..."));
    actPrint->setStatusTip(tr("Print the current file"));
    actPrint->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    Connect(actPrint, nullptr, [this] { actPrintExecute(); });
    actPrintSetup = file->addAction(tr("Print Set&up..."));
    actPrintSetup->setStatusTip(tr("Page setup of the printout"));
    Connect(actPrintSetup, nullptr, [this] { actPrintSetupExecute(); });
}

// The print setup is read from the settings when printing is first asked for, not when the
// window is made: a window that never prints never opens the settings store for it.
TKorvexPrinter &TfrmMainWindow::Printer()
{
    if (!m_printer) {
        LoadPrintSetup(&m_print_setup);
        m_printer = std::make_shared<TKorvexPrinter>();
    }
    m_printer->SetSetup(m_print_setup);
    return *m_printer;
}

int TfrmMainWindow::PrintEditor(TKorvexPrinter &printer, TfrmEdit *editor)
{
    Printer();
    printer.SetSetup(m_print_setup);
    if (!editor)
        return 0;
    WaitCursor wait;
    return printer.PrintText(editor->Editor(), editor->FileName());
}

void TfrmMainWindow::actPrintPreviewExecute()
{
    TKorvexPrinter &printer = Printer();
    TfrmEdit *editor = ActiveEditorWindow();
    printer.setDocName(editor ? QString::fromLocal8Bit(editor->FileName().c_str()) : QString());
    QPrintPreviewDialog dialog(&printer, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [&](QPrinter *) {
        guarded([&] { PrintEditor(printer, ActiveEditorWindow()); });
    });
    options_shell().ExecModal(dialog);
}

void TfrmMainWindow::actPrintExecute()
{
    TKorvexPrinter &printer = Printer();
    TfrmEdit *editor = ActiveEditorWindow();
    printer.setDocName(editor ? QString::fromLocal8Bit(editor->FileName().c_str()) : QString());
    QPrintDialog dialog(&printer, this);
    if (options_shell().ExecModal(dialog) != QDialog::Accepted)
        return;
    PrintEditor(printer, ActiveEditorWindow());
}

void TfrmMainWindow::actPrintSetupExecute()
{
    TKorvexPrinter &printer = Printer();
    printer.setPageOrientation(m_print_setup.Orientation == TPrintOrientation::poLandscape
                                   ? QPageLayout::Landscape
                                   : QPageLayout::Portrait);
    QPageSetupDialog dialog(&printer, this);
    if (options_shell().ExecModal(dialog) != QDialog::Accepted)
        return;
    const QPageLayout layout = printer.pageLayout();
    m_print_setup.Orientation = layout.orientation() == QPageLayout::Landscape
                                    ? TPrintOrientation::poLandscape
                                    : TPrintOrientation::poPortrait;
    const QMarginsF margins = layout.margins(m_print_setup.Units() == TPrintUnits::unMillimeters
                                                 ? QPageLayout::Millimeter
                                                 : QPageLayout::Inch);
    TTextOptions &text = m_print_setup.TextOptions;
    text.MarginLeft = margins.left();
    text.MarginTop = margins.top();
    text.MarginRight = margins.right();
    text.MarginBottom = margins.bottom();
    SavePrintSetup(&m_print_setup);
}

void TfrmMainWindow::PrintMemo(QsciScintilla *memo, const std::string &title)
{
    TKorvexPrinter &printer = Printer();
    printer.setDocName(QString::fromLocal8Bit(title.c_str()));
    QPrintDialog dialog(&printer, this);
    if (options_shell().ExecModal(dialog) != QDialog::Accepted)
        return;
    printer.SetSetup(m_print_setup);
    WaitCursor wait;
    printer.PrintText(memo, title);
}

void TfrmMainWindow::actGrepExecute() { RunFindInFiles(this); }

void TfrmMainWindow::actAltFindNextExecute()
{
    TfrmEdit *editor = ActiveEditorWindow();
    if (editor && !m_last_search.text.isEmpty())
        search_next(editor->Editor(), m_last_search);
}

void TfrmMainWindow::GetOpenFileNames(std::vector<std::string> &names) const
{
    for (TfrmEdit *editor : Editors())
        names.push_back(editor->FileName());
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
}

// The editor in front: the current one, else the top-most by stacking order (the workspace has
// no current window while, say, the messages window is in front).
TfrmEdit *TfrmMainWindow::FirstEditor() const
{
    if (TfrmEdit *current = ActiveEditorWindow())
        return current;
    const std::vector<TfrmEdit *> editors = EditorsFrontFirst();
    return editors.empty() ? nullptr : editors.front();
}
