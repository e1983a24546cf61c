#include "plot/Plot.h"
#include "plot/QCPItemArc.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"

#include <QtTest>
#include <cmath>

namespace {

// A 400 x 400 plot, ranges 0..10, without grids and antialiasing, with an arc from (2, 8) to
// (8, 2).
struct ArcFixture
{
    Plot plot;
    QCPItemArc *arc;
    ArcFixture()
        : arc(new QCPItemArc(&plot))
    {
        plot.resize(400, 400);
        plot.xAxis->setRange(0, 10);
        plot.yAxis->setRange(0, 10);
        plot.xAxis->grid()->setVisible(false);
        plot.yAxis->grid()->setVisible(false);
        plot.setNotAntialiasedElements(QCP::aeAll);
        arc->topLeft->setCoords(2, 8);
        arc->bottomRight->setCoords(8, 2);
        plot.show(); // lays the plot out at its size
        plot.replot();
    }

    QPointF centre() const
    {
        return (arc->topLeft->pixelPosition() + arc->bottomRight->pixelPosition()) / 2;
    }
    QPointF radii() const
    {
        const QPointF d = arc->bottomRight->pixelPosition() - arc->topLeft->pixelPosition();
        return QPointF(std::abs(d.x()) / 2, std::abs(d.y()) / 2);
    }
    // The pixel on the ellipse (scaled by factor) at an angle in degrees, counter-clockwise from
    // three o'clock on the screen.
    QPointF onEllipse(double degrees, double factor = 1.0) const
    {
        const double r = qDegreesToRadians(degrees);
        return centre()
            + QPointF(radii().x() * factor * std::cos(r), -radii().y() * factor * std::sin(r));
    }
};

bool inkNear(const QImage &image, const QPointF &at, QRgb *found = nullptr)
{
    const QPoint p = at.toPoint();
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            const QRgb c = image.pixel(p.x() + dx, p.y() + dy);
            if (qGray(c) < 160) {
                if (found)
                    *found = c;
                return true;
            }
        }
    return false;
}

} // namespace

class tst_ItemArc : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void drawsTheSpannedPart_data();
    void drawsTheSpannedPart();
    void selectedArcUsesSelectedPen();
    void degenerateRectDrawsNothing();
    void hitTest_data();
    void hitTest();
};

void tst_ItemArc::defaults()
{
    Plot plot;
    auto *arc = new QCPItemArc(&plot);
    QCOMPARE(plot.itemCount(), 1);
    QCOMPARE(arc->topLeft->coords(), QPointF(0, 1));
    QCOMPARE(arc->bottomRight->coords(), QPointF(1, 0));
    QCOMPARE(arc->startAngle, 0);
    QCOMPARE(arc->spanAngle, 5760);
    QCOMPARE(arc->pen(), QPen(Qt::black));
    QCOMPARE(arc->selectedPen().color(), QColor(Qt::blue));
    QCOMPARE(arc->selectedPen().widthF(), 2.0);
    QCOMPARE(arc->brush().style(), Qt::NoBrush);
    QCOMPARE(arc->positions().size(), 2);
    QVERIFY(arc->anchors().size() == 2); // the positions are its only anchors
    QCOMPARE(QString(arc->metaObject()->className()), QStringLiteral("QCPItemArc"));
    arc->setProperty("pen", QPen(Qt::red));
    QCOMPARE(arc->pen().color(), QColor(Qt::red));
    QVERIFY(plot.removeItem(arc));
}

void tst_ItemArc::drawsTheSpannedPart_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("span");
    QTest::addColumn<QVector<int>>("drawn"); // of the probes at 22.5 + 45k degrees
    QTest::newRow("full ellipse") << 0 << 5760 << QVector<int> {0, 1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("quarter to twelve o'clock") << 0 << 90 * 16 << QVector<int> {0, 1};
    QTest::newRow("clockwise quarter") << 0 << -90 * 16 << QVector<int> {6, 7};
    QTest::newRow("left half") << 90 * 16 << 180 * 16 << QVector<int> {2, 3, 4, 5};
}

