// frmKXLibraryLookup: the library function lookup window (see the header).
#include "frmKXLibraryLookup.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <sstream>

#include "AsciiCase.h"
#include "editor/frmKXFunctionDesc.h"
#include "linker/LB_CAT.h"
#include "options/guiOptionsHost.h"
#include "shell/guiHosts.h"

namespace {

constexpr uint32_t kLookupHelpContext = 16778240;

std::string lower(const std::string &text)
{
    std::string out = text;
    for (char &c : out)
        c = fold_ascii(c);
    return out;
}

// Characters two texts share from their first, without regard to case.
std::size_t common_prefix(const std::string &a, const std::string &b)
{
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && fold_ascii(a[n]) == fold_ascii(b[n]))
        ++n;
    return n;
}

bool less_folded(const std::string &a, const std::string &b) { return lower(a) < lower(b); }

// The file-name part of a path (either separator).
std::string file_part(const std::string &path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string upper(const std::string &text)
{
    std::string out = text;
    for (char &c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

} // namespace

int SearchNames(const std::string &typed, const std::vector<std::string> &entries)
{
    if (entries.empty())
        return -1;
    int lo = 0, hi = static_cast<int>(entries.size()) - 1, mid = hi / 2;
    while (lo != hi) {
        if (less_folded(typed, entries[static_cast<std::size_t>(mid)])) {
            hi = mid;
            const int d = hi - lo;
            mid = lo + d / 2;
            if (d == 1) {
                const std::size_t at_hi = common_prefix(typed, entries[static_cast<std::size_t>(hi)]);
                const std::size_t at_lo = common_prefix(typed, entries[static_cast<std::size_t>(lo)]);
                mid = at_hi > at_lo ? hi : lo;
                lo = hi;
            }
        } else {
            lo = mid;
            mid = hi - (hi - lo) / 2;
        }
    }
    return mid;
}

TfrmLibraryLookup::TfrmLibraryLookup(TfrmMainWindow *main, QWidget *owner)
    : QDialog(owner), m_main(main)
{
    setObjectName(QStringLiteral("frmLibraryLookup"));
    setWindowTitle(tr("Library Function Lookup"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setMinimumSize(273, 200);
    resize(420, 360);

    auto *label = named_control<QLabel>(this, "Label1", "Function Search:");
    FunctionName = named_control<QLineEdit>(this, "FunctionName");
    Names = named_control<QListWidget>(this, "Names");
    TreeView = named_control<QTreeWidget>(this, "TreeView");
    TreeView->setHeaderHidden(true);
    TreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView->setContextMenuPolicy(Qt::CustomContextMenu);
    TreeView->setExpandsOnDoubleClick(false);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("Splitter1"));
    m_splitter->addWidget(Names);
    m_splitter->addWidget(TreeView);

    TreeMenu = new QMenu(this);
    TreeMenu->setObjectName(QStringLiteral("TreeMenu"));
    QAction *expand = TreeMenu->addAction(tr("Expand All"));
    QAction *collapse = TreeMenu->addAction(tr("Collapse All"));
    connect(expand, &QAction::triggered, this, [this] { guarded([this] { ExpandTree(); }); });
    connect(collapse, &QAction::triggered, this, [this] { guarded([this] { CollapseTree(); }); });
    connect(TreeView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { TreeMenu->popup(TreeView->viewport()->mapToGlobal(at)); });

    btnOk = named_control<QPushButton>(this, "btnOk", "&OK");
    btnOk->setDefault(true);
    btnHelp = named_control<QPushButton>(this, "btnHelp", "&Help");
    btnCancel = named_control<QPushButton>(this, "btnCancel", "&Cancel");

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnHelp);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(FunctionName);
    layout->addWidget(m_splitter, 1);
    layout->addLayout(buttons);

    FunctionName->installEventFilter(this);
    Names->installEventFilter(this);
    TreeView->installEventFilter(this);
    connect(FunctionName, &QLineEdit::textChanged, this,
            [this] { guarded([this] { FunctionNameChange(); }); });
    connect(Names, &QListWidget::itemClicked, this, [this] { guarded([this] { NamesClick(); }); });
    connect(Names, &QListWidget::itemDoubleClicked, this,
            [this] { guarded([this] { NamesDblClick(); }); });
    connect(TreeView, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *node) { guarded([this, node] { TreeViewChange(node); }); });
    connect(TreeView, &QTreeWidget::itemClicked, this, [this] { FUserTyped = false; });
    connect(TreeView, &QTreeWidget::itemDoubleClicked, this,
            [this] { guarded([this] { TreeViewDblClick(); }); });
    connect(btnOk, &QPushButton::clicked, this, [this] { guarded([this] { NamesDblClick(); }); });
    connect(btnHelp, &QPushButton::clicked, this,
            [this] { guarded([this] { options_shell().ShowHelpContext(this, kLookupHelpContext); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmLibraryLookup::~TfrmLibraryLookup()
{
    // The description window this one opened comes back to the front.
    if (m_desc) {
        m_desc->show();
        m_desc->raise();
    }
}

TfrmFunctionDesc *TfrmLibraryLookup::FunctionDesc() const { return m_desc.data(); }

void TfrmLibraryLookup::AddFunctionToTree(const std::string &name, const std::string &file,
                                          std::map<std::string, QTreeWidgetItem *> &roots)
{
    // The entry is built whole: a long library path is never cut.
    std::string text = name + " in " + file;
    std::vector<std::string> words;
    {
        std::istringstream scan(text);
        std::string word;
        while (words.size() < 3 && scan >> word)
            words.push_back(word);
    }
    if (words.size() == 2) {
        text = "? " + text;
        words.insert(words.begin(), "?");
    }
    if (words.size() < 3)
        return;
    const std::size_t third = text.find(words[2], words[0].size());
    const std::string library = upper(file_part(text.substr(third)));
    QTreeWidgetItem *&root = roots[library];
    if (!root) {
        root = new QTreeWidgetItem(TreeView, QStringList{QString::fromLocal8Bit(library.c_str())});
    }
    auto *node = new QTreeWidgetItem(root, QStringList{QString::fromLocal8Bit(words[0].c_str())});
    node->setData(0, Qt::UserRole, QString::fromLocal8Bit(text.c_str()));
    FEntries.emplace_back(text, node);
}

std::vector<std::string> TfrmLibraryLookup::FillTree()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TreeView->setSortingEnabled(false);
    TreeView->clear();
    FEntries.clear();
    std::map<std::string, QTreeWidgetItem *> roots;
    lib_for_each_function([&](const std::string &name, const std::string &library) {
        AddFunctionToTree(name, library, roots);
    });
    TreeView->sortItems(0, Qt::AscendingOrder);
    TreeView->collapseAll();
    if (TreeView->topLevelItemCount() > 0) {
        TFlagScope typing(FUserTyped); // selecting it is no choice of the user's
        TreeView->setCurrentItem(TreeView->topLevelItem(0));
    }
    std::stable_sort(FEntries.begin(), FEntries.end(),
                     [](const auto &a, const auto &b) { return less_folded(a.first, b.first); });
    QApplication::restoreOverrideCursor();
    return EntryTexts();
}

std::vector<std::string> TfrmLibraryLookup::EntryTexts() const
{
    std::vector<std::string> texts;
    texts.reserve(FEntries.size());
    for (const auto &entry : FEntries)
        texts.push_back(entry.first);
    return texts;
}

int TfrmLibraryLookup::SearchNames(const std::string &typed) const
{
    return ::SearchNames(typed, EntryTexts());
}

void TfrmLibraryLookup::Populate(const std::string &word)
{
    Names->clear();
    for (const std::string &text : FillTree())
        Names->addItem(QString::fromLocal8Bit(text.c_str()));
    if (word.empty())
        return;
    FUserTyped = true;
    FunctionName->setText(QString::fromLocal8Bit(word.c_str()));
    FUserTyped = false;
}

void TfrmLibraryLookup::FunctionNameChange()
{
    if (!FUserTyped)
        return;
    const std::string text = FunctionName->text().toLocal8Bit().toStdString();
    if (!text.empty() && !FFromList) {
        const int at = SearchNames(text);
        if (at >= 0) {
            Names->setCurrentRow(at);
            const int rows = std::max(1, Names->viewport()->height() /
                                             std::max(1, Names->sizeHintForRow(0)));
            const int top = std::max(0, at - rows / 4);
            Names->scrollToItem(Names->item(top), QAbstractItemView::PositionAtTop);
            if (isVisible()) {
                TFlagScope focusing(FFocusing);
                FunctionName->setFocus();
            }
        }
    }
    if (!FFromTree) {
        const int row = Names->currentRow();
        if (row >= 0 && row < static_cast<int>(FEntries.size())) {
            TFlagScope from_list(FFromList);
            TreeView->setCurrentItem(FEntries[static_cast<std::size_t>(row)].second);
        }
    }
    if (FListActive && isVisible())
        Names->setFocus();
    FUserTyped = false;
}

bool TfrmLibraryLookup::FunctionNameKeyDown(int key)
{
    FUserTyped = true;
    const int count = Names->count();
    int row = Names->currentRow();
    const int page = std::max(1, Names->viewport()->height() / std::max(1, Names->sizeHintForRow(0)));
    switch (key) {
    case Qt::Key_PageUp: row -= page; break;
    case Qt::Key_PageDown: row += page; break;
    case Qt::Key_End: row = count - 1; break;
    case Qt::Key_Home: row = 0; break;
    case Qt::Key_Up: row -= 1; break;
    case Qt::Key_Down: row += 1; break;
    case Qt::Key_Left:
    case Qt::Key_Right: break;
    default: return false;
    }
    if (count == 0)
        return true;
    row = std::clamp(row, 0, count - 1);
    {
        TFlagScope from_list(FFromList);
        Names->setCurrentRow(row);
        FunctionName->setText(Names->item(row)->text());
        FunctionName->selectAll();
    }
    return true; // these keys never move the caret of the name field
}

void TfrmLibraryLookup::NamesClick()
{
    FUserTyped = true;
    {
        TFlagScope from_list(FFromList);
        if (QListWidgetItem *item = Names->currentItem())
            FunctionName->setText(item->text());
    }
    if (!FListActive && isVisible()) {
        TFlagScope focusing(FFocusing);
        TreeView->setFocus();
    }
}

void TfrmLibraryLookup::TreeViewChange(QTreeWidgetItem *node)
{
    if (!FUserTyped && node) {
        FUserTyped = true;
        TFlagScope from_tree(FFromTree);
        const QString text = node->data(0, Qt::UserRole).toString();
        if (text.isEmpty()) {
            FUserTyped = false;
        } else {
            FunctionName->setText(text);
        }
    }
    if (FTreeActive && isVisible())
        TreeView->setFocus();
}

void TfrmLibraryLookup::TreeViewDblClick()
{
    FUserTyped = false;
    QTreeWidgetItem *node = TreeView->currentItem();
    TreeViewChange(node);
    if (node && node->parent())
        NamesDblClick();
    else if (node)
        node->setExpanded(!node->isExpanded());
    FUserTyped = false;
}

void TfrmLibraryLookup::NamesDblClick()
{
    FUserTyped = false;
    if (FunctionName->text().isEmpty()) {
        if (QTreeWidgetItem *node = TreeView->currentItem())
            node->setExpanded(true);
        return;
    }
    QListWidgetItem *item = Names->currentItem();
    if (!item)
        return;
    const std::string text = item->text().toLocal8Bit().toStdString();
    const ZModEntry *entry = nullptr;
    if (!lib_find_function(text, &entry, nullptr) || !entry)
        return;
    auto *desc = new TfrmFunctionDesc(m_main, entry, text, parentWidget());
    m_desc = desc;
    desc->show(); // it closes this window
}

void TfrmLibraryLookup::ExpandTree()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TreeView->expandAll();
    if (QTreeWidgetItem *node = TreeView->currentItem())
        TreeView->scrollToItem(node, QAbstractItemView::PositionAtTop);
    QApplication::restoreOverrideCursor();
}

void TfrmLibraryLookup::CollapseTree()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TreeView->collapseAll();
    if (QTreeWidgetItem *node = TreeView->currentItem())
        TreeView->scrollToItem(node, QAbstractItemView::PositionAtTop);
    QApplication::restoreOverrideCursor();
}

void TfrmLibraryLookup::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FunctionName->setFocus();
}

bool TfrmLibraryLookup::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn && !FFocusing) {
        if (watched == FunctionName) {
            FListActive = FTreeActive = false;
        } else if (watched == Names) {
            FListActive = true;
        } else if (watched == TreeView) {
            FTreeActive = true;
        }
    }
    if (watched == FunctionName && event->type() == QEvent::KeyPress) {
        bool swallowed = false;
        guarded([&] { swallowed = FunctionNameKeyDown(static_cast<QKeyEvent *>(event)->key()); });
        if (swallowed)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}
