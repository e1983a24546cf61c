#include "contour/MeasurementTreeWidget.h"
#include "measurements/ui/MeasurementDouble.h"
#include "plot/Plot.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMimeData>
#include <QSignalSpy>

#include <cmath>
#include <memory>

using testsupport::ScriptedPrompts;

Q_DECLARE_METATYPE(E_MEASUREMENTS)

namespace {

// A measurement of the kind whose value() is the given number; NaN stands for a measurement
// without a value, which shows "неизвестно" and reports 0.
class ValueDouble : public MeasurementDouble
{
public:
    ValueDouble(int kind, double v)
        : MeasurementDouble(kind, nullptr)
        , fixed(v)
    { }
    double value() const override { return hasValue() ? fixed : 0.0; }
    bool hasValue() const override { return !std::isnan(fixed); }
    QString valueText() const override
    {
        return hasValue() ? QString::number(fixed, 'f', 3) + " мм" : QStringLiteral("неизвестно");
    }
    double fixed;
};

QStringList topTexts(const QTreeWidget &tree)
{
    QStringList texts;
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        texts << tree.topLevelItem(i)->text(0);
    return texts;
}

QStringList childTexts(const QTreeWidgetItem *group)
{
    QStringList texts;
    for (int i = 0; i < group->childCount(); ++i)
        texts << group->child(i)->text(1);
    return texts;
}

// The tree with its drag handlers in reach: a drop synthesised in a test has no drag behind it.
class DropTree : public MeasurementTreeWidget
{
public:
    using MeasurementTreeWidget::dropEvent;
    using QTreeWidget::dragMoveEvent;
};

// Drops the dragged row at the middle of the target row (or at its upper edge).
void dropOn(DropTree &tree, QTreeWidgetItem *dragged, QTreeWidgetItem *target, bool upperEdge)
{
    tree.setCurrentItem(dragged);
    QRect rect = tree.visualItemRect(target);
    const QPoint pos = upperEdge ? QPoint(rect.center().x(), rect.top() + 1) : rect.center();
    QMimeData *mime = tree.model()->mimeData({tree.currentIndex()});
    // The view works out the drop indicator on the drag move that precedes the drop.
    QDragMoveEvent move(pos, Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
    tree.dragMoveEvent(&move);
    QDropEvent drop(pos, Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
    tree.dropEvent(&drop);
    delete mime;
}

// The tree with the width its columns ask for in reach.
class OpenTree : public MeasurementTreeWidget
{
public:
    using QTreeView::sizeHintForColumn;
};

} // namespace

class tst_MeasurementTreeWidget : public QObject
{
    Q_OBJECT

private slots:
    void newTreeHasSixEmptyGroups();
    void kindsGoToTheirGroups_data();
    void kindsGoToTheirGroups();
    void groupMeansFollowTheRows();
    void groupMeansLeaveOutMeasurementsWithoutValue_data();
    void groupMeansLeaveOutMeasurementsWithoutValue();
    void contextMenus_data();
    void contextMenus();
    void clearingAGroupAsksForEveryRowFirstToLast();
    void equidistantPrompt();
    void dropsStayInsideTheGroup();
    void calibrationLayout();
    void reportRowsSkipEmptyGroups();
    void namesAndValuesReadWhole_data();
    void namesAndValuesReadWhole();
};

void tst_MeasurementTreeWidget::newTreeHasSixEmptyGroups()
{
    MeasurementTreeWidget tree;
    QCOMPARE(
        topTexts(tree),
        QStringList({"ДЛИНЫ", "ОТКЛОНЕНИЯ", "УГЛЫ", "РАДИУСЫ", "ШЕРОХОВАТОСТИ", "ДОП. ГЕОМЕТРИИ"}));
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        QVERIFY(tree.topLevelItem(i)->isExpanded());
        QVERIFY(tree.topLevelItem(i)->text(1).isEmpty());
        QVERIFY(!(tree.topLevelItem(i)->flags() & Qt::ItemIsEditable));
    }
    QVERIFY(tree.reportRows().empty());
}

void tst_MeasurementTreeWidget::kindsGoToTheirGroups_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("group");
    QTest::addColumn<bool>("diagnostic");
    QTest::newRow("length") << 1 << 0 << false;
    QTest::newRow("mean diameter") << 19 << 0 << false;
    QTest::newRow("line deviation") << 12 << 1 << false;
    QTest::newRow("circle deviation of a given radius reports 13") << 14 << 1 << false;
    QTest::newRow("drawing deviation") << 34 << 1 << false;
    QTest::newRow("angle to the vertical") << 4 << 2 << false;
    QTest::newRow("radius by two ranges") << 8 << 3 << false;
    QTest::newRow("Rz") << 21 << 4 << false;
    QTest::newRow("circle") << 22 << 5 << false;
    QTest::newRow("drawing") << 33 << 5 << false;
    QTest::newRow("levelling") << 9 << 0 << true;
    QTest::newRow("no tool") << 35 << 0 << true;
}

