#include "measurements/DxfReader.h"
#include "measurements/ui/DxfPlotItems.h"
#include "plot/Plot.h"
#include "plot/QCPItemArc.h"
#include "support/gui/GuiTest.h"

#include <QFile>
#include <QtTest>

class TestDxfPlotItems : public QObject
{
    Q_OBJECT

private slots:
    void itemsFollowTheDrawing();
};

void TestDxfPlotItems::itemsFollowTheDrawing()
{
    Plot plot;
    plot.resize(400, 300);
    const int before = plot.itemCount();
    QFile file(QStringLiteral(TEST_FIXTURES_DIR "/dxf/circle_and_arcs.dxf"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    DxfDrawing drawing = readDxf(&file, 1.0).drawing;
    drawing.append(DxfEntity::line(QPointF(1, 2), QPointF(3, 4)));
    drawing.append(DxfEntity::ellipse(QPointF(0, 0), QPointF(0, 2), 0.5, 0, 0, 1e-4));
    {
        DxfPlotItems items(&plot);
        items.show(drawing);
        QCOMPARE(plot.itemCount(), before + drawing.size());

        auto *circle = qobject_cast<QCPItemArc *>(items.item(0));
        QVERIFY(circle);
        QCOMPARE(circle->topLeft->coords(), QPointF(-2, 2));
        QCOMPARE(circle->bottomRight->coords(), QPointF(2, -2));
        QCOMPARE(circle->spanAngle, 360 * 16);
        // Arcs in sixteenths of a degree; one across 0° starts near the end of the turn.
        auto *arc = qobject_cast<QCPItemArc *>(items.item(1));
        QCOMPARE(arc->startAngle, 480);
        QCOMPARE(arc->spanAngle, 1440);
        auto *acrossZero = qobject_cast<QCPItemArc *>(items.item(2));
        QCOMPARE(acrossZero->startAngle, 5600);
        QCOMPARE(acrossZero->spanAngle, 320);
        auto *line = qobject_cast<QCPItemLine *>(items.item(4));
        QCOMPARE(line->end->coords(), QPointF(3, 4));
        auto *ellipse = qobject_cast<QCPItemPolyline *>(items.item(5));
        QVERIFY(ellipse);
        QCOMPARE(ellipse->points(), drawing.entity(5).outline);
        for (int i = 0; i < items.size(); ++i)
            QCOMPARE(items.item(i)->layer()->name(), QStringLiteral("overlay"));

        // Moving the drawing moves the same items.
        QCPAbstractItem *first = items.item(0);
        drawing.translate(1, 1);
        items.show(drawing);
        QCOMPARE(items.item(0), first);
        QCOMPARE(circle->topLeft->coords(), QPointF(-1, 3));
        QCOMPARE(ellipse->points(), drawing.entity(5).outline);
    }
    QCOMPARE(plot.itemCount(), before);
}

GUI_TEST_MAIN(TestDxfPlotItems)
#include "tst_DxfPlotItems.moc"
