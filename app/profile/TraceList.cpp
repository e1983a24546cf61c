#include "profile/TraceList.h"

#include "core/Constants.h"
#include "core/ContourTrace.h"
#include "core/DisplayUnits.h"
#include "core/Logger.h"
#include "core/ProfileTrace.h"
#include "platform/Desktop.h"
#include "platform/DialogRunner.h"
#include "platform/Prompts.h"
#include "profile/ParamsDialog.h"
#include "profile/TestSensorWidget.h"
#include "profile/UniteTraceDialog.h"
#include "traceprocessing/ParameterEvaluation.h"
#include "traceprocessing/TraceJoining.h"
#include "ui_traceList.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QRegularExpression>
#include <QShortcut>

namespace {

const QString kAdditionalTraceName = QStringLiteral("Доп. трасса ");

bool isProfileKind(const AbstractTrace *trace)
{
    return trace && ::isProfileKind(trace->type);
}

bool isContourKind(const AbstractTrace *trace)
{
    return trace && (trace->type == CONTOUR || trace->type == CONTOURPROF);
}

} // namespace

TraceList::TraceList(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_traceList)
{
    ui->setupUi(this);
    QTreeWidget *tree = ui->tracesListTreeWidget;
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setFont(kMonospaceFont);
    QTreeWidget *params = ui->paramsListTreeWidget;
    params->setHeaderLabels(
        {QStringLiteral("Параметр"), QStringLiteral("Значение"), QStringLiteral("Ед. измерения")});
    params->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    params->setContextMenuPolicy(Qt::CustomContextMenu);

    setTraceInfoVisible(false);

    connect(tree, &QTreeWidget::customContextMenuRequested, this,
            &TraceList::tracesListMenuRequested);
    connect(tree, &QTreeWidget::itemSelectionChanged, this,
            &TraceList::tracesListItemSelectionChanged);
    connect(tree, &QTreeWidget::itemChanged, this, &TraceList::tracesListItemChanged);
    connect(params, &QTreeWidget::customContextMenuRequested, this,
            &TraceList::paramsListMenuRequested);
    connect(ui->filterComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &TraceList::onFilterChanged);

    updateSensorTestLayout();
}

TraceList::~TraceList()
{
    delete ui;
}

TestSensorWidget *TraceList::testSensorWidget() const
{
    return ui->testSensorWidget;
}

void TraceList::setTraceInfoVisible(bool visible)
{
    for (QWidget *widget : std::initializer_list<QWidget *> {
             ui->filterComboBox, ui->filterLabel, ui->speedLable, ui->speedValueLable,
             ui->traceLenghtLabel, ui->traceLengthValuLabel})
        widget->setVisible(visible);
    // In sensor-test mode the test panel takes the parameter table's place.
    ui->paramsListTreeWidget->setVisible(visible
                                         && !Settings::instance()->service.test_sensor_mode);
}

void TraceList::updateSensorTestLayout()
{
    const bool sensorTest = Settings::instance()->service.test_sensor_mode;
    ui->testSensorWidget->setVisible(sensorTest);
    ui->tracesListTreeWidget->setVisible(!sensorTest);
    // The test panel and the trace information are too wide side by side for the window's
    // bottom row: in the mode the information goes below the panel.
    ui->horizontalLayout->setDirection(sensorTest ? QBoxLayout::TopToBottom
                                                  : QBoxLayout::LeftToRight);
    // Out of the mode the table comes back with the trace information it belongs to.
    ui->paramsListTreeWidget->setVisible(!sensorTest && !ui->speedLable->isHidden());
}

int TraceList::traceItemId(const QTreeWidgetItem *item)
{
    if (!item)
        return -1;
    bool ok = false;
    const int id = item->data(0, Qt::UserRole).toInt(&ok);
    return ok ? id : -1;
}