void tst_MeasurementTreeWidget::kindsGoToTheirGroups()
{
    QFETCH(int, kind);
    QFETCH(int, group);
    QFETCH(bool, diagnostic);
    MeasurementTreeWidget tree;
    MeasurementDouble m(kind, nullptr);
    if (diagnostic)
        QTest::ignoreMessage(QtDebugMsg,
                             "error: do not know which measurement list to put item, use "
                             "distances list");
    QTreeWidgetItem *item = tree.addMeasurementItem(&m);
    QCOMPARE(item->parent(), tree.topLevelItem(group));
    QCOMPARE(item->text(0), m.name());
    QCOMPARE(item->data(0, Qt::UserRole).toInt(), m.id());
    QCOMPARE(item->flags(), Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsEnabled);
}

void tst_MeasurementTreeWidget::groupMeansFollowTheRows()
{
    MeasurementTreeWidget tree;
    ValueDouble a(1, 1.0);
    ValueDouble b(0, 2.5);
    QTreeWidgetItem *ia = tree.addMeasurementItem(&a);
    QTreeWidgetItem *ib = tree.addMeasurementItem(&b);
    tree.updateGroups();
    QCOMPARE(tree.topLevelItem(0)->text(1), QStringLiteral("1.7500"));
    QCOMPARE(tree.topLevelItem(2)->text(1), QString());

    // A changed value reaches the mean through the row's update.
    a.fixed = 3.5;
    tree.updateMeasurementItem(ia, &a);
    tree.updateGroups();
    QCOMPARE(ia->text(1), QStringLiteral("3.500 мм"));
    QCOMPARE(tree.topLevelItem(0)->text(1), QStringLiteral("3.0000"));

    delete ia;
    delete ib;
    tree.updateGroups();
    QCOMPARE(tree.topLevelItem(0)->text(1), QString());
}

void tst_MeasurementTreeWidget::groupMeansLeaveOutMeasurementsWithoutValue_data()
{
    const double unknown = std::nan("");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<int>("group");
    QTest::addColumn<QString>("mean");

    QTest::newRow("a deviation not measured yet")
        << int(RMSE) << QList<double> {0.156056, unknown} << 1 << "0.1561";
    QTest::newRow("a length still being placed")
        << int(HORISONTAL_DISTANCE) << QList<double> {5.0, 3.0, unknown} << 0 << "4.0000";
    QTest::newRow("an unknown radius alone")
        << int(REGULAR_RADIUS) << QList<double> {unknown} << 3 << QString();
    QTest::newRow("a roughness too short to measure")
        << int(RA) << QList<double> {unknown, 0.5, unknown} << 4 << "0.5000";
    QTest::newRow("construction lines")
        << int(CLICK_HORIZONTAL_LINE) << QList<double> {unknown, unknown} << 5 << QString();
}

