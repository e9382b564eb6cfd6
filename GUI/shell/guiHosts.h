// guiHosts: the Qt side of the host services that are not a form of their own: the
// application's message box, the file dialogs, and the guard every Qt entry point of the IDE
// runs its work in, so that no exception leaves a slot or an event handler (one that did would
// unwind the event loop and end the IDE). Also the small conversions the forms share.
#pragma once

#include <QColor>
#include <QString>

class QWidget;

#include <functional>
#include <source_location>
#include <string>

#include "core/guiInterface.h"
#include "settings/guiKXPreferences.h"

// Runs the work; an xErr is shown as its error box, anything else as the internal error naming
// the caller's source file and line. Never throws.
void guarded(const std::function<void()> &work,
             std::source_location where = std::source_location::current()) noexcept;

// Sets a flag for a scope and puts its old value back, also when the scope is left by a throw.
class TFlagScope {
public:
    explicit TFlagScope(bool &flag) : m_flag(flag), m_old(flag) { flag = true; }
    ~TFlagScope() { m_flag = m_old; }
    TFlagScope(const TFlagScope &) = delete;
    TFlagScope &operator=(const TFlagScope &) = delete;

private:
    bool &m_flag;
    bool m_old;
};

// QMessageBox, application-modal, with the buttons and icon of the flags.
class TQtMessageBoxHost : public TMessageBoxHost {
public:
    int ShowMessageBox(const std::string &text, const std::string &caption,
                       unsigned flags) override;
};

// QFileDialog for each request (the filter's "description|patterns|" pairs become Qt's).
FileDialogFactory qt_file_dialogs();
// "C Source (*.c)|*.c|Source Files (*.c;*.lib)|*.c;*.lib|" -> "C Source (*.c);;Source Files
// (*.c *.lib)".
QString qt_name_filters(const std::string &filter, int index, QString *selected);

// A settings colour (0x00BBGGRR, or a system colour with the top bit set) as a QColor.
QColor colour_of(TColor colour);

// A form's control made with its object name (and its caption), as the forms name them.
template <class Control>
Control *named_control(QWidget *parent, const char *name)
{
    auto *control = new Control(parent);
    control->setObjectName(name);
    return control;
}
template <class Control>
Control *named_control(QWidget *parent, const char *name, const char *caption)
{
    auto *control = new Control(QString::fromUtf8(caption), parent);
    control->setObjectName(name);
    return control;
}

// File names are bytes; Qt shows them in the locale's encoding.
QString qpath(const std::string &path);
std::string spath(const QString &path);