void tst_ItemArc::drawsTheSpannedPart()
{
    QFETCH(int, start);
    QFETCH(int, span);
    QFETCH(QVector<int>, drawn);
    ArcFixture f;
    f.arc->startAngle = start;
    f.arc->spanAngle = span;
    const QImage image = f.plot.toPixmap(400, 400).toImage();
    for (int k = 0; k < 8; ++k) {
        const double angle = 22.5 + 45 * k;
        QVERIFY2(inkNear(image, f.onEllipse(angle)) == drawn.contains(k),
                 qPrintable(QStringLiteral("probe at %1 degrees").arg(angle)));
        QVERIFY(!inkNear(image, f.onEllipse(angle, 0.8)));
    }
}

void tst_ItemArc::selectedArcUsesSelectedPen()
{
    ArcFixture f;
    f.arc->setSelected(true);
    QRgb ink = 0;
    QVERIFY(inkNear(f.plot.toPixmap(400, 400).toImage(), f.onEllipse(45), &ink));
    QCOMPARE(QColor(ink), QColor(Qt::blue));
}

void tst_ItemArc::degenerateRectDrawsNothing()
{
    ArcFixture f;
    f.arc->topLeft->setCoords(5, 5);
    f.arc->bottomRight->setCoords(5, 5);
    const QImage image = f.plot.toPixmap(400, 400).toImage();
    const QRect inner = f.plot.axisRect()->rect().adjusted(8, 8, -8, -8); // past the ticks
    for (int y = inner.top(); y <= inner.bottom(); ++y)
        for (int x = inner.left(); x <= inner.right(); ++x)
            QVERIFY(qGray(image.pixel(x, y)) > 200);
}

void tst_ItemArc::hitTest_data()
{
    QTest::addColumn<double>("angle");
    QTest::addColumn<double>("factor");
    QTest::addColumn<bool>("filled");
    QTest::addColumn<int>("expected"); // 0: on outline, 1: ray distance, 2: inside hit
    // The hit test measures against the whole ellipse: the undrawn part counts like the arc.
    QTest::newRow("on the drawn arc") << 45.0 << 1.0 << false << 0;
    QTest::newRow("on the undrawn part") << 225.0 << 1.0 << false << 0;
    QTest::newRow("outside") << 200.0 << 1.5 << false << 1;
    QTest::newRow("inside, no brush") << 100.0 << 0.5 << false << 1;
    QTest::newRow("inside, brush") << 100.0 << 0.5 << true << 2;
    QTest::newRow("outside, brush") << 100.0 << 1.5 << true << 1;
    QTest::newRow("centre, brush") << 0.0 << 0.0 << true << 2;
}

void tst_ItemArc::hitTest()
{
    QFETCH(double, angle);
    QFETCH(double, factor);
    QFETCH(bool, filled);
    QFETCH(int, expected);
    ArcFixture f;
    f.arc->spanAngle = 90 * 16;
    if (filled)
        f.arc->setBrush(QBrush(Qt::yellow));
    const QPointF pos = f.onEllipse(angle, factor);
    const double distance = f.arc->selectTest(pos, true);
    const double tolerance = f.plot.selectionTolerance() * 0.99;
    const double ray
        = std::abs(factor - 1) * QLineF(f.centre(), pos).length() / std::max(factor, 1e-9);
    switch (expected) {
    case 0:
        COMPARE_TOL(distance, 0.0, 0, 1e-6);
        break;
    case 1:
        COMPARE_REL(distance, ray, 1e-9);
        break;
    default:
        COMPARE_REL(distance, tolerance, 1e-12);
    }

    f.arc->setSelectable(false);
    QCOMPARE(f.arc->selectTest(pos, true), -1.0);
    QVERIFY(f.arc->selectTest(pos, false) >= 0);
}

GUI_TEST_MAIN(tst_ItemArc)
#include "tst_ItemArc.moc"
