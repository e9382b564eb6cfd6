// frmKXSplash: `TfrmSplash`, the window shown while the IDE starts: a picture, a status line and
// a progress bar. While it exists it is the host services' splash, so status texts of the
// start-up land on its line instead of the status box.
#pragma once

#include <QWidget>

#include "core/guiInterface.h"

class QLabel;
class QProgressBar;

class TfrmSplash : public QWidget, public TSplashHost {
    Q_OBJECT
public:
    explicit TfrmSplash(QWidget *owner = nullptr);

    QLabel *lblSplash = nullptr;
    QProgressBar *pbSplash = nullptr;
    // The progress bar one step (33) further.
    void StepIt();

    bool IsVisible() const override { return isVisible(); }
    void Hide() override { hide(); }
    void SetText(const std::string &text) override;
    void Repaint() override { repaint(); }
};
