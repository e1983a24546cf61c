#pragma once

#include "measurements/DxfReader.h"

#include <QDialog>
#include <QFuture>

#include <atomic>
#include <functional>
#include <memory>

class QIODevice;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

// What an import gives: the read, and whether the operator cancelled it (the read is then of no
// use, whatever it holds).
struct DxfImportResult
{
    DxfReadResult read;
    bool cancelled = false;
};

// Reads a DXF drawing from the device on a thread of the global thread pool, so that a large
// drawing does not stop the program. A read that is not over at once gets a modal window with
// its progress and an "Отмена" button (run through runDialog, keyboard jogging blocked); the
// program behind it keeps painting and answering. A cancel stops the read within a few thousand
// group codes. Returns once the worker has ended; the device is not used afterwards.
//
//     QFile file(path);
//     if (!openChosenFile(parent, file))
//         return;
//     const DxfImportResult imported = importDxf(parent, &file, factor, file.fileName());
//     if (imported.cancelled)
//         return;
DxfImportResult importDxf(QWidget *parent, QIODevice *device, double unitFactor,
                          const QString &shownName);

// The reader the imports run on the worker: readDxf, unless a test puts in one it can hold
// (null puts readDxf back).
using DxfReadFunction
    = std::function<DxfReadResult(QIODevice *device, double unitFactor, const DxfReadProgress &)>;
void setDxfReadFunction(DxfReadFunction read);

// The window of a long piece of work on a worker: what it does, its progress and "Отмена".
class WorkProgressWindow : public QDialog
{
    Q_OBJECT

public:
    WorkProgressWindow(QWidget *parent, const QString &title, const QString &text);

    // done of total.
    void setProgress(qint64 done, qint64 total);

    QProgressBar *progressBar() const { return m_bar; }
    QPushButton *cancelButton() const { return m_cancel; }

private:
    QLabel *m_label = nullptr;
    QProgressBar *m_bar = nullptr;
    QPushButton *m_cancel = nullptr;
};

// The progress window of an import.
class DxfImportProgress : public WorkProgressWindow
{
    Q_OBJECT

public:
    DxfImportProgress(QWidget *parent, const QString &shownName);

    static QString title();
};

// What a worker behind a progress window and the GUI thread share: the worker writes its
// progress, the GUI thread the cancel.
struct WorkerProgress
{
    std::atomic<qint64> done {0};
    std::atomic<qint64> total {0};
    std::atomic<bool> cancel {false};
};

// Waits for work started on a worker (future), which reports through state, with the program
// answering meanwhile. Work not over at once gets the window, run modal through runDialog
// (keyboard jogging blocked) and showing the progress, until the work ends or the operator
// cancels; "Отмена" or Escape sets state->cancel at once. After a cancel the call waits for the
// work to end for at most waitAfterCancelMs (without user input; a negative time: until it
// ends, as work that uses what the caller owns needs), so that work which stops at once has let
// go of what it holds. Returns whether the work was cancelled.
bool waitBehindProgress(WorkProgressWindow *window, const std::shared_ptr<WorkerProgress> &state,
                        QFuture<void> future, int waitAfterCancelMs);
