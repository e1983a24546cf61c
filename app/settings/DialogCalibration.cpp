#include "settings/DialogCalibration.h"

#include "contour/CalibrationToolsWidget.h"
#include "contour/ContourAnalisisWidget.h"
#include "platform/DialogRunner.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QScreen>
#include <QVBoxLayout>

#include <memory>

namespace {

// The window a calibration runs in: a contour window in calibration mode on the traces, whose
// calibration tools panel edits the values.
QWidget *createCalibrationWindow(QWidget *, const QVector<AbstractTrace *> &traces)
{
    auto *window = new ContourAnalisisWidget(nullptr, true);
    window->setTraces(traces);
    return window;
}

} // namespace

DialogCalibration::DialogCalibration(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Калибровка"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

void DialogCalibration::setWidget(QWidget *window)
{
    content = window;
    if (CalibrationToolsWidget *panel = tools())
        connect(panel, &CalibrationToolsWidget::closeDialogCalibration, this,
                [this] { QDialog::reject(); });
}

CalibrationToolsWidget *DialogCalibration::tools() const
{
    if (!content)
        return nullptr;
    return content->findChild<CalibrationToolsWidget *>(QStringLiteral("calibrationTools"));
}

void DialogCalibration::reject()
{
    CalibrationToolsWidget *panel = tools();
    if (!panel || panel->isSaved) {
        QDialog::reject();
        return;
    }
    QMessageBox question(this);
    question.setWindowTitle(QStringLiteral("Несохранённые изменения"));
    question.setText(QStringLiteral("Данные калибровки не сохранены"));
    question.setInformativeText(
        QStringLiteral("Вы хотите сохранить изменённые калибровочные данные?"));
    question.setStandardButtons(QMessageBox::Save | QMessageBox::Cancel);
    question.button(QMessageBox::Save)->setText(QStringLiteral("Сохранить"));
    question.button(QMessageBox::Cancel)->setText(QStringLiteral("Не сохранять"));
    question.setEscapeButton(QMessageBox::Cancel);
    // The dialog closes when the panel's save or discard has finished, not here.
    if (runDialog(&question) == QMessageBox::Save)
        panel->clickSave();
    else
        panel->clickDiscard();
}

void runCalibrationDialog(QWidget *parent, const QVector<AbstractTrace *> &traces,
                          const std::function<void()> &onSaved)
{
    auto dialog = std::make_unique<DialogCalibration>(parent);
    QScreen *screen = parent ? parent->screen() : nullptr;
    if (screen)
        dialog->resize(screen->availableGeometry().size());
    auto *layout = new QVBoxLayout;
    QWidget *window = createCalibrationWindow(dialog.get(), traces);
    layout->addWidget(window);
    dialog->setWidget(window);
    dialog->setLayout(layout);
    if (CalibrationToolsWidget *panel = dialog->tools())
        QObject::connect(panel, &CalibrationToolsWidget::setCurrentConsoleForAllTraces,
                         dialog.get(), [onSaved] {
                             if (onSaved)
                                 onSaved();
                         });
    runDialog(dialog.get());
}
