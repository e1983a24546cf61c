#pragma once

#include <QDialog>
#include <QVector>

#include <functional>

class AbstractTrace;
class CalibrationToolsWidget;

// "Калибровка": the modal window in which the operator calibrates the probe. It holds a window in
// calibration mode whose calibration tools panel (object "calibrationTools") edits the values.
// The dialog closes when the panel has saved or discarded; closing it (Escape, the close button)
// while the panel holds unsaved edits asks whether to save them, and every answer ends in the
// panel's save or discard. A save the operator declines in the console chooser leaves the dialog
// open with its edits.
class DialogCalibration : public QDialog
{
public:
    explicit DialogCalibration(QWidget *parent = nullptr);

    // Takes the window (not owned: the launcher puts it in the dialog's layout) and closes the
    // dialog, without the question, when the window's panel has finished.
    void setWidget(QWidget *window);
    // The panel of the content window; null without one.
    CalibrationToolsWidget *tools() const;

    void reject() override;

    QWidget *content = nullptr;
};

// Runs one calibration of the traces: a new calibration dialog over parent, the size of the
// available area of the parent's screen, holding a window in calibration mode that works on its
// own clones of the traces. onSaved runs each time the calibration is saved, while the dialog is
// still open. The dialog and its window are deleted before the function returns.
void runCalibrationDialog(QWidget *parent, const QVector<AbstractTrace *> &traces,
                          const std::function<void()> &onSaved);
