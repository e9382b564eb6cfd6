// frmKXTips: the tips file and the tip-of-the-day dialog.
#include "frmKXTips.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>

#include "RegularFile.h"
#include "settings/guiKXPreferences.h"
#include "guiHosts.h"
#include "guiStore.h"

namespace {

// A byte that no text file of ours holds: NUL and the control characters other than tab,
// line feed, carriage return and form feed.
bool is_binary_byte(unsigned char c)
{
    return c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f';
}

std::string trimmed(std::string_view line)
{
    std::size_t from = 0, to = line.size();
    while (from < to && (line[from] == ' ' || line[from] == '\t'))
        ++from;
    while (to > from && (line[to - 1] == ' ' || line[to - 1] == '\t' || line[to - 1] == '\r'))
        --to;
    return std::string(line.substr(from, to - from));
}

constexpr const char *kLinkNames[] = {"korvex", "vireon", "support"};

} // namespace

std::optional<std::vector<TTip>> parse_tips(std::string_view bytes, std::string &reason)
{
    if (std::any_of(bytes.begin(), bytes.end(),
                    [](char c) { return is_binary_byte(static_cast<unsigned char>(c)); })) {
        reason = "it is not a text file";
        return std::nullopt;
    }
    std::vector<TTip> tips;
    bool in_tip = false, any_tip = false;
    std::size_t at = 0;
    while (at <= bytes.size()) {
        const std::size_t end = std::min(bytes.find('\n', at), bytes.size());
        const std::string line = trimmed(bytes.substr(at, end - at));
        at = end + 1;
        if (line.empty()) {
            in_tip = false;
            continue;
        }
        if (!any_tip && line.front() == '#')
            continue;
        if (!in_tip) {
            tips.push_back({line, {}});
            in_tip = any_tip = true;
            continue;
        }
        std::string &text = tips.back().text;
        if (!text.empty())
            text += ' ';
        text += line;
    }
    if (tips.empty()) {
        reason = "it holds no tip";
        return std::nullopt;
    }
    return tips;
}

std::optional<std::vector<TTip>> load_tips_file(const std::string &path, std::string &reason)
{
    std::vector<uint8_t> bytes;
    std::string why;
    switch (read_regular_file(path, kTipsFileLimit, bytes)) {
    case RegularFileStatus::Read:
        break;
    case RegularFileStatus::NotOpened:
        why = "it is missing or cannot be read";
        break;
    case RegularFileStatus::NotRegular:
        why = "it is not an ordinary file";
        break;
    case RegularFileStatus::TooLarge:
        why = "it is larger than " + std::to_string(kTipsFileLimit / 1024) + " KB";
        break;
    case RegularFileStatus::ReadError:
        why = "it could not be read";
        break;
    }
    if (why.empty()) {
        const std::string_view text(reinterpret_cast<const char *>(bytes.data()), bytes.size());
        if (std::optional<std::vector<TTip>> tips = parse_tips(text, why))
            return tips;
    }
    reason = "the tips file \"" + path + "\" cannot be used: " + why + ".";
    return std::nullopt;
}

TfrmTips::TfrmTips(std::vector<TTip> tips, int index, LinkOpener open_link, QWidget *parent)
    : QDialog(parent), m_tips(std::move(tips)), m_open_link(std::move(open_link))
{
    setObjectName(QStringLiteral("frmTips"));
    setWindowTitle(tr("Tip of the Day"));
    auto *column = new QVBoxLayout(this);

    lblTitle = new QLabel(this);
    QFont title_font = lblTitle->font();
    title_font.setBold(true);
    title_font.setPointSize(11);
    lblTitle->setFont(title_font);
    lblTitle->setWordWrap(true);
    // Blue on the window colour, as the tips have always looked.
    lblTitle->setStyleSheet(QStringLiteral("color: #0000ff;"));
    column->addWidget(lblTitle);

    memTip = new QTextBrowser(this);
    memTip->setReadOnly(true);
    memTip->setOpenLinks(false);
    memTip->setMinimumSize(420, 140);
    column->addWidget(memTip, 1);

    lblLinks = new QLabel(this);
    lblLinks->setTextFormat(Qt::RichText);
    lblLinks->setText(
        tr("<a href=\"korvex\">Korvex home page</a> &middot; "
           "<a href=\"vireon\">Vireon home page</a> &middot; "
           "<a href=\"support\">Vireon Tech Support</a>"));
    lblLinks->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(lblLinks, &QLabel::linkActivated, this,
            [this](const QString &link) { guarded([&] { LinkActivated(link); }); });
    column->addWidget(lblLinks);

    auto *row = new QHBoxLayout();
    chkShowTips = new QCheckBox(tr("&Show tips at start-up"), this);
    chkShowTips->setChecked(IdePreferences().show_tips);
    // The setting is written at once: closing the dialog does nothing more.
    connect(chkShowTips, &QCheckBox::toggled, this, [](bool on) {
        guarded([&] {
            IdePreferences().show_tips = on;
            ide_store().SaveEnvironment();
        });
    });
    row->addWidget(chkShowTips, 1);
    btnPrevious = new QPushButton(tr("&Previous"), this);
    btnNext = new QPushButton(tr("&Next"), this);
    btnClose = new QPushButton(tr("&Close"), this);
    btnNext->setDefault(true);
    for (QPushButton *button : {btnPrevious, btnNext, btnClose})
        row->addWidget(button);
    connect(btnPrevious, &QPushButton::clicked, this, [this] { guarded([&] { Previous(); }); });
    connect(btnNext, &QPushButton::clicked, this, [this] { guarded([&] { Next(); }); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    column->addLayout(row);

    ShowTip(index);
}

void TfrmTips::ShowTip(int index)
{
    const int count = static_cast<int>(m_tips.size());
    if (count == 0)
        return;
    m_index = ((index % count) + count) % count;
    const TTip &tip = m_tips[static_cast<std::size_t>(m_index)];
    lblTitle->setText(QString::fromUtf8(tip.title.c_str()));
    memTip->setPlainText(QString::fromUtf8(tip.text.c_str()));
}

void TfrmTips::LinkActivated(const QString &link)
{
    if (!m_open_link)
        return;
    const std::string name = link.toStdString();
    for (std::size_t i = 0; i < std::size(kLinkNames); ++i)
        if (name == kLinkNames[i])
            m_open_link(static_cast<Link>(i));
}