QTreeWidgetItem *TraceList::createTraceItem(AbstractTrace *trace, const QString &name, bool checked,
                                            bool withDate)
{
    auto *item = new QTreeWidgetItem;
    item->setText(0, name);
    item->setTextAlignment(0, Qt::AlignLeft | Qt::AlignVCenter);
    item->setData(0, Qt::UserRole, trace->id);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    if (withDate) {
        item->setText(
            1, trace->creationDate.toLocalTime().toString(QStringLiteral("dd-MM-yyyy HH:mm:ss")));
    }
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

void TraceList::addMainTrace(AbstractTrace *trace, const QString &readingName)
{
    if (!trace)
        return;
    const bool reading = !readingName.isEmpty();
    const QString name = reading ? readingName : QFileInfo(trace->filePath()).completeBaseName();
    ui->tracesListTreeWidget->addTopLevelItem(createTraceItem(trace, name, true, !reading));
    traces.insert(trace->id, trace);
    logger.log(INFO, "End of adding new trace");
}

void TraceList::refreshTraceItem(AbstractTrace *trace)
{
    QTreeWidgetItem *item = trace ? itemForTrace(trace->id) : nullptr;
    if (!item)
        return;
    const QSignalBlocker blocker(ui->tracesListTreeWidget);
    if (!item->parent())
        item->setText(0, QFileInfo(trace->filePath()).completeBaseName());
    item->setText(
        1, trace->creationDate.toLocalTime().toString(QStringLiteral("dd-MM-yyyy HH:mm:ss")));
}

int TraceList::nextAdditionalNumber(QTreeWidgetItem *parent)
{
    // The largest number given under the entry so far (numbers are never given twice).
    constexpr int kLargestNumberRole = Qt::UserRole + 1;
    const int next = parent->data(0, kLargestNumberRole).toInt() + 1;
    parent->setData(0, kLargestNumberRole, next);
    return next;
}

ProfileTrace *TraceList::additionalTraceParent() const
{
    QTreeWidget *tree = ui->tracesListTreeWidget;
    if (tree->topLevelItemCount() == 0)
        return nullptr;
    auto *main = dynamic_cast<ProfileTrace *>(
        traces.value(traceItemId(tree->topLevelItem(tree->topLevelItemCount() - 1))));
    return main && main->type == PROFILE ? main : nullptr;
}

void TraceList::addAdditionalTrace(AbstractTrace *trace, bool fromFile)
{
    if (!trace)
        return;
    ProfileTrace *main = additionalTraceParent();
    if (!main) {
        // Only a profile trace takes additional traces: without one the trace is listed as a
        // main trace of its own, and its file stays its own.
        addMainTrace(trace);
        return;
    }
    QTreeWidget *tree = ui->tracesListTreeWidget;
    QTreeWidgetItem *parent = tree->topLevelItem(tree->topLevelItemCount() - 1);
    const QString name = kAdditionalTraceName + QString::number(nextAdditionalNumber(parent));
    {
        // The number kept on the parent entry is no change of a check box.
        const QSignalBlocker blocker(tree);
        parent->addChild(createTraceItem(trace, name, !fromFile));
    }
    traces.insert(trace->id, trace);
}

void TraceList::forgetTrace(int id)
{
    QTreeWidgetItem *item = itemForTrace(id);
    if (!item)
        return;
    QList<QTreeWidgetItem *> gone {item};
    for (int c = 0; c < item->childCount(); ++c)
        gone.append(item->child(c));
    for (QTreeWidgetItem *entry : qAsConst(gone)) {
        const int entryId = traceItemId(entry);
        if (selectedTrace && selectedTrace == traces.value(entryId))
            selectedTrace = nullptr;
        traces.remove(entryId);
    }
    if (QTreeWidgetItem *parent = item->parent())
        parent->removeChild(item);
    else
        ui->tracesListTreeWidget->takeTopLevelItem(
            ui->tracesListTreeWidget->indexOfTopLevelItem(item));
    delete item;
    if (!selectedTrace)
        setTraceInfoVisible(false);
}

void TraceList::tracesListItemChanged(QTreeWidgetItem *item, int column)
{
    const int id = traceItemId(item);
    if (column != 0 || id < 0)
        return;
    emit setGraphVisible(id, item->checkState(0) == Qt::Checked);
}

void TraceList::clearDeleteShortcuts()
{
    // A shortcut may be the one whose activation removes the entry: it goes through the event
    // loop, switched off at once.
    for (QShortcut *shortcut : qAsConst(deleteShortcuts)) {
        shortcut->setEnabled(false);
        shortcut->deleteLater();
    }
    deleteShortcuts.clear();
}

void TraceList::tracesListItemSelectionChanged()
{
    const QList<QTreeWidgetItem *> selected = ui->tracesListTreeWidget->selectedItems();
    if (selected.isEmpty()) {
        selectedTrace = nullptr;
        setTraceInfoVisible(false);
    }
    for (auto it = traces.cbegin(); it != traces.cend(); ++it)
        emit setGraphSelected(it.key(), false);
    clearDeleteShortcuts();

    for (QTreeWidgetItem *item : selected) {
        const int id = traceItemId(item);
        if (!traces.contains(id))
            continue;
        AbstractTrace *trace = traces.value(id);
        selectedTrace = trace;
        if (trace == readingTrace) {
            item->setSelected(false);
            return;
        }
        if (isProfileKind(trace))
            fillParameters(id);
        emit setGraphSelected(id, true);
        // The shortcut finds its entry by id when it fires, so it cannot act on an entry that
        // left by another road meanwhile.
        auto *shortcut = new QShortcut(QKeySequence(Qt::Key_Delete), this);
        connect(shortcut, &QShortcut::activated, this, [this, id] {
            if (QTreeWidgetItem *entry = itemForTrace(id))
                removeTraceItem(entry, id);
        });
        deleteShortcuts.append(shortcut);
    }
}

void TraceList::fillParameters(int id)
{
    auto *trace = dynamic_cast<ProfileTrace *>(traces.value(id));
    if (!trace)
        return;
    QTreeWidget *params = ui->paramsListTreeWidget;
    params->clear();
    setTraceInfoVisible(true);
    ui->speedValueLable->setText(QString::number(trace->speed, 'g', 6) + QStringLiteral(" мм/с"));

    {
        const QSignalBlocker blocker(ui->filterComboBox);
        ui->filterComboBox->setCurrentIndex(kFilterLengths.indexOf(trace->filterLength));
    }

    // The length in the display unit; another setting has no unit text and no factor.
    const int axisUnit = Settings::instance()->view.axis_unit;
    const QString suffix = unitSuffixOf(axisUnit);
    const QString unit = suffix.isEmpty() ? QString() : QLatin1Char(' ') + suffix;
    const double perMicrometre = unitsPerMicrometreOf(axisUnit);
    const double factor = perMicrometre > 0.0 ? perMicrometre : 1.0;

    const TData &data = *trace->processedData;
    if (data.size() < 2 || data.at(0).isEmpty() || data.at(1).isEmpty())
        return;
    ui->traceLengthValuLabel->setText(
        QString::number((data.at(0).last() - data.at(0).first()) * factor, 'g', 6) + unit);
    const PreferencesSettings &preferences = Settings::instance()->preferences;
    for (int i = 0; i < preferences.enabled_params_count; ++i) {
        const QString name = preferences.enabled_params.value(i);
        const QString value = trace->parameterResults.value(name);
        auto *row = new QTreeWidgetItem(params);
        row->setText(0, name);
        row->setTextAlignment(0, Qt::AlignCenter);
        row->setText(1, value);
        row->setText(2, parameterUnitText(name, value));
    }
}

void TraceList::fillSelectedParameters(const AbstractTrace *trace)
{
    if (trace && trace == selectedTrace && trace != readingTrace && isProfileKind(trace))
        fillParameters(trace->id);
}

void TraceList::refresh()
{
    if (Settings::instance()->service.test_sensor_mode) {
        if (auto *selected = dynamic_cast<ProfileTrace *>(selectedTrace))
            ui->testSensorWidget->measure(selected);
    }
    if (!traces.isEmpty())
        emit recalculateTrace();
    updateSensorTestLayout();
}

void TraceList::onFilterChanged(int index)
{
    auto *trace = dynamic_cast<ProfileTrace *>(selectedTrace);
    if (!trace || trace->type < PROFILE || index < 0 || index >= kFilterLengths.size())
        return;
    emit cutOffChosen(trace->id, kFilterLengths.at(index));
}

void TraceList::tracesListMenuRequested(QPoint pos)
{
    QTreeWidget *tree = ui->tracesListTreeWidget;
    QTreeWidgetItem *item = tree->itemAt(pos);
    const int id = traceItemId(item);
    if (!item || id < 0 || !traces.contains(id) || traces.value(id) == readingTrace)
        return;

    QMenu menu(this);
    QAction *deleteAction = menu.addAction(QStringLiteral("Удалить трассу"));
    QAction *showAction = menu.addAction(QStringLiteral("Перейти к файлу трассы"));

    bool contourOnly = true;
    for (const AbstractTrace *trace : qAsConst(traces))
        contourOnly = contourOnly && !isProfileKind(trace);

    const QList<ConsoleParams> consoles = Settings::instance()->consoles;
    QMap<QAction *, ConsoleParams> consoleActions;
    if (consoles.size() > 1 && contourOnly) {
        QMenu *submenu = menu.addMenu(QStringLiteral("Изменить консоль для трассы"));
        for (const ConsoleParams &console : consoles)
            consoleActions.insert(submenu->addAction(console.name), console);
    }
    QAction *joinAction = nullptr;
    if (traces.size() > 1 && contourOnly)
        joinAction = menu.addAction(QStringLiteral("Соединить трассы"));

    QAction *chosen = Prompts::instance()->execMenu(&menu, tree->viewport()->mapToGlobal(pos));
    if (!chosen)
        return;
    if (chosen == deleteAction)
        removeTraceItem(item, id);
    else if (chosen == showAction)
        showTraceFileInExplorer(id);
    else if (chosen == joinAction)
        joinTraces(id);
    else if (consoleActions.contains(chosen))
        setTraceConsole(id, consoleActions.value(chosen));
}

QTreeWidgetItem *TraceList::itemForTrace(int id) const
{
    QTreeWidget *tree = ui->tracesListTreeWidget;
    for (int i = tree->topLevelItemCount() - 1; i >= 0; --i) {
        QTreeWidgetItem *top = tree->topLevelItem(i);
        if (traceItemId(top) == id)
            return top;
        for (int c = 0; c < top->childCount(); ++c) {
            if (traceItemId(top->child(c)) == id)
                return top->child(c);
        }
    }
    return nullptr;
}

QString TraceList::entryName(const AbstractTrace *trace) const
{
    if (!trace)
        return QString();
    const QTreeWidgetItem *item = itemForTrace(trace->id);
    return item ? item->text(0) : trace->name();
}

void TraceList::removeTraceItem(QTreeWidgetItem *item, int id)
{
    if (!item)
        return;
    if (item->parent())
        removeAdditionalTrace(item, id);
    else
        removeMainTrace(item, id);
}

void TraceList::removeMainTrace(QTreeWidgetItem *item, int id)
{
    logger.log(INFO, "Remove main trace with ID " + std::to_string(id + 1));
    const QList<QTreeWidgetItem *> children = item->takeChildren();
    for (QTreeWidgetItem *child : children) {
        const int childId = traceItemId(child);
        if (traces.contains(childId)) {
            if (selectedTrace == traces.value(childId))
                selectedTrace = nullptr;
            traces.remove(childId);
            emit traceDeleted(childId);
        }
    }
    qDeleteAll(children);
    if (traces.contains(id)) {
        if (selectedTrace == traces.value(id))
            selectedTrace = nullptr;
        traces.remove(id);
        emit traceDeleted(id);
    }
    QTreeWidget *tree = ui->tracesListTreeWidget;
    delete tree->takeTopLevelItem(tree->indexOfTopLevelItem(item));
}

void TraceList::removeAdditionalTrace(QTreeWidgetItem *item, int id)
{
    logger.log(INFO, "Remove additional trace with ID " + std::to_string(id + 1));
    QTreeWidgetItem *parentItem = item->parent();
    if (!parentItem || !traces.contains(id))
        return;
    if (traces.contains(traceItemId(parentItem)))
        emit additionalTraceRemoved(id);
    if (selectedTrace == traces.value(id))
        selectedTrace = nullptr;
    traces.remove(id);
    emit traceDeleted(id);
    parentItem->removeChild(item);
    delete item;
}

void TraceList::removeTrace(AbstractTrace *trace)
{
    if (!trace)
        return;
    QTreeWidget *tree = ui->tracesListTreeWidget;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *top = tree->topLevelItem(i);
        if (traceItemId(top) == trace->id) {
            removeTraceItem(top, trace->id);
            return;
        }
    }
}

