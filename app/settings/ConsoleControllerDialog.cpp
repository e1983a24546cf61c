#include "settings/ConsoleControllerDialog.h"

#include "contour/EditableList.h"
#include "core/AbstractTrace.h"
#include "core/Consoles.h"
#include "core/Settings.h"
#include "platform/Prompts.h"
#include "settings/DialogCalibration.h"
#include "ui_ConsoleControllerDialog.h"

#include <QAction>
#include <QKeyEvent>
#include <QVector>

namespace {

const QString kNoController = QStringLiteral("No name");
const QString kNoConsole = QStringLiteral("No console");

} // namespace

ConsoleControllerDialog::ConsoleControllerDialog(int mode, const QList<AbstractTrace *> &traces,
                                                 QWidget *parent)
    : QDialog(parent)
    , mode(mode)
    , ui(new Ui_ConsoleControllerDialog)
{
    ui->setupUi(this);
    for (const AbstractTrace *trace : traces) {
        if (trace)
            traceClones.append(trace->clone());
    }
    if (mode == CONSOLES_MODE) {
        calibrateAction = new QAction(QStringLiteral("Откалибровать"), this);
        connect(calibrateAction, &QAction::triggered, this,
                &ConsoleControllerDialog::calibrateSelectedConsole);
        ui->listWidget->additionalActions.append(calibrateAction);
        initConsolesMode();
    } else {
        initControllersMode();
    }
}

ConsoleControllerDialog::~ConsoleControllerDialog()
{
    qDeleteAll(traceClones);
    traceClones.clear();
    delete ui;
}

QListWidgetItem *ConsoleControllerDialog::addListItem(const QString &name)
{
    auto *item = new QListWidgetItem(name, ui->listWidget);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    item->setData(EditableList::kOriginRole, name);
    return item;
}

QVariant ConsoleControllerDialog::nameAtOpening(const QListWidgetItem *item)
{
    return item->data(EditableList::kOriginRole);
}

void ConsoleControllerDialog::initControllersMode()
{
    m_listedAtOpening = Settings::instance()->controllers;
    for (const QString &name : qAsConst(m_listedAtOpening))
        addListItem(name);
    connect(ui->addPushButton, &QPushButton::released, this,
            &ConsoleControllerDialog::addController);
    connect(this, &QDialog::accepted, this, &ConsoleControllerDialog::saveControllers);
}

void ConsoleControllerDialog::initConsolesMode()
{
    setWindowTitle(QStringLiteral("Консоли"));
    // New consoles come from the console chooser of a calibration.
    ui->addPushButton->hide();
    for (const ConsoleParams &console : qAsConst(Settings::instance()->consoles))
        addListItem(console.name);
    connect(this, &QDialog::accepted, this, &ConsoleControllerDialog::saveConsoles);
}

void ConsoleControllerDialog::addController()
{
    ui->listWidget->addEditableItem(QStringLiteral("Новый контролёр"));
}

void ConsoleControllerDialog::saveControllers()
{
    Settings *s = Settings::instance();
    {
        const auto locker = Settings::writeLocker();
        const QString current = s->current_controller_name;
        QString newCurrent = current;
        bool currentKept = false;
        QStringList names;
        for (int i = 0; i < ui->listWidget->count(); ++i) {
            QListWidgetItem *item = ui->listWidget->item(i);
            names.append(item->text());
            const QVariant opened = nameAtOpening(item);
            if (opened.isValid() && opened.toString() == current && !currentKept) {
                newCurrent = item->text();
                currentKept = true;
            }
        }
        s->controllers = names;
        // A removed current controller gives way to the first name left, or to none.
        const bool wasListed = m_listedAtOpening.contains(current);
        if (names.isEmpty())
            newCurrent = kNoController;
        else if (wasListed && !currentKept)
            newCurrent = names.first();
        s->current_controller_name = newCurrent;
    }
    s->save();
}

void ConsoleControllerDialog::saveConsoles()
{
    Settings *s = Settings::instance();
    {
        const auto locker = Settings::writeLocker();
        QList<ConsoleRow> rows;
        QString currentName = s->current_console.name;
        bool currentKept = false;
        for (int i = 0; i < ui->listWidget->count(); ++i) {
            QListWidgetItem *item = ui->listWidget->item(i);
            ConsoleRow row;
            row.name = item->text();
            const QVariant opened = nameAtOpening(item);
            row.known = opened.isValid();
            row.nameAtOpening = opened.toString();
            if (row.known && row.nameAtOpening == s->current_console.name && !currentKept) {
                currentName = row.name;
                currentKept = true;
            }
            rows.append(row);
        }
        const QList<ConsoleParams> consoles = rebuildConsoles(s->consoles, rows);
        s->consoles = consoles;
        s->current_console.name = consoles.isEmpty() ? kNoConsole : currentName;
    }
    s->save();
}

void ConsoleControllerDialog::calibrateSelectedConsole()
{
    const QList<QListWidgetItem *> selected = ui->listWidget->selectedItems();
    if (selected.isEmpty())
        return;
    if (traceClones.isEmpty()) {
        Prompts::instance()->warning(
            this, QStringLiteral("Ошибка"),
            QStringLiteral("Нет трассы для калибровки. Откройте или запишите хотя бы одну трассу"));
        return;
    }
    const QString name = selected.first()->text();
    {
        const auto locker = Settings::writeLocker();
        Settings *s = Settings::instance();
        if (selectConsoleByName(*s, name))
            copyConsoleToCalibration(*s);
        else
            s->current_console.name = name;
    }
    runCalibrationDialog(this, traceClones.toVector(),
                         [this] { emit setCurrentConsoleForAllTraces(); });
    // A console the calibration saved under a new name joins the list, so that OK keeps it.
    for (const ConsoleParams &console : qAsConst(Settings::instance()->consoles)) {
        bool listed = false;
        for (int i = 0; i < ui->listWidget->count() && !listed; ++i)
            listed = ui->listWidget->item(i)->text() == console.name;
        if (!listed)
            addListItem(console.name);
    }
}

void ConsoleControllerDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete) {
        ui->listWidget->takeCurrentItem();
        return;
    }
    QDialog::keyPressEvent(event);
}
