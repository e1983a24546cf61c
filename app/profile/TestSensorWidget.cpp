#include "profile/TestSensorWidget.h"

#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "platform/Prompts.h"
#include "traceprocessing/ParameterEvaluation.h"
#include "ui_testSensorWidget.h"

#include <QStyle>
#include <cfloat>
#include <cmath>

namespace {

const double kReferences[] = {4.19, 1.08, 0.297, 0.07, 0.016, 0.0};

enum Column { ReferenceColumn = 0, MeasuredColumn = 1, PassedColumn = 2 };

double toleranceOf(double reference)
{
    return reference != 0.0 ? 0.05 * reference + 0.002 : 0.012;
}

} // namespace

TestSensorWidget::TestSensorWidget(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_testSensorWidget)
{
    ui->setupUi(this);
    fillReferenceTable();
    // Connected after the stored number is shown, so showing it writes nothing.
    connect(ui->sensorNumberSpinBox, QOverload<int>::of(&QSpinBox::valueChanged), this,
            [this](int value) { onSensorNumberChanged(value); });
}

TestSensorWidget::~TestSensorWidget()
{
    delete ui;
}

void TestSensorWidget::onSensorNumberChanged(int value)
{
    Settings::modify([value](Settings &s) { s.service.sensor_number = value; });
}

void TestSensorWidget::fillReferenceTable()
{
    QTreeWidget *table = ui->raStandardTreeWidget;
    table->setHeaderLabels({QStringLiteral("Эталон"), QStringLiteral("Измеренное значение"),
                            QStringLiteral("Вход в допуск")});
    table->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->sensorNumberSpinBox->setValue(Settings::instance()->service.sensor_number);
    for (double reference : kReferences) {
        auto *item = new QTreeWidgetItem(table);
        item->setText(ReferenceColumn, QString::number(reference, 'g', 6));
        item->setText(MeasuredColumn, QStringLiteral("—"));
        item->setIcon(PassedColumn, style()->standardIcon(QStyle::SP_DialogCancelButton));
        item->setData(ReferenceColumn, Qt::UserRole, reference);
        item->setData(MeasuredColumn, Qt::UserRole, toleranceOf(reference));
        item->setData(PassedColumn, Qt::UserRole, false);
        for (int column : {ReferenceColumn, MeasuredColumn, PassedColumn})
            item->setTextAlignment(column, Qt::AlignHCenter | Qt::AlignVCenter);
    }
}

void TestSensorWidget::measure(ProfileTrace *trace)
{
    if (!trace)
        return;
    const QString text = evaluateParameter(m_args, trace, QStringLiteral("Ra"));
    bool ok = false;
    const double ra = text.toDouble(&ok);
    if (!ok || !std::isfinite(ra)) {
        // A failed evaluation must not count as a hit of the zero reference.
        Prompts::instance()->warning(this, QStringLiteral("Ошибка"),
                                     QStringLiteral("Не удалось вычислить Ra: ") + text);
        return;
    }
    QTreeWidget *table = ui->raStandardTreeWidget;
    QTreeWidgetItem *hit = nullptr;
    for (int row = 0; row < table->topLevelItemCount() && !hit; ++row) {
        QTreeWidgetItem *item = table->topLevelItem(row);
        const double reference = item->data(ReferenceColumn, Qt::UserRole).toDouble();
        const double tolerance = item->data(MeasuredColumn, Qt::UserRole).toDouble();
        if (tolerance > std::fabs(ra - reference))
            hit = item;
    }
    if (hit)
        markRow(hit, ra, true);
    else
        markNearestReference(ra);
    updateGrade();
}

void TestSensorWidget::markNearestReference(double ra)
{
    QTreeWidget *table = ui->raStandardTreeWidget;
    QTreeWidgetItem *nearest = nullptr;
    double best = DBL_MAX;
    for (int row = 0; row < table->topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = table->topLevelItem(row);
        const double distance
            = std::fabs(ra - item->data(ReferenceColumn, Qt::UserRole).toDouble());
        // On equal distances the later row wins.
        if (best >= distance) {
            nearest = item;
            best = distance;
        }
    }
    if (nearest)
        markRow(nearest, ra, false);
}

void TestSensorWidget::markRow(QTreeWidgetItem *item, double ra, bool passed)
{
    item->setText(MeasuredColumn, QString::number(ra, 'g', 6));
    item->setIcon(PassedColumn,
                  style()->standardIcon(passed ? QStyle::SP_DialogApplyButton
                                               : QStyle::SP_DialogCancelButton));
    item->setData(PassedColumn, Qt::UserRole, passed);
}

void TestSensorWidget::updateGrade()
{
    QTreeWidget *table = ui->raStandardTreeWidget;
    int passed = 0;
    for (int row = 0; row < table->topLevelItemCount(); ++row) {
        if (table->topLevelItem(row)->data(PassedColumn, Qt::UserRole).toBool())
            ++passed;
    }
    QString grade = QStringLiteral("Разряд 4");
    if (passed > 4)
        grade = QStringLiteral("Разряд 2");
    else if (passed > 2)
        grade = QStringLiteral("Разряд 3");
    ui->categorLabel->setText(grade);
}

QMap<QString, QString> TestSensorWidget::reportData() const
{
    QString references;
    QString measured;
    QString inTolerance;
    const QTreeWidget *table = ui->raStandardTreeWidget;
    for (int row = 0; row < table->topLevelItemCount(); ++row) {
        const QTreeWidgetItem *item = table->topLevelItem(row);
        references += item->text(ReferenceColumn) + QLatin1Char(',');
        measured += item->text(MeasuredColumn) + QLatin1Char(',');
        inTolerance += (item->data(PassedColumn, Qt::UserRole).toBool() ? QStringLiteral("1")
                                                                        : QStringLiteral("0"))
            + QLatin1Char(',');
    }
    QMap<QString, QString> data;
    data.insert(QStringLiteral("sensor_number"),
                QString::number(Settings::instance()->service.sensor_number));
    data.insert(QStringLiteral("execution_grade"),
                QString::number(ui->executionsComboBox->currentIndex() + 1));
    data.insert(QStringLiteral("reference_values"), references);
    data.insert(QStringLiteral("measured_values"), measured);
    data.insert(QStringLiteral("in_tolerance"), inTolerance);
    return data;
}
