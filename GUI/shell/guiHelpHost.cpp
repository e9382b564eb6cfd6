// guiHelpHost: the program's own document opener and help windows.
#include "guiHelpHost.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include "core/guiExceptions.h"

namespace {

constexpr uint32_t kMsgNoLookupWindows = 7168; // "The function lookup windows are not ..."
constexpr uint32_t kMsgNoTips = 7169;          // "The tip of the day is not part of this build."

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

class MissingHelpWindows : public THelpWindows {
public:
    std::optional<std::string> DescriptionWord() override { return std::nullopt; }
    void ShowDescription(const std::string &) override { throw xErr(kMsgNoLookupWindows, KX_HERE); }
    void ShowLookup(const std::vector<std::string> &, const std::string &, int) override
    {
        throw xErr(kMsgNoLookupWindows, KX_HERE);
    }
    void ShowTipOfTheDay(int) override { throw xErr(kMsgNoTips, KX_HERE); }
};

DesktopOpener g_desktop_opener;
TDocumentOpener *g_opener = &g_desktop_opener;
MissingHelpWindows g_missing_windows;
THelpWindows *g_help_windows = &g_missing_windows;

} // namespace

TDocumentOpener &document_opener() { return *g_opener; }
void set_document_opener(TDocumentOpener *opener)
{
    g_opener = opener ? opener : &g_desktop_opener;
}

THelpWindows &help_windows() { return *g_help_windows; }
void set_help_windows(THelpWindows *windows)
{
    g_help_windows = windows ? windows : &g_missing_windows;
}