// A measurement without a value is no 0: the mean is over the measured ones, and a group with
// none shows no number.
void tst_MeasurementTreeWidget::groupMeansLeaveOutMeasurementsWithoutValue()
{
    QFETCH(int, kind);
    QFETCH(QList<double>, values);
    QFETCH(int, group);
    QFETCH(QString, mean);
    MeasurementTreeWidget tree;
    std::vector<std::unique_ptr<ValueDouble>> measurements;
    for (double v : values) {
        measurements.push_back(std::make_unique<ValueDouble>(kind, v));
        tree.addMeasurementItem(measurements.back().get());
    }
    tree.updateGroups();
    QCOMPARE(tree.topLevelItem(group)->childCount(), values.size());
    QCOMPARE(tree.topLevelItem(group)->text(1), mean);

    // Once the last one is measured it counts like the others.
    ValueDouble *last = measurements.back().get();
    last->fixed = 2.0;
    tree.updateMeasurementItem(tree.topLevelItem(group)->child(values.size() - 1), last);
    tree.updateGroups();
    double sum = 0.0;
    int count = 0;
    for (const auto &m : measurements) {
        if (m->hasValue()) {
            sum += m->value();
            ++count;
        }
    }
    QCOMPARE(tree.topLevelItem(group)->text(1), QString::number(sum / count, 'f', 4));
}

void tst_MeasurementTreeWidget::contextMenus_data()
{
    QTest::addColumn<int>("kind"); // -1: an empty group row; -2: a group row with a row
    QTest::addColumn<QString>("menu");
    QTest::newRow("horizontal line") << 24 << "Удалить|Эквидистанта";
    QTest::newRow("vertical line") << 25 << "Удалить|Эквидистанта";
    QTest::newRow("two-point line") << 26 << "Удалить|Эквидистанта";
    QTest::newRow("point on the trace") << 27 << "Удалить";
    QTest::newRow("length") << 1 << "Удалить";
    QTest::newRow("empty group") << -1 << "";
    QTest::newRow("group with a row") << -2 << "Очистить";
}

void tst_MeasurementTreeWidget::contextMenus()
{
    QFETCH(int, kind);
    QFETCH(QString, menu);
    MeasurementTreeWidget tree;
    tree.resize(400, 400);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    MeasurementDouble m(kind >= 0 ? kind : 1, nullptr);
    QTreeWidgetItem *row = tree.addMeasurementItem(&m);
    QTreeWidgetItem *target = row;
    if (kind == -1)
        target = tree.topLevelItem(2);
    else if (kind == -2)
        target = tree.topLevelItem(0);

    ScriptedPrompts prompts;
    QSignalSpy deletions(&tree, &MeasurementTreeWidget::deleteMeasurement);
    emit tree.customContextMenuRequested(tree.visualItemRect(target).center());
    if (menu.isEmpty()) {
        QVERIFY(prompts.asked.isEmpty());
    } else {
        QCOMPARE(prompts.kinds(), QStringList {"menu"});
        QCOMPARE(prompts.asked.at(0).text, menu);
    }
    QCOMPARE(deletions.count(), 0); // the menu was cancelled
}

void tst_MeasurementTreeWidget::clearingAGroupAsksForEveryRowFirstToLast()
{
    MeasurementTreeWidget tree;
    tree.resize(400, 400);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    MeasurementDouble a(1, nullptr), b(0, nullptr), c(3, nullptr);
    QList<QTreeWidgetItem *> rows {tree.addMeasurementItem(&a), tree.addMeasurementItem(&b),
                                   tree.addMeasurementItem(&c)};
    // The receiver removes each row as the window does.
    QList<int> asked;
    connect(&tree, &MeasurementTreeWidget::deleteMeasurement, &tree, [&](int id) {
        asked << id;
        for (QTreeWidgetItem *row : rows) {
            if (row && row->data(0, Qt::UserRole).toInt() == id) {
                rows.removeOne(row);
                delete row;
                break;
            }
        }
    });
    ScriptedPrompts prompts;
    prompts.answers << QStringLiteral("Очистить");
    emit tree.customContextMenuRequested(tree.visualItemRect(tree.topLevelItem(0)).center());
    QCOMPARE(asked, QList<int>({a.id(), b.id(), c.id()}));
    QCOMPARE(tree.topLevelItem(0)->childCount(), 0);

    // "Удалить" on a row asks for that row alone.
    MeasurementDouble d(27, nullptr);
    QTreeWidgetItem *point = tree.addMeasurementItem(&d);
    rows << point;
    prompts.answers << QStringLiteral("Удалить");
    emit tree.customContextMenuRequested(tree.visualItemRect(point).center());
    QCOMPARE(asked.last(), d.id());
}

