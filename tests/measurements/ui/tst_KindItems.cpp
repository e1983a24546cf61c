// The graphic items the measurement kinds share: marks whose pen follows the selection in the
// tree, a value label that takes the report designation and its large font, and nothing left on
// the plot once the measurement is gone.
#include "ContourFixture.h"
#include "core/Constants.h"
#include "measurements/ui/KindItems.h"
#include "measurements/ui/Measurement.h"
#include "measurements/ui/MeasurementFactory.h"
#include "plot/QCPItemArc.h"
#include "support/TempSettings.h"
#include "support/gui/GuiTest.h"

#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(KindItems::LabelLayout)

namespace {

// The pen of a mark, whatever its item type; null for an item without one.
const QPen *penOf(QCPAbstractItem *item)
{
    static QPen pen;
    if (auto *line = qobject_cast<QCPItemLine *>(item))
        pen = line->pen();
    else if (auto *ellipse = qobject_cast<QCPItemEllipse *>(item))
        pen = ellipse->pen();
    else if (auto *arc = qobject_cast<QCPItemArc *>(item))
        pen = arc->pen();
    else
        return nullptr;
    return &pen;
}

// The plot's own selection marker lies on this layer.
const QLatin1String kMarkerLayer("overlay2");

// The items on the plot but the selection marker, which belongs to the plot.
int measurementItems(const Plot *plot)
{
    int count = 0;
    for (int i = 0; i < plot->itemCount(); ++i)
        count += plot->item(i)->layer()->name() != kMarkerLayer;
    return count;
}

} // namespace

class tst_KindItems : public QObject
{
    Q_OBJECT

private slots:
    void labelLayouts_data();
    void labelLayouts();
    void kindsShareTheirItemHandling_data();
    void kindsShareTheirItemHandling();
};

void tst_KindItems::labelLayouts_data()
{
    QTest::addColumn<KindItems::LabelLayout>("layout");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<QString>("text");
    using L = KindItems::LabelLayout;
    const int above = Qt::AlignHCenter | Qt::AlignBottom;
    const int below = Qt::AlignHCenter | Qt::AlignTop;
    QTest::newRow("value only") << L::ValueOnly << above << "5.0000мм";
    QTest::newRow("designation first") << L::DesignationFirst << below << "α_2\n5.0000мм";
    QTest::newRow("designation outside, above")
        << L::DesignationOutside << above << "α_2\n5.0000мм";
    QTest::newRow("designation outside, below")
        << L::DesignationOutside << below << "5.0000мм\nα_2";
}

void tst_KindItems::labelLayouts()
{
    QFETCH(KindItems::LabelLayout, layout);
    QFETCH(int, alignment);
    QFETCH(QString, text);
    ContourFixture f;
    auto items = std::make_unique<KindItems>(f.plot.get(), layout);
    QCPItemText *label = items->addLabel();
    items->setLabel(QStringLiteral("5.0000мм"), QStringLiteral("α_2"), QPointF(3, 4), 180.0,
                    alignment);
    QCOMPARE(label->text(), text);
    QCOMPARE(label->position->coords(), QPointF(3, 4));
    QCOMPARE(label->rotation(), 180.0);
    QCOMPARE(int(label->positionAlignment()), alignment);
    items->showDesignation(QStringLiteral("L_1"));
    QCOMPARE(label->text(), QStringLiteral("L_1"));

    // Without a plot there is nothing to draw on, and nothing fails.
    KindItems none(nullptr, layout);
    QVERIFY(!none.addMark<QCPItemLine>());
    QVERIFY(!none.addLabel());
    none.setSelected(true);
    none.setLabel(QStringLiteral("1"), QString(), QPointF(), 0.0, alignment);
}

void tst_KindItems::kindsShareTheirItemHandling_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("length") << int(HORISONTAL_DISTANCE);
    QTest::newRow("angle") << int(REGULAR_ANGLE);
    QTest::newRow("radius") << int(REGULAR_RADIUS);
    QTest::newRow("Ra") << int(RA);
    QTest::newRow("deviation from a line") << int(RMSE);
    QTest::newRow("deviation from a circle") << int(RDEM);
}

// Each family of kinds draws its marks with the selected pen while it is being built, with the
// normal pen once deselected, has a large label for the report picture, and takes every item it
// put on the plot with it.
void tst_KindItems::kindsShareTheirItemHandling()
{
    QFETCH(int, kind);
    testsupport::TempSettings settings;
    ContourFixture f;
    f.addLine(0, 2, 0.1, 0, 101);
    const int before = measurementItems(f.plot.get());
    MeasurementArgs args;
    args.plot = f.plot.get();
    args.traces = QVector<AbstractTrace *>(1, nullptr);
    std::unique_ptr<Measurement> m(createMeasurementOfKind(kind, args));
    QVERIFY(m);
    QVERIFY(measurementItems(f.plot.get()) > before);

    QList<QCPAbstractItem *> marks;
    QCPItemText *label = nullptr;
    for (int i = 0; i < f.plot->itemCount(); ++i) {
        QCPAbstractItem *item = f.plot->item(i);
        if (auto *text = qobject_cast<QCPItemText *>(item))
            label = text;
        else if (penOf(item) && item->layer()->name() != kMarkerLayer)
            marks.append(item);
    }
    QVERIFY(label);
    QVERIFY(!marks.isEmpty());
    for (QCPAbstractItem *mark : qAsConst(marks)) {
        // Lines of a deviation graph carry the selection as well.
        QCOMPARE(*penOf(mark), kSelectedItemPen);
    }
    m->setSelected(false);
    for (QCPAbstractItem *mark : qAsConst(marks))
        QCOMPARE(*penOf(mark), kItemPen);

    m->setLargeLabel(true);
    QCOMPARE(label->font().pointSize(), 20);
    m->setLargeLabel(false);
    QCOMPARE(label->font().pointSize(), 8);

    m.reset();
    QCOMPARE(measurementItems(f.plot.get()), before);
}

GUI_TEST_MAIN(tst_KindItems)
#include "tst_KindItems.moc"