void TraceList::removeAllButReadingTrace()
{
    const QList<AbstractTrace *> listed = traces.values();
    for (AbstractTrace *trace : listed) {
        // A trace removed with its main trace earlier in this walk is no longer listed.
        if (trace != readingTrace && traces.contains(trace->id) && traces.value(trace->id) == trace)
            removeTrace(trace);
    }
}

void TraceList::joinTraces(int id)
{
    UniteTraceDialog dialog(traces, id, this);
    if (runDialog(&dialog) != QDialog::Accepted)
        return;
    AbstractTrace *left = traces.value(id);
    AbstractTrace *right = traces.value(dialog.chosenTraceId);
    if (!left || !right)
        return;
    UniteRefusal refusal = UniteRefusal::None;
    const TData joined = uniteTraces(*left, *right, dialog.overlap, &refusal);
    if (joined.size() < 2 || joined.at(0).isEmpty()) {
        // The sources stay: nothing would take their place. The join has logged its reason.
        Prompts::instance()->warning(
            this, QStringLiteral("Ошибка"),
            QStringLiteral("Трассы не удалось соединить: %1.").arg(uniteRefusalText(refusal)));
        return;
    }
    // The joined trace exists before its sources go, so no step leaves the user without them.
    emit createTrace(joined);
    removeTrace(left);
    removeTrace(right);
}

