#pragma once

#include "measurements/DxfReader.h"

#include <QDialog>

#include <functional>

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

// The progress window of an import.
class DxfImportProgress : public QDialog
{
    Q_OBJECT

public:
    DxfImportProgress(QWidget *parent, const QString &shownName);

    // done of total bytes read.
    void setProgress(qint64 done, qint64 total);

    QProgressBar *progressBar() const { return m_bar; }
    QPushButton *cancelButton() const { return m_cancel; }

    static QString title();

private:
    QLabel *m_label = nullptr;
    QProgressBar *m_bar = nullptr;
    QPushButton *m_cancel = nullptr;
};
