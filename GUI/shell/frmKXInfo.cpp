#include "frmKXInfo.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include <cstdio>

#include "core/CC_ADDR.h"
#include "driver/CC_FIOZ8.h"
#include "driver/CC_GO.h"
#include "guiHosts.h"
#include "core/guiInterface.h"
#include "settings/guiKXPreferences.h"

namespace {

constexpr uint32_t kMsgCodeBytes = 1000;  // "%lu bytes"
constexpr uint32_t kMsgDataBytes = 1001;  // "%lu bytes"
constexpr uint32_t kMsgLines = 1002;      // "%lu"
constexpr uint32_t kMsgSeconds = 1003;    // "%u seconds"
constexpr uint32_t kMsgSpeed = 1004;      // "%lu lines/minute"
constexpr uint32_t kMsgNoSpeed = 1010;    // "N/A"

std::string hex(const char *format, uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}
std::string logical(uint32_t value) { return hex("%04X", value); }
std::string physical(uint32_t value) { return hex("%05X", value); }

// Bytes from `low` to `high`, both included; an area whose high end lies below its low end
// holds nothing.
uint32_t extent(uint32_t low, uint32_t high) { return high >= low ? high - low + 1 : 0; }

} // namespace

TInfoTexts info_texts(const CompileStatistics &s, bool watch_expressions, bool separate_id)
{
    // Before any compile there is no area at all: every size is 0.
    const bool compiled = s.recorded;
    auto size = [compiled](uint32_t low, uint32_t high) { return compiled ? extent(low, high) : 0; };
    TInfoTexts t;
    const uint32_t root_size = size(s.root_code_base, s.root_code_top);
    t.rootBase = logical(s.root_code_base);
    t.rootTop = logical(s.root_code_top);
    t.rootSize = logical(root_size);
    const uint32_t xmem_base = addr_to_physical(s.xmem_code_base);
    const uint32_t xmem_top = addr_to_physical(s.xmem_code_top);
    const uint32_t xmem_size = size(xmem_base, xmem_top);
    t.xmemBase = physical(xmem_base);
    t.xmemTop = physical(xmem_top);
    t.xmemSize = physical(xmem_size);
    if (watch_expressions) {
        t.watchBase = logical(s.watch_code_base);
        t.watchTop = logical(s.watch_code_top);
        t.watchSize = logical(size(s.watch_code_base, s.watch_code_top));
    } else {
        t.watchBase = "  -------";
        t.watchTop = "  -------";
        t.watchSize = "  0000";
    }
    t.stackBase = logical(s.stack_base);
    t.stackTop = logical(s.stack_top);
    t.stackSize = logical(size(s.stack_base, s.stack_top));
    // Root data grows downwards: its base is the higher address.
    const uint32_t data_size = size(s.root_data_top, s.root_data_base);
    t.rootdataBase = logical(s.root_data_base);
    t.rootdataTop = logical(s.root_data_top);
    t.rootdataSize = logical(data_size);
    if (separate_id) {
        const uint32_t base = addr_to_physical(s.root_constants_base);
        const uint32_t top = addr_to_physical(s.root_constants_top);
        t.rootconstBase = physical(base);
        t.rootconstTop = physical(top);
        t.rootconstSize = physical(size(base, top));
    } else {
        t.rootconst_shown = false;
        t.rootconstBase = "Only in Separate I&D";
    }
    t.totalCode = GetResString(kMsgCodeBytes, static_cast<unsigned long>(xmem_size + root_size));
    t.totalData = GetResString(kMsgDataBytes, static_cast<unsigned long>(data_size));
    t.linesCompiled = GetResString(kMsgLines, static_cast<unsigned long>(s.lines_compiled));
    // The tick count wraps after 2^32 ms; the difference taken in 32 bits stays right.
    const uint32_t elapsed = s.end_tick - s.start_tick;
    t.compileTime = GetResString(kMsgSeconds, static_cast<unsigned>(elapsed / 1000));
    if (elapsed == 0) {
        t.compileSpeed = GetResString(kMsgNoSpeed);
    } else {
        const uint64_t per_minute = uint64_t{s.lines_compiled} * 60000u / elapsed;
        t.compileSpeed = GetResString(kMsgSpeed, static_cast<unsigned long>(per_minute));
    }
    t.boardID = s.board_id ? hex("0x%04X", s.board_id) : "compile to detect";
    return t;
}

