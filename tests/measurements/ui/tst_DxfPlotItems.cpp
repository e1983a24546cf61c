#include "core/Constants.h"
#include "measurements/DxfReader.h"
#include "measurements/ui/DxfPlotItems.h"
#include "plot/Plot.h"
#include "support/gui/GuiTest.h"
#include "support/gui/WindowGrab.h"

#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QtTest>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Whether a pixel within `radius` of the point is darker than `level`.
bool inkNear(const QImage &image, const QPointF &pixel, int radius = 1, int level = 160)
{
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint p(int(std::floor(pixel.x())) + dx, int(std::floor(pixel.y())) + dy);
            if (image.valid(p) && qGray(image.pixel(p)) < level)
                return true;
        }
    }
    return false;
}

QPointF pixelOf(const Plot &plot, const QPointF &p)
{
    return QPointF(plot.xAxis->coordToPixel(p.x()), plot.yAxis->coordToPixel(p.y()));
}

QPointF onCircle(const QPointF &centre, double radius, double degrees)
{
    const double t = degrees * kPi / 180.0;
    return centre + radius * QPointF(std::cos(t), std::sin(t));
}

} // namespace

Q_DECLARE_METATYPE(DxfEntity)

class TestDxfPlotItems : public QObject
{
    Q_OBJECT

private slots:
    void drawingIsOneItemThatFollowsIt();
    void entitiesAppearWhereTheyLie_data();
    void entitiesAppearWhereTheyLie();
    void longPolylineLooksTheSameWithFewPoints();
};

