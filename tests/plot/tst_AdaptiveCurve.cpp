#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "plot/QCPItemArc.h"
#include "plot/SuffixTicker.h"
#include "support/TestSupport.h"

#include <QtTest>
#include <cmath>
#include <limits>

using Points = QVector<QPointF>;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

bool samePoint(const QPointF &a, const QPointF &b)
{
    auto same = [](double x, double y) {
        return (std::isnan(x) && std::isnan(y)) || x == y;
    };
    return same(a.x(), b.x()) && same(a.y(), b.y());
}

QString text(const Points &points)
{
    QStringList parts;
    for (const QPointF &p : points)
        parts << QStringLiteral("(%1,%2)").arg(p.x()).arg(p.y());
    return parts.join(QLatin1Char(' '));
}

// Points stepping by (dx, dy) from the origin.
Points run(int count, double dx, double dy)
{
    Points points;
    for (int i = 0; i < count; ++i)
        points << QPointF(i * dx, i * dy);
    return points;
}

// The set pixels of an image that has no pixel within radius of a set pixel of the other one.
int strayPixels(const QImage &image, const QImage &other, int radius)
{
    auto ink = [](const QImage &im, int x, int y) {
        return qGray(im.pixel(x, y)) < 128;
    };
    int stray = 0;
    for (int y = radius; y < image.height() - radius; ++y)
        for (int x = radius; x < image.width() - radius; ++x) {
            if (!ink(image, x, y))
                continue;
            bool near = false;
            for (int dy = -radius; dy <= radius && !near; ++dy)
                for (int dx = -radius; dx <= radius && !near; ++dx)
                    near = ink(other, x + dx, y + dy);
            stray += near ? 0 : 1;
        }
    return stray;
}

// A plot drawn without antialiasing and grids, so that pictures compare pixel by pixel.
void makeCrisp(Plot &plot)
{
    plot.setNotAntialiasedElements(QCP::aeAll);
    plot.xAxis->grid()->setVisible(false);
    plot.yAxis->grid()->setVisible(false);
}

// A wavy trace of n samples with a NaN gap of 1/150 of its length at 3/10 of it.
void wavyTrace(int n, double ripple, bool descending, QVector<double> *keys,
               QVector<double> *values)
{
    for (int i = 0; i < n; ++i) {
        keys->append((descending ? n - i : i) * 0.01);
        values->append(std::sin(i * 0.001) + 0.2 * std::sin(i * ripple)
                       + (i > n * 3 / 10 && i < n * 3 / 10 + n / 150 ? kNaN : 0));
    }
}

} // namespace

class tst_AdaptiveCurve : public QObject
{
    Q_OBJECT

private slots:
    void thinning_data();
    void thinning();
    void thinningOff();
    void drawsTheSameTraceAsTheLibraryCurve();
    void fastDrawingMatchesLibraryLine_data();
    void fastDrawingMatchesLibraryLine();
    void screenshotWithoutWarnings();
};

