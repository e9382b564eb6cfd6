// frmKXLibraryLookup: `TfrmLibraryLookup`, "Library Function Lookup". Every function of the
// library function index (linker/LB_CAT) twice: a flat list of entries ("name in library"),
// sorted without regard to case, and a tree of library files with their functions. Typing
// selects the closest entry and its tree node; OK or a double click on an entry opens the
// function's description (frmKXFunctionDesc), which closes this window. Made by the main
// window's Function Lookup and by the description window's Browse button. GUI thread only.
#pragma once

#include <QDialog>
#include <QPointer>

#include <map>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;
class TfrmFunctionDesc;
class TfrmMainWindow;

// The index of the entry to select for the typed text: a binary search over the entries
// (sorted without regard to case) that, when the text falls between two neighbours, takes the
// one sharing the longer prefix with it (the earlier on a tie); -1 for no entries.
int SearchNames(const std::string &typed, const std::vector<std::string> &entries);

class TfrmLibraryLookup : public QDialog {
    Q_OBJECT
public:
    explicit TfrmLibraryLookup(TfrmMainWindow *main, QWidget *owner = nullptr);
    ~TfrmLibraryLookup() override;

    // Rebuilds the tree and the entries from the library index; the sorted entry texts.
    std::vector<std::string> FillTree();
    // Fills the tree and the list, puts the word into the name field and selects its entry.
    void Populate(const std::string &word);
    // Index of the entry to select in the list for the text; -1 for an empty list.
    int SearchNames(const std::string &typed) const;

    QLineEdit *FunctionName = nullptr;
    QListWidget *Names = nullptr;
    QTreeWidget *TreeView = nullptr;
    QPushButton *btnOk = nullptr, *btnHelp = nullptr, *btnCancel = nullptr;
    QMenu *TreeMenu = nullptr;

    // OK, and a double click on an entry.
    void NamesDblClick();
    void ExpandTree();
    void CollapseTree();
    // The description window opened last (null when none, or closed since).
    TfrmFunctionDesc *FunctionDesc() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // One function of the index: its tree node and its entry.
    void AddFunctionToTree(const std::string &name, const std::string &file,
                           std::map<std::string, QTreeWidgetItem *> &roots);
    void FunctionNameChange();
    bool FunctionNameKeyDown(int key);
    void NamesClick();
    void TreeViewChange(QTreeWidgetItem *node);
    void TreeViewDblClick();
    std::vector<std::string> EntryTexts() const;

    TfrmMainWindow *m_main;
    QSplitter *m_splitter = nullptr;
    bool FFromList = false, FFromTree = false, FUserTyped = false;
    bool FListActive = false, FTreeActive = false, FFocusing = false;
    // Entry text and its tree node, in the order of the list once sorted.
    std::vector<std::pair<std::string, QTreeWidgetItem *>> FEntries;
    QPointer<TfrmFunctionDesc> m_desc;
};