// The whole drawing is one item on the overlay layer that shares the drawing's storage, shows
// the drawing moved after it moves, and leaves the plot with its owner.
void TestDxfPlotItems::drawingIsOneItemThatFollowsIt()
{
    Plot plot;
    plot.resize(400, 400);
    plot.xAxis->setRange(-6, 14);
    plot.yAxis->setRange(-6, 14);
    const int before = plot.itemCount();
    QFile file(QStringLiteral(TEST_FIXTURES_DIR "/dxf/circle_and_arcs.dxf"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    DxfDrawing drawing = readDxf(&file, 1.0).drawing;
    drawing.append(DxfEntity::line(QPointF(1, 2), QPointF(3, 4)));
    drawing.append(DxfEntity::ellipse(QPointF(0, 0), QPointF(0, 2), 0.5, 0, 0, 1e-4));
    {
        DxfPlotItems items(&plot);
        QVERIFY(!items.item());
        items.show(drawing);
        QCOMPARE(plot.itemCount(), before + 1);
        DxfDrawingItem *item = items.item();
        QVERIFY(item);
        QCOMPARE(item->layer()->name(), QStringLiteral("overlay"));
        QVERIFY(!item->selectable());
        QCOMPARE(item->pen(), kItemPen);
        QVERIFY(item->drawing().sharesStorageWith(drawing));

        plot.replot();
        const testsupport::GrabResult shown = testsupport::grabWindow(&plot, "dxf_items_shown");
        VERIFY_GRAB(shown);
        const QPointF lineMiddle(2, 3);
        const QPointF circleTop(0, 2);
        const QPointF ellipseTip(1, 0); // the end of the minor axis, right of the centre
        for (const QPointF &p : {lineMiddle, circleTop, ellipseTip})
            QVERIFY2(inkNear(shown.image, pixelOf(plot, p)), qPrintable(shown.path));

        // Moving the drawing moves what the same item shows; letting go keeps the item.
        items.release();
        QCOMPARE(item->drawing().size(), 0);
        drawing.translate(4, -3);
        items.show(drawing);
        QCOMPARE(items.item(), item);
        QCOMPARE(plot.itemCount(), before + 1);
        QCOMPARE(item->drawing().entity(0).centre, QPointF(4, -3));
        plot.replot();
        const testsupport::GrabResult moved = testsupport::grabWindow(&plot, "dxf_items_moved");
        VERIFY_GRAB(moved);
        for (const QPointF &p : {lineMiddle, circleTop, ellipseTip}) {
            QVERIFY2(inkNear(moved.image, pixelOf(plot, p + QPointF(4, -3))),
                     qPrintable(moved.path));
            QVERIFY2(!inkNear(moved.image, pixelOf(plot, p), 1, 200), qPrintable(moved.path));
        }
    }
    QCOMPARE(plot.itemCount(), before);
}

void TestDxfPlotItems::entitiesAppearWhereTheyLie_data()
{
    QTest::addColumn<DxfEntity>("entity");
    QTest::addColumn<bool>("xReversed");
    QTest::addColumn<bool>("yReversed");
    QTest::addColumn<QVector<QPointF>>("inked");
    QTest::addColumn<QVector<QPointF>>("blank");

    const QPointF o(0, 0);
    QTest::newRow("segment") << DxfEntity::line(QPointF(-4, -4), QPointF(4, 2)) << false << false
                             << QVector<QPointF> {{-4, -4}, {0, -1}, {4, 2}}
                             << QVector<QPointF> {{0, 2}, {6, 3.5}, {-6, -5.5}};
    // Counter-clockwise with the y axis up: from 30° through 75° to 120°.
    const DxfEntity arc = DxfEntity::arc(o, 5, 30, 120);
    const QVector<QPointF> arcInked {onCircle(o, 5, 35), onCircle(o, 5, 75), onCircle(o, 5, 115)};
    const QVector<QPointF> arcBlank {onCircle(o, 5, 200), onCircle(o, 5, 270), onCircle(o, 5, 0)};
    QTest::newRow("arc") << arc << false << false << arcInked << arcBlank;
    QTest::newRow("arc, x reversed") << arc << true << false << arcInked << arcBlank;
    QTest::newRow("arc, y reversed") << arc << false << true << arcInked << arcBlank;
    QTest::newRow("arc across 0°")
        << DxfEntity::arc(o, 5, 340, 20) << false << false
        << QVector<QPointF> {onCircle(o, 5, 345), onCircle(o, 5, 0), onCircle(o, 5, 15)}
        << QVector<QPointF> {onCircle(o, 5, 90), onCircle(o, 5, 180), onCircle(o, 5, 270)};
    QTest::newRow("circle") << DxfEntity::circle(QPointF(1, 1), 3) << false << false
                            << QVector<QPointF> {{4, 1}, {1, 4}, {-2, 1}, {1, -2}}
                            << QVector<QPointF> {{1, 1}, {2.5, 2.5}, {3.5, 3.5}};
    // Major axis along 45°, 5.66 long; minor axis 1.41.
    QTest::newRow("turned ellipse")
        << DxfEntity::ellipse(o, QPointF(4, 4), 0.25, 0, 2 * kPi, 1e-3) << false << false
        << QVector<QPointF> {{4, 4}, {-4, -4}, {-1, 1}, {1, -1}}
        << QVector<QPointF> {{3, -3}, {-3, 3}, {0, 0}};
    // Zoomed in on a circle far larger than the view: its top crosses the view as a line.
    const DxfEntity huge = DxfEntity::circle(QPointF(0, -1e5), 1e5);
    const QVector<QPointF> hugeInked {{0, 0}, {-8, 0}, {8, 0}};
    const QVector<QPointF> hugeBlank {{0, 3}, {0, -3}};
    QTest::newRow("huge circle") << huge << false << false << hugeInked << hugeBlank;
    QTest::newRow("huge arc, y reversed")
        << DxfEntity::arc(QPointF(0, -1e5), 1e5, 85, 95) << false << true << hugeInked << hugeBlank;
    QTest::newRow("huge arc beside the view")
        << DxfEntity::arc(QPointF(0, -1e5), 1e5, 100, 120) << false << false << QVector<QPointF> {}
        << QVector<QPointF> {{0, 0}, {-8, 0}, {8, 0}};
}

// Each kind of entity is stroked where it lies, arcs counter-clockwise as the y axis points up,
// whichever way the axes run.
void TestDxfPlotItems::entitiesAppearWhereTheyLie()
{
    QFETCH(DxfEntity, entity);
    QFETCH(bool, xReversed);
    QFETCH(bool, yReversed);
    QFETCH(QVector<QPointF>, inked);
    QFETCH(QVector<QPointF>, blank);

    Plot plot;
    plot.resize(400, 400);
    plot.xAxis->setRange(-10, 10);
    plot.yAxis->setRange(-10, 10);
    plot.xAxis->setRangeReversed(xReversed);
    plot.yAxis->setRangeReversed(yReversed);
    DxfDrawing drawing;
    drawing.append(entity);
    DxfPlotItems items(&plot);
    items.show(drawing);
    plot.replot();
    QString name = QStringLiteral("dxf_entity_") + QString::fromUtf8(QTest::currentDataTag());
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("_"));
    const testsupport::GrabResult grab = testsupport::grabWindow(&plot, name);
    VERIFY_GRAB(grab);
    for (const QPointF &p : inked)
        QVERIFY2(inkNear(grab.image, pixelOf(plot, p)),
                 qPrintable(QStringLiteral("no ink at %1, %2").arg(p.x()).arg(p.y())));
    for (const QPointF &p : blank)
        QVERIFY2(!inkNear(grab.image, pixelOf(plot, p), 2, 200),
                 qPrintable(QStringLiteral("ink at %1, %2").arg(p.x()).arg(p.y())));
}

// A polyline of 4 * 10^5 segments, a smooth half and a half that swings across several pixels
// within each pixel column (blocks of its segments fall within a pixel column), is one
// plot item stroked with a few points per pixel column, and inks the pixels the whole polyline
// inks, within a pixel, and no others.
void TestDxfPlotItems::longPolylineLooksTheSameWithFewPoints()
{
    Plot plot;
    plot.resize(400, 300);
    plot.xAxis->setRange(-10, 10);
    plot.yAxis->setRange(-6, 6);
    const int before = plot.itemCount();
    constexpr int kSegments = 400000;
    QVector<QPointF> vertices;
    for (int i = 0; i <= kSegments; ++i) {
        const double x = -9.0 + 18.0 * i / kSegments;
        vertices << QPointF(x, 3 * std::sin(x / 2) + 0.4 * std::sin(x * 400) * (x > 0));
    }
    DxfDrawing drawing;
    for (int i = 1; i < vertices.size(); ++i)
        drawing.append(DxfEntity::line(vertices.at(i - 1), vertices.at(i)));
    // Beside the polyline: a line that runs out of the view on both sides.
    drawing.append(DxfEntity::line(QPointF(-100, -4), QPointF(100, -4)));
    DxfPlotItems items(&plot);
    items.show(drawing);
    QCOMPARE(plot.itemCount(), before + 1);
    plot.replot();
    const testsupport::GrabResult grab = testsupport::grabWindow(&plot, "dxf_long_polyline");
    VERIFY_GRAB(grab);
    const int stroked = items.item()->strokedPoints();
    QVERIFY2(stroked < 4000, qPrintable(QString::number(stroked)));

    // The whole polyline stroked as it is, with the same pen, inside the same axis rect.
    QImage exact(grab.image.size(), QImage::Format_RGB32);
    exact.fill(Qt::white);
    {
        QPainter painter(&exact);
        painter.setRenderHint(QPainter::Antialiasing, items.item()->antialiased());
        painter.setPen(kItemPen);
        painter.setClipRect(plot.axisRect()->rect());
        QVector<QPointF> pixels;
        for (const QPointF &v : vertices)
            pixels << pixelOf(plot, v);
        painter.drawPolyline(pixels.constData(), pixels.size());
        painter.drawLine(pixelOf(plot, {-100, -4}), pixelOf(plot, {100, -4}));
    }
    exact.save(QStringLiteral("dxf_long_polyline_exact.png"));
    // Within the ticks, which reach 5 pixels into the axis rect.
    const QRect inside = plot.axisRect()->rect().adjusted(7, 7, -7, -7);
    int inkedPixels = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QPointF p(x + 0.5, y + 0.5);
            if (qGray(exact.pixel(x, y)) < 100) {
                ++inkedPixels;
                QVERIFY2(inkNear(grab.image, p, 1, 200),
                         qPrintable(QString("missing %1,%2").arg(x).arg(y)));
            }
            if (qGray(grab.image.pixel(x, y)) < 100)
                QVERIFY2(inkNear(exact, p, 1, 200),
                         qPrintable(QString("extra %1,%2").arg(x).arg(y)));
        }
    }
    QVERIFY(inkedPixels > 1000);
}

GUI_TEST_MAIN(TestDxfPlotItems)
#include "tst_DxfPlotItems.moc"