TfrmInfo::TfrmInfo(QWidget *owner) : QDialog(owner)
{
    setObjectName("frmInfo");
    setWindowTitle("Information");
    auto *grid = new QGridLayout(this);
    auto value = [this](const char *name) {
        QLabel *label = named_control<QLabel>(this, name);
        // Four-digit values line up on the right with five-digit physical addresses.
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setTextFormat(Qt::PlainText);
        return label;
    };
    int row = 0;
    grid->addWidget(new QLabel("Base", this), row, 1, Qt::AlignRight);
    grid->addWidget(new QLabel("Top", this), row, 2, Qt::AlignRight);
    grid->addWidget(new QLabel("Size", this), row, 3, Qt::AlignRight);
    auto area = [&](const char *caption, QLabel *&base, QLabel *&top, QLabel *&size,
                    const char *base_name, const char *top_name, const char *size_name) {
        ++row;
        grid->addWidget(new QLabel(caption, this), row, 0);
        base = value(base_name);
        top = value(top_name);
        size = value(size_name);
        grid->addWidget(base, row, 1);
        grid->addWidget(top, row, 2);
        grid->addWidget(size, row, 3);
    };
    area("Root code:", rootBase, rootTop, rootSize, "rootBase", "rootTop", "rootSize");
    area("Watch code:", watchBase, watchTop, watchSize, "watchBase", "watchTop", "watchSize");
    area("Stack:", stackBase, stackTop, stackSize, "stackBase", "stackTop", "stackSize");
    area("Root data:", rootdataBase, rootdataTop, rootdataSize, "rootdataBase", "rootdataTop",
         "rootdataSize");
    area("Root constants:", rootconstBase, rootconstTop, rootconstSize, "rootconstBase",
         "rootconstTop", "rootconstSize");
    area("XMEM code:", xmemBase, xmemTop, xmemSize, "xmemBase", "xmemTop", "xmemSize");
    auto total = [&](const char *caption, QLabel *&label, const char *name) {
        ++row;
        grid->addWidget(new QLabel(caption, this), row, 0);
        label = value(name);
        grid->addWidget(label, row, 1, 1, 3);
    };
    total("Total code size:", totalCode, "totalCode");
    total("Total data size:", totalData, "totalData");
    total("Lines compiled:", linesCompiled, "linesCompiled");
    total("Compile time:", compileTime, "compileTime");
    total("Compile speed:", compileSpeed, "compileSpeed");
    total("Board ID:", boardID, "boardID");
    btnOK = named_control<QPushButton>(this, "btnOK", "&OK");
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    grid->addWidget(btnOK, ++row, 3);
}

void TfrmInfo::FormShow()
{
    const TInfoTexts t = info_texts(compile_statistics(),
                                    IdePreferences().enable_watch_expressions,
                                    compiler_options().separate_id != 0);
    const std::pair<QLabel *, const std::string *> labels[] = {
        {rootBase, &t.rootBase},           {rootTop, &t.rootTop},
        {rootSize, &t.rootSize},           {watchBase, &t.watchBase},
        {watchTop, &t.watchTop},           {watchSize, &t.watchSize},
        {stackBase, &t.stackBase},         {stackTop, &t.stackTop},
        {stackSize, &t.stackSize},         {rootdataBase, &t.rootdataBase},
        {rootdataTop, &t.rootdataTop},     {rootdataSize, &t.rootdataSize},
        {rootconstBase, &t.rootconstBase}, {rootconstTop, &t.rootconstTop},
        {rootconstSize, &t.rootconstSize}, {xmemBase, &t.xmemBase},
        {xmemTop, &t.xmemTop},             {xmemSize, &t.xmemSize},
        {totalCode, &t.totalCode},         {totalData, &t.totalData},
        {linesCompiled, &t.linesCompiled}, {compileTime, &t.compileTime},
        {compileSpeed, &t.compileSpeed},   {boardID, &t.boardID}};
    for (const auto &[label, text] : labels)
        label->setText(QString::fromStdString(*text));
    rootconstTop->setVisible(t.rootconst_shown);
    rootconstSize->setVisible(t.rootconst_shown);
}

void TfrmInfo::showEvent(QShowEvent *event)
{
    guarded([&] { FormShow(); });
    QDialog::showEvent(event);
}
