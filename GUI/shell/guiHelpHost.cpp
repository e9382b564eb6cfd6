// guiHelpHost: the program's own document opener and help windows.
#include "guiHelpHost.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include "core/guiExceptions.h"
#include "driver/CC_GO.h"
#include "editor/frmKXFunctionDesc.h"
#include "editor/frmKXLibraryLookup.h"
#include "frmKXMain.h"
#include "options/guiOptionsHost.h"
#include "frmKXTips.h"

namespace {

constexpr uint32_t kMsgNoTip = 7174;           // "No tip of the day: %s"

// The home pages the tip window's links open; the support link is the Help menu's command.
constexpr const char *kKorvexHomePage = "https://korvex.example/";
constexpr const char *kVireonHomePage = "https://vireon.example/";

std::string tips_file_name()
{
    std::string dir = program_directory();
    if (!dir.empty() && dir.back() != '/')
        dir.push_back('/');
    return dir + "Tips.dat";
}

void open_tip_link(TfrmTips::Link link)
{
    if (!frmMainWindow)
        return;
    switch (link) {
    case TfrmTips::Link::KorvexHome:
        frmMainWindow->OpenHelpUrl("", kKorvexHomePage);
        return;
    case TfrmTips::Link::VireonHome:
        frmMainWindow->OpenHelpUrl("", kVireonHomePage);
        return;
    case TfrmTips::Link::Support:
        if (frmMainWindow->actTechSupport)
            frmMainWindow->actTechSupport->trigger();
        return;
    }
}

class DesktopOpener : public TDocumentOpener {
public:
    bool OpenFile(const std::string &path) override
    {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromLocal8Bit(path.c_str())));
    }
    // The text is one URL, taken as the user wrote it: nothing in it is split or interpreted.
    bool OpenUrl(const std::string &url) override
    {
        const QUrl target(QString::fromLocal8Bit(url.c_str()), QUrl::TolerantMode);
        return target.isValid() && QDesktopServices::openUrl(target);
    }
};

class ProgramHelpWindows : public THelpWindows {
public:
    std::optional<std::string> DescriptionWord() override
    {
        if (TfrmFunctionDesc *desc = TfrmFunctionDesc::Active())
            return desc->WordAtCaret();
        return std::nullopt;
    }
    void ShowDescription(const std::string &name) override
    {
        TfrmMainWindow *main = frmMainWindow;
        auto *desc = new TfrmFunctionDesc(main, nullptr, name, main);
        desc->show();
    }
    // The list it is given holds bare names: the window builds its own entries from the index.
    void ShowLookup(const std::vector<std::string> &, const std::string &word, int) override
    {
        TfrmMainWindow *main = frmMainWindow;
        TfrmLibraryLookup lookup(main, main);
        lookup.Populate(word);
        options_shell().ExecModal(lookup);
    }
    int ShowTipOfTheDay(int index) override
    {
        std::string reason;
        std::optional<std::vector<TTip>> tips = load_tips_file(tips_file_name(), reason);
        if (!tips)
            throw xFileOpen(kMsgNoTip, reason.c_str(), KX_HERE);
        TfrmTips dialog(std::move(*tips), index, open_tip_link, QApplication::activeWindow());
        dialog.exec();
        return dialog.Index();
    }
};

DesktopOpener g_desktop_opener;
TDocumentOpener *g_opener = &g_desktop_opener;
ProgramHelpWindows g_program_windows;
THelpWindows *g_help_windows = &g_program_windows;

} // namespace

TDocumentOpener &document_opener() { return *g_opener; }
void set_document_opener(TDocumentOpener *opener)
{
    g_opener = opener ? opener : &g_desktop_opener;
}

THelpWindows &help_windows() { return *g_help_windows; }
void set_help_windows(THelpWindows *windows)
{
    g_help_windows = windows ? windows : &g_program_windows;
}