void tst_AdaptiveCurve::thinning_data()
{
    QTest::addColumn<Points>("input");
    QTest::addColumn<Points>("expected");

    QTest::newRow("two close points unchanged")
        << Points {{0, 0}, {0.1, 0.1}} << Points {{0, 0}, {0.1, 0.1}};
    QTest::newRow("all within a pixel of the first")
        << Points {{0, 0}, {0.5, 0.2}, {-0.9, 1}, {1, -1}} << Points {{0, 0}};
    QTest::newRow("exactly one pixel is dropped")
        << Points {{0, 0}, {1, 1}, {1, -1}, {-1, 0}} << Points {{0, 0}};
    const Points slow = run(13, 0.3, 0);
    QTest::newRow("0.3 px steps keep every 4th")
        << slow << Points {slow[0], slow[4], slow[8], slow[12]};
    const Points column = run(8, 0, 0.4);
    QTest::newRow("vertical run in one column")
        << column << Points {column[0], column[3], column[6]};
    QTest::newRow("compared with the last kept, not the previous")
        << Points {{0, 0}, {0.6, 0}, {1.2, 0}, {1.8, 0}, {2.4, 0}}
        << Points {{0, 0}, {1.2, 0}, {2.4, 0}};
    QTest::newRow("last point only when it passes")
        << Points {{0, 0}, {5, 0}, {5.5, 0.5}} << Points {{0, 0}, {5, 0}};
    QTest::newRow("back and forth")
        << Points {{0, 0}, {3, 0}, {3.5, 0}, {0, 0}, {0, 0.5}} << Points {{0, 0}, {3, 0}, {0, 0}};

    // A NaN is a gap: kept once, with the last point before it; the next point starts anew.
    QTest::newRow("gap is never bridged")
        << Points {{0, 0}, {10, 0}, {kNaN, kNaN}, {20, 0}, {30, 0}}
        << Points {{0, 0}, {10, 0}, {kNaN, kNaN}, {20, 0}, {30, 0}};
    QTest::newRow("gap inside one pixel")
        << Points {{0, 0}, {0.5, 0}, {kNaN, 0}, {0.6, 0}, {0.7, 0}}
        << Points {{0, 0}, {0.5, 0}, {kNaN, 0}, {0.6, 0}};
    QTest::newRow("leading NaN hides nothing")
        << Points {{kNaN, kNaN}, {0, 0}, {5, 0}, {10, 0}} << Points {{0, 0}, {5, 0}, {10, 0}};
    QTest::newRow("run of NaNs is one gap")
        << Points {{0, 0}, {5, 0}, {0, kNaN}, {kNaN, 1}, {kNaN, kNaN}, {6, 0}, {9, 0}}
        << Points {{0, 0}, {5, 0}, {0, kNaN}, {6, 0}, {9, 0}};
    QTest::newRow("trailing NaN") << Points {{0, 0}, {5, 0}, {5.2, 0}, {kNaN, kNaN}}
                                  << Points {{0, 0}, {5, 0}, {5.2, 0}, {kNaN, kNaN}};
    QTest::newRow("only NaNs") << Points {{kNaN, 0}, {kNaN, 0}, {0, kNaN}} << Points {};
}

void tst_AdaptiveCurve::thinning()
{
    QFETCH(Points, input);
    QFETCH(Points, expected);
    Plot plot;
    auto *curve = new AdaptiveCurve(plot.xAxis, plot.yAxis);
    QVERIFY(curve->thinning());
    QCOMPARE(plot.curve(0), curve);
    const Points result = curve->thinLinePoints(input);
    QVERIFY2(result.size() == expected.size()
                 && std::equal(result.begin(), result.end(), expected.begin(), samePoint),
             qPrintable(text(result) + QStringLiteral("  expected  ") + text(expected)));
}

void tst_AdaptiveCurve::thinningOff()
{
    Plot plot;
    auto *curve = new AdaptiveCurve(plot.xAxis, plot.yAxis);
    curve->setThinning(false);
    const Points input = run(50, 0.01, 0.01);
    QCOMPARE(curve->thinLinePoints(input), input);
}

// Thinning moves no stroke by more than a pixel: the thinned picture and the library curve's
// picture of a noisy trace cover the same pixels.
void tst_AdaptiveCurve::drawsTheSameTraceAsTheLibraryCurve()
{
    QVector<double> keys, values;
    wavyTrace(20000, 1.7, false, &keys, &values);
    auto render = [&](bool adaptive) {
        Plot plot;
        makeCrisp(plot);
        QCPCurve *c = adaptive ? new AdaptiveCurve(plot.xAxis, plot.yAxis)
                               : new QCPCurve(plot.xAxis, plot.yAxis);
        c->setData(keys, values);
        plot.rescaleAxes();
        return plot.toPixmap(800, 500).toImage();
    };
    const QImage thinned = render(true);
    const QImage full = render(false);
    QCOMPARE(strayPixels(thinned, full, 1), 0);
    QCOMPARE(strayPixels(full, thinned, 1), 0);
}

