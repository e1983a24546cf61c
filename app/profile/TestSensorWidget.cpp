#include "profile/TestSensorWidget.h"

#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "platform/Prompts.h"
#include "traceprocessing/ParameterEvaluation.h"
#include "ui_testSensorWidget.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <cfloat>
#include <cmath>

namespace {

// A header whose labels wrap at their spaces: a section is as wide as the longest word of its
// label (or its column's contents), so the three long labels do not make the table wider than
// the panel beside the window's other panels.
class WrappingHeader : public QHeaderView
{
public:
    explicit WrappingHeader(QWidget *parent)
        : QHeaderView(Qt::Horizontal, parent)
    {
        setDefaultAlignment(Qt::AlignCenter | Qt::Alignment(Qt::TextWordWrap));
    }

protected:
    QSize sectionSizeFromContents(int logicalIndex) const override
    {
        const QSize oneLine = QHeaderView::sectionSizeFromContents(logicalIndex);
        const QString text = model()
            ? model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString()
            : QString();
        if (text.isEmpty())
            return oneLine;
        const QFontMetrics metrics = fontMetrics();
        int widestWord = 0;
        for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            widestWord = std::max(widestWord, metrics.horizontalAdvance(word));
        const int textWidth = metrics.horizontalAdvance(text);
        const QRect wrapped = metrics.boundingRect(QRect(0, 0, widestWord, 10000),
                                                   Qt::AlignCenter | Qt::TextWordWrap, text);
        return {oneLine.width() - textWidth + wrapped.width(),
                oneLine.height() - metrics.height() + wrapped.height()};
    }
};

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
    table->setHeader(new WrappingHeader(table));
    table->setHeaderLabels({QStringLiteral("Эталон"), QStringLiteral("Измеренное значение"),
                            QStringLiteral("Вход в допуск")});
    table->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->header()->setStretchLastSection(false);
    // The table is never narrower than its columns (and the vertical scroll bar a low window
    // gives it): no column is cut, whatever room the layout has.
    const auto fitWidth = [table] {
        QHeaderView *header = table->header();
        int width = 2 * table->frameWidth();
        for (int i = 0; i < header->count(); ++i)
            width += header->sectionSize(i);
        const QScrollBar *scrollBar = table->verticalScrollBar();
        if (scrollBar->maximum() > scrollBar->minimum())
            width += scrollBar->sizeHint().width();
        table->setMinimumWidth(width);
    };
    connect(table->header(), &QHeaderView::sectionResized, this, fitWidth);
    connect(table->header(), &QHeaderView::geometriesChanged, this, fitWidth);
    connect(table->verticalScrollBar(), &QScrollBar::rangeChanged, this, fitWidth);
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
    // A family (a trace with additional traces) is judged by its mean Ra.
    double ra = 0.0;
    QString text;
    if (!evaluateParameterValue(m_args, trace, QStringLiteral("Ra"), &ra, &text)) {
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
