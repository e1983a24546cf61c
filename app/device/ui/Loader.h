#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

// The small modal window of a multi-stage operation of the instrument (the contourograph
// calibration, the circle-centre search): a title, a 0 to 100 bar, the current stage's text and
// a cancel button. It shows the progress reports handed to `onStatusProgress` (the device panel
// that opens it connects its setStatusProgressBar signal there) and closes itself half a second
// after the progress reaches exactly 100 (a timer: the GUI keeps running meanwhile), or at once
// when the operator cancels. It knows nothing of the panel that opens it.
class Loader : public QDialog
{
    Q_OBJECT

public:
    Loader(QWidget *parent, const QString &text);

    // The time the full bar stays on screen before the window closes.
    static constexpr int kCloseDelayMs = 500;

    QLabel *statusLabel = nullptr;
    QLabel *textLabel = nullptr;
    QPushButton *cancelButton = nullptr;
    QProgressBar *progressBar = nullptr;

    // Shows a progress report.
    void onStatusProgress(int status, const QString &statusName);

signals:
    void loaderCanceled();

private:
    void onCancel();

    bool m_closing = false;
};