void tst_MeasurementTreeWidget::equidistantPrompt()
{
    qRegisterMetaType<E_MEASUREMENTS>();
    MeasurementTreeWidget tree;
    tree.resize(400, 400);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    MeasurementDouble line(26, nullptr);
    QTreeWidgetItem *row = tree.addMeasurementItem(&line);
    const QPoint at = tree.visualItemRect(row).center();
    QSignalSpy requests(&tree, &MeasurementTreeWidget::equidistant);

    ScriptedPrompts prompts;
    prompts.answers << QStringLiteral("Эквидистанта") << 0.0;
    emit tree.customContextMenuRequested(at);
    QCOMPARE(requests.count(), 1); // 0 is a distance too
    QCOMPARE(requests.at(0).at(0).toInt(), line.id());
    QCOMPARE(requests.at(0).at(1).value<E_MEASUREMENTS>(), CLICK_DOUBLE_LINE);
    QCOMPARE(requests.at(0).at(2).toDouble(), 0.0);
    QCOMPARE(prompts.asked.at(1).title, QStringLiteral("Эквидистанта"));
    QCOMPARE(prompts.asked.at(1).text, QStringLiteral("Длина эквидистанты:"));

    prompts.answers << QStringLiteral("Эквидистанта") << QVariant();
    emit tree.customContextMenuRequested(at);
    QCOMPARE(requests.count(), 1); // cancelled: nothing sent
}

void tst_MeasurementTreeWidget::dropsStayInsideTheGroup()
{
    DropTree tree;
    tree.resize(400, 500);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    ValueDouble a(1, 1.0), b(1, 2.0), c(1, 3.0), angle(6, 30.0);
    QTreeWidgetItem *ia = tree.addMeasurementItem(&a);
    tree.addMeasurementItem(&b);
    QTreeWidgetItem *ic = tree.addMeasurementItem(&c);
    QTreeWidgetItem *iangle = tree.addMeasurementItem(&angle);
    tree.updateGroups();
    QTreeWidgetItem *lengths = tree.topLevelItem(0);
    QTreeWidgetItem *angles = tree.topLevelItem(2);

    // Onto a row of another group, and onto a group row: refused.
    dropOn(tree, ia, iangle, false);
    dropOn(tree, ia, angles, false);
    QCOMPARE(childTexts(lengths), QStringList({"1.000 мм", "2.000 мм", "3.000 мм"}));
    QCOMPARE(angles->childCount(), 1);

    // Above the first row of its own group: moved.
    dropOn(tree, ic, ia, true);
    QCOMPARE(childTexts(lengths), QStringList({"3.000 мм", "1.000 мм", "2.000 мм"}));
    QCOMPARE(lengths->text(1), QStringLiteral("2.0000"));

    // A group row above another group row: the groups reorder.
    dropOn(tree, angles, lengths, true);
    QCOMPARE(topTexts(tree).mid(0, 2), QStringList({"УГЛЫ", "ДЛИНЫ"}));
    QCOMPARE(angles->childCount(), 1);
    QCOMPARE(lengths->childCount(), 3);
}

void tst_MeasurementTreeWidget::calibrationLayout()
{
    MeasurementTreeWidget tree;
    tree.setCalibrationMode(true);
    QCOMPARE(tree.headerItem()->text(0), QStringLiteral("ИЗМЕРЕНИЕ"));
    QCOMPARE(tree.headerItem()->text(1), QStringLiteral("ЗНАЧЕНИЕ"));
    QCOMPARE(tree.header()->sectionResizeMode(0), QHeaderView::ResizeToContents);
    ValueDouble a(1, 1.5);
    QTreeWidgetItem *row = tree.addMeasurementItem(&a);
    tree.updateGroups();
    QCOMPARE(tree.topLevelItem(0)->text(1), QString());
    QCOMPARE(row->text(1), QStringLiteral("1.500 мм"));
    // No editor opens in either column.
    for (int column = 0; column < 2; ++column) {
        QWidget parent;
        QStyleOptionViewItem option;
        QVERIFY(!tree.itemDelegateForColumn(column)->createEditor(&parent, option,
                                                                  tree.model()->index(0, column)));
    }
}