void TraceList::setTraceConsole(int id, const ConsoleParams &console)
{
    if (!dynamic_cast<ContourTrace *>(traces.value(id)))
        return;
    emit consoleChosen(id, console, false);
}

void TraceList::applyCurrentConsoleToCheckedTraces()
{
    const ConsoleParams console = Settings::instance()->current_console;
    QTreeWidget *tree = ui->tracesListTreeWidget;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *top = tree->topLevelItem(i);
        const int id = traceItemId(top);
        if (top->checkState(0) == Qt::Checked && isContourKind(traces.value(id)))
            emit consoleChosen(id, console, true);
    }
}

void TraceList::showTraceFileInExplorer(int id)
{
    AbstractTrace *trace = traces.value(id);
    if (!trace || !QFileInfo::exists(trace->filePath()))
        return;
    showInFileManager(this, QFileInfo(trace->filePath()).absoluteFilePath());
}

void TraceList::paramsListMenuRequested(QPoint pos)
{
    QTreeWidget *params = ui->paramsListTreeWidget;
    if (!params->itemAt(pos))
        return;
    QMenu menu(this);
    QAction *chooser = menu.addAction(QStringLiteral("Отображённые параметры"));
    if (Prompts::instance()->execMenu(&menu, params->viewport()->mapToGlobal(pos)) == chooser) {
        ParamsDialog dialog(this);
        dialog.setWindowFlags(dialog.windowFlags() & ~Qt::WindowContextHelpButtonHint);
        runDialog(&dialog);
    }
    refresh();
}

