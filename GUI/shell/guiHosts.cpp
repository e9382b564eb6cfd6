// guiHosts: message box, file dialogs and the slot guard on Qt.
#include "guiHosts.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPalette>
#include <QStringList>
#include <QWidget>

#include <exception>
#include <iostream>

void guarded(const std::function<void()> &work, std::source_location where) noexcept
{
    try {
        try {
            work();
        } catch (xErr &e) {
            e.ShowError();
        } catch (const std::exception &e) {
            std::cerr << "kxw: " << where.file_name() << ":" << where.line() << ": " << e.what()
                      << '\n';
            xInternal(where.file_name(), where.line()).ShowError();
        } catch (...) {
            xInternal(where.file_name(), where.line()).ShowError();
        }
    } catch (...) {
        // Showing the error failed too: nothing is left to tell it with.
        std::cerr << "kxw: an error could not be shown (" << where.file_name() << ":"
                  << where.line() << ")\n";
    }
}

int TQtMessageBoxHost::ShowMessageBox(const std::string &text, const std::string &caption,
                                      unsigned flags)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(QString::fromLocal8Bit(caption.c_str()));
    box.setText(QString::fromLocal8Bit(text.c_str()));
    switch (flags & kMbIconMask) {
    case kMbIconError:
        box.setIcon(QMessageBox::Critical);
        break;
    case kMbIconQuestion:
        box.setIcon(QMessageBox::Question);
        break;
    case kMbIconWarning:
        box.setIcon(QMessageBox::Warning);
        break;
    case kMbIconInformation:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    switch (flags & kMbButtonsMask) {
    case kMbOkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case kMbYesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case kMbYesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    if (flags & kMbDefButton2) {
        switch (flags & kMbButtonsMask) {
        case kMbOkCancel:
            box.setDefaultButton(QMessageBox::Cancel);
            break;
        case kMbYesNoCancel:
        case kMbYesNo:
            box.setDefaultButton(QMessageBox::No);
            break;
        default:
            break;
        }
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return kIdOk;
    case QMessageBox::Yes:
        return kIdYes;
    case QMessageBox::No:
        return kIdNo;
    default:
        return (flags & kMbButtonsMask) == kMbYesNo ? kIdNo : kIdCancel;
    }
}

QString qt_name_filters(const std::string &filter, int index, QString *selected)
{
    const QStringList parts = QString::fromLocal8Bit(filter.c_str()).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i].trimmed();
        const int paren = name.indexOf('(');
        if (paren > 0)
            name = name.left(paren).trimmed();
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        filters << QStringLiteral("%1 (%2)").arg(name, patterns.trimmed());
    }
    if (selected && index >= 1 && index <= filters.size())
        *selected = filters[index - 1];
    return filters.join(QStringLiteral(";;"));
}

namespace {

class TQtFileDialog : public TFileDialog {
public:
    explicit TQtFileDialog(const FileDialogRequest &request) : m_request(request) {}
    bool Execute() override
    {
        QFileDialog dialog(QApplication::activeWindow(), QString::fromLocal8Bit(
                                                             m_request.title.c_str()));
        dialog.setAcceptMode(m_request.kind == FileDialogRequest::Kind::Save
                                 ? QFileDialog::AcceptSave
                                 : QFileDialog::AcceptOpen);
        if (m_request.kind == FileDialogRequest::Kind::Open)
            dialog.setFileMode(m_request.multi_select ? QFileDialog::ExistingFiles
                                                      : QFileDialog::ExistingFile);
        else
            dialog.setFileMode(QFileDialog::AnyFile);
        if (!m_request.directory.empty())
            dialog.setDirectory(qpath(m_request.directory));
        if (!m_request.file_name.empty())
            dialog.selectFile(qpath(m_request.file_name));
        QString selected;
        const QString filters = qt_name_filters(m_request.filter, m_request.filter_index,
                                                &selected);
        if (!filters.isEmpty()) {
            dialog.setNameFilters(filters.split(QStringLiteral(";;")));
            if (!selected.isEmpty())
                dialog.selectNameFilter(selected);
        }
        if (dialog.exec() != QDialog::Accepted)
            return false;
        m_chosen.clear();
        for (const QString &f : dialog.selectedFiles())
            m_chosen.push_back(spath(f));
        return !m_chosen.empty();
    }
    std::string FileName() const override { return m_chosen.empty() ? "" : m_chosen.front(); }
    std::vector<std::string> FileNames() const override { return m_chosen; }

private:
    FileDialogRequest m_request;
    std::vector<std::string> m_chosen;
};

} // namespace

FileDialogFactory qt_file_dialogs()
{
    return [](const FileDialogRequest &request) {
        return std::make_unique<TQtFileDialog>(request);
    };
}

QColor colour_of(TColor colour)
{
    if (colour & 0x80000000u) {
        const QPalette palette = QApplication::palette();
        return (colour & 0xFFu) == 0x0C ? palette.color(QPalette::Dark)
                                        : palette.color(QPalette::Window);
    }
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

QString qpath(const std::string &path) { return QFile::decodeName(path.c_str()); }
std::string spath(const QString &path) { return QFile::encodeName(path).toStdString(); }