void tst_MeasurementTreeWidget::reportRowsSkipEmptyGroups()
{
    MeasurementTreeWidget tree;
    ValueDouble a(7, 4.0), b(8, 5.0);
    QTreeWidgetItem *ia = tree.addMeasurementItem(&a);
    tree.addMeasurementItem(&b);
    tree.updateGroups();
    const auto rows = tree.reportRows();
    QCOMPARE(int(rows.size()), 1);
    QCOMPARE(QString::fromStdString(rows[0].name), QStringLiteral("РАДИУСЫ"));
    QCOMPARE(QString::fromStdString(rows[0].value), QStringLiteral("4.5000"));
    QCOMPARE(int(rows[0].items.size()), 2);
    QCOMPARE(rows[0].items[0].item, ia);
    QCOMPARE(rows[0].items[0].id, a.id());
    QCOMPARE(QString::fromStdString(rows[0].items[1].value), QStringLiteral("5.000 мм"));
}

void tst_MeasurementTreeWidget::namesAndValuesReadWhole_data()
{
    QTest::addColumn<bool>("calibration");
    QTest::newRow("normal") << false;
    QTest::newRow("calibration") << true;
}

// The tree beside the plot, as the contour window lays it out: the plot takes what the tree
// leaves. The longest names and values of a tab in nanometres read whole, none cut short with
// an ellipsis, and the tree gives room back when they go.
void tst_MeasurementTreeWidget::namesAndValuesReadWhole()
{
    QFETCH(bool, calibration);
    QWidget window;
    auto *layout = new QHBoxLayout(&window);
    auto *plot = new QWidget;
    plot->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    layout->addWidget(plot, 1);
    auto *tree = new OpenTree;
    tree->setMinimumWidth(360);
    tree->setHeaderLabels({QStringLiteral("ГРУППА"), QStringLiteral("ИЗМЕРЕНИЕ")});
    if (calibration)
        tree->setCalibrationMode(true);
    layout->addWidget(tree, 0);
    window.resize(1200, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const int emptyWidth = tree->width();

    ValueDouble line(CLICK_HORIZONTAL_LINE, std::nan(""));
    ValueDouble deviation(RDEM_FITER_BY_TWO_SEGMENT, 3010398.6);
    ValueDouble length(DIRECT_DISTANCE, 1250398.25);
    QTreeWidgetItem *rows[]
        = {tree->addMeasurementItem(&line), tree->addMeasurementItem(&deviation),
           tree->addMeasurementItem(&length)};
    tree->updateGroups();
    // A column narrower than its contents elides them.
    QTRY_VERIFY(tree->header()->sectionSize(1) >= tree->sizeHintForColumn(1));
    for (int column = 0; column < 2; ++column)
        QVERIFY2(tree->header()->sectionSize(column) >= tree->sizeHintForColumn(column),
                 qPrintable(QStringLiteral("column %1: %2 of %3 pixels")
                                .arg(column)
                                .arg(tree->header()->sectionSize(column))
                                .arg(tree->sizeHintForColumn(column))));
    const QFontMetrics metrics(tree->font());
    for (QTreeWidgetItem *row : rows)
        QVERIFY2(metrics.horizontalAdvance(row->text(1)) < tree->header()->sectionSize(1),
                 qPrintable(row->text(1)));
    const testsupport::GrabResult grab = testsupport::grabWindow(
        &window, QStringLiteral("tree_long_rows_") + QString::fromLatin1(QTest::currentDataTag()));
    VERIFY_GRAB(grab);

    // The long rows gone, the plot gets its room back.
    for (QTreeWidgetItem *row : rows)
        delete row;
    tree->updateGroups();
    QTRY_COMPARE(tree->width(), emptyWidth);
}

GUI_TEST_MAIN(tst_MeasurementTreeWidget)
#include "tst_MeasurementTreeWidget.moc"
