// frmKXTips: the tip of the day. `TfrmTips` shows one tip at a time from the tips file
// "Tips.dat" (our own format, below) with Next and Previous, a check box that writes the
// "Show Tips" setting at once, and a line of links (the two home pages and the support page)
// that open through the desktop. The program's help windows (guiHelpHost) load the file and run
// the dialog; the main window shows it from the Help menu and at start-up.
//
// "Tips.dat": text; lines starting with "#" before the first tip are comments; the tips are
// paragraphs parted by one or more empty lines; a paragraph's first line is its title, the
// lines after it its text (joined with blanks).
#pragma once

#include <QDialog>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QTextBrowser;

struct TTip {
    std::string title;
    std::string text;
};

// The largest tips file read: a file past it is refused, not read.
inline constexpr std::size_t kTipsFileLimit = 1 << 20;

// The tips of the file's text; nothing (reason set) when it holds no tip or is not text.
[[nodiscard]] std::optional<std::vector<TTip>> parse_tips(std::string_view bytes,
                                                          std::string &reason);
// The tips of the file; nothing (reason set, naming the file) when it is missing, not an
// ordinary file, larger than the limit, or parse_tips refuses it.
[[nodiscard]] std::optional<std::vector<TTip>> load_tips_file(const std::string &path,
                                                              std::string &reason);

class TfrmTips : public QDialog {
    Q_OBJECT
public:
    // What a click on one of the links opens (a URL or a settings value's page).
    enum class Link { KorvexHome, VireonHome, Support };
    using LinkOpener = std::function<void(Link)>;

    // Shows the tip `index` (taken round the list) first.
    TfrmTips(std::vector<TTip> tips, int index, LinkOpener open_link, QWidget *parent = nullptr);

    // The tip on show, from 0.
    int Index() const { return m_index; }
    void ShowTip(int index);
    void Next() { ShowTip(m_index + 1); }
    void Previous() { ShowTip(m_index - 1); }

    QLabel *lblTitle = nullptr;
    QTextBrowser *memTip = nullptr;
    QLabel *lblLinks = nullptr;
    QCheckBox *chkShowTips = nullptr;
    QPushButton *btnPrevious = nullptr, *btnNext = nullptr, *btnClose = nullptr;

private:
    void LinkActivated(const QString &link);

    std::vector<TTip> m_tips;
    int m_index = 0;
    LinkOpener m_open_link;
};