void tst_AdaptiveCurve::fastDrawingMatchesLibraryLine_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("descending");
    QTest::newRow("full view") << 1.0 << false << false;
    QTest::newRow("full view, selected range") << 1.0 << true << false;
    QTest::newRow("zoomed") << 40.0 << false << false;
    QTest::newRow("zoomed, selected range") << 40.0 << true << false;
    QTest::newRow("falling keys (library path)") << 1.0 << false << true;
}

// The curve's own line computation strokes the pixels that the library's line computation,
// thinned, strokes: exactly while the whole trace is in view, and within a pixel where the line
// is cut at the view's edges.
void tst_AdaptiveCurve::fastDrawingMatchesLibraryLine()
{
    QFETCH(double, zoom);
    QFETCH(bool, selected);
    QFETCH(bool, descending);
    QVector<double> keys, values;
    wavyTrace(30000, 0.05, descending, &keys, &values);
    auto render = [&](bool fast) {
        Plot plot;
        makeCrisp(plot);
        auto *c = new AdaptiveCurve(plot.xAxis, plot.yAxis);
        c->setFastDrawing(fast);
        c->setData(keys, values);
        c->setSelectable(QCP::stDataRange);
        if (selected)
            c->setSelection(QCPDataSelection(QCPDataRange(12000, 14000)));
        plot.rescaleAxes();
        if (zoom > 1) {
            const QCPRange x = plot.xAxis->range();
            plot.xAxis->setRange(x.lower + x.size() * 0.37,
                                 x.lower + x.size() * 0.37 + x.size() / zoom);
        }
        return plot.toPixmap(900, 500).toImage();
    };
    const QImage fast = render(true);
    const QImage library = render(false);
    if (zoom == 1.0) {
        QCOMPARE(fast, library);
    } else {
        QCOMPARE(strayPixels(fast, library, 1), 0);
        QCOMPARE(strayPixels(library, fast, 1), 0);
    }
}

// A plot with an arc, suffixed axes and a million-point thinned trace renders to a PNG file
// without a single Qt warning.
void tst_AdaptiveCurve::screenshotWithoutWarnings()
{
    testsupport::ScratchDir scratch;
    testsupport::WarningCollector warnings;
    const QString file = scratch.filePath(QStringLiteral("plot.png"));
    {
        Plot plot;
        plot.resize(1600, 900);
        const int n = 1000000;
        QVector<double> keys(n), values(n);
        for (int i = 0; i < n; ++i) {
            keys[i] = i * 0.004;
            values[i] = 2 * std::sin(i * 1e-4) + 0.3 * std::sin(i * 0.37);
        }
        auto *trace = new AdaptiveCurve(plot.xAxis, plot.yAxis);
        trace->setData(keys, values);
        trace->setPen(QPen(Qt::darkBlue));
        auto *arc = new QCPItemArc(&plot);
        arc->topLeft->setCoords(1000, 2.5);
        arc->bottomRight->setCoords(3000, -2.5);
        arc->startAngle = 30 * 16;
        arc->spanAngle = 120 * 16;
        arc->setPen(QPen(Qt::red, 2));
        setTickSuffix(plot.xAxis, QStringLiteral(" мкм"));
        setTickSuffix(plot.yAxis, QStringLiteral("%"));
        plot.setInteractions(QCP::iSelectPlottables | Plot::iKeepSelections
                             | Plot::iRangeSelection);
        plot.rescaleAxes();
        QVERIFY(plot.savePng(file, 1600, 900));
        QVERIFY(plot.xAxis->tickVectorLabels().first().endsWith(QStringLiteral(" мкм")));
    }
    const QImage image(file);
    QCOMPARE(image.size(), QSize(1600, 900));
    int blue = 0;
    int red = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) {
            const QColor c = image.pixelColor(x, y);
            blue += c.blue() > 100 && c.red() < 60 && c.green() < 60;
            red += c.red() > 200 && c.green() < 80 && c.blue() < 80;
        }
    QVERIFY(blue > 1000);
    QVERIFY(red > 50);
    VERIFY_NO_WARNINGS(warnings);
}

QTEST_MAIN(tst_AdaptiveCurve)
#include "tst_AdaptiveCurve.moc"