QVector<int> TraceList::uncheckProfileTraces()
{
    QVector<int> unchecked;
    const auto uncheck = [&unchecked](QTreeWidgetItem *item) {
        if (item->checkState(0) != Qt::Unchecked)
            unchecked << traceItemId(item);
        item->setCheckState(0, Qt::Unchecked);
    };
    QTreeWidget *tree = ui->tracesListTreeWidget;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *top = tree->topLevelItem(i);
        const AbstractTrace *trace = traces.value(traceItemId(top));
        if (trace && trace->type == PROFILE)
            uncheck(top);
        for (int c = 0; c < top->childCount(); ++c) {
            if (traces.contains(traceItemId(top->child(c))))
                uncheck(top->child(c));
        }
    }
    return unchecked;
}

void TraceList::checkTraces(const QVector<int> &ids)
{
    for (int id : ids) {
        if (QTreeWidgetItem *item = traces.contains(id) ? itemForTrace(id) : nullptr)
            item->setCheckState(0, Qt::Checked);
    }
}

void TraceList::selectTrace(int id)
{
    QTreeWidgetItem *item = itemForTrace(id);
    if (!item)
        return;
    QTreeWidget *tree = ui->tracesListTreeWidget;
    tree->clearSelection();
    tree->setCurrentItem(item);
    item->setSelected(true);
    tree->scrollToItem(item);
}

void TraceList::runSensorTest(AbstractTrace *trace)
{
    if (auto *profile = dynamic_cast<ProfileTrace *>(trace))
        ui->testSensorWidget->measure(profile);
}

QMap<QString, QString> TraceList::sensorTestReportData() const
{
    return ui->testSensorWidget->reportData();
}
