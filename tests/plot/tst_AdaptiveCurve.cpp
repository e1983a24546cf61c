#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "plot/QCPItemArc.h"
#include "plot/SuffixTicker.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"

#include <QtTest>
#include <cmath>
#include <functional>
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

// count points in the pixel column of x0, 0.01 apart, y of i-th point = wobble(i).
Points columnRun(double x0, int count, const std::function<double(int)> &wobble)
{
    Points points;
    for (int i = 0; i < count; ++i)
        points << QPointF(x0 + i * 0.01, wobble(i));
    return points;
}

Points pick(const Points &points, const QVector<int> &indices)
{
    Points picked;
    for (int i : indices)
        picked << points[i];
    return picked;
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
    void denseColumns_data();
    void denseColumns();
    void drawsTheSameTraceAsTheLibraryCurve();
    void fastDrawingMatchesLibraryLine_data();
    void fastDrawingMatchesLibraryLine();
    void roughTraceSetsThePixelsOfEverySample_data();
    void roughTraceSetsThePixelsOfEverySample();
    void summaryDrawsTheSamePicture_data();
    void summaryDrawsTheSamePicture();
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

void tst_AdaptiveCurve::denseColumns_data()
{
    QTest::addColumn<Points>("input");
    QTest::addColumn<Points>("expected");

    // 30 points in column 3 that wobble around 50, then a point in column 9.
    auto wobbly = [](int low, int high) {
        return columnRun(3.0, 30, [=](int i) {
            return i == low ? 0.0 : i == high ? 100.0 : 50 + i % 3;
        });
    };
    const QPointF next(9, 50);
    Points run = wobbly(10, 20);
    QTest::newRow("lowest before highest")
        << (run + Points {next})
        << (pick(run, {0, 1, 9, 10, 11, 19, 20, 21, 28, 29}) + Points {next});
    run = wobbly(20, 10);
    QTest::newRow("highest before lowest")
        << (run + Points {next})
        << (pick(run, {0, 1, 9, 10, 11, 19, 20, 21, 28, 29}) + Points {next});
    run = wobbly(0, 29);
    QTest::newRow("extremes at the ends")
        << (run + Points {next}) << (pick(run, {0, 1, 28, 29}) + Points {next});
    run = wobbly(4, 5);
    QTest::newRow("neighbouring extremes")
        << (run + Points {next}) << (pick(run, {0, 1, 3, 4, 5, 6, 28, 29}) + Points {next});
    run = columnRun(3.0, 30, [](int i) {
        return i == 10 || i == 15 ? 0.0 : i == 20 ? 100.0 : 50 + i % 3;
    });
    QTest::newRow("first of equal extremes")
        << (run + Points {next})
        << (pick(run, {0, 1, 9, 10, 11, 19, 20, 21, 28, 29}) + Points {next});

    // Ten points in a column are thinned as usual.
    run = columnRun(3.0, 10, [](int i) { return i * 0.4; });
    QTest::newRow("ten in a column are thinned")
        << (run + Points {next}) << (pick(run, {0, 3, 6, 9}) + Points {next});
    // After a reduced column the thinning goes on from its last point.
    run = wobbly(10, 20);
    QTest::newRow("thinning continues from the run's last point")
        << (run + Points {{4.2, 51.5}, {6, 52}})
        << (pick(run, {0, 1, 9, 10, 11, 19, 20, 21, 28, 29}) + Points {{6, 52}});
    // A column is the integer part of x rounded down: x = 0 starts a new one.
    run = columnRun(-0.9, 30, [](int i) { return i == 12 ? 0.0 : i == 14 ? 100.0 : 50 + i % 3; });
    QTest::newRow("column bounds")
        << (run + Points {{0, 0}, {0.99, 100}})
        << (pick(run, {0, 1, 11, 12, 13, 14, 15, 28, 29}) + Points {{0, 0}, {0.99, 100}});
    run = wobbly(10, 20);
    QTest::newRow("gap inside a column") << (run.mid(0, 25) + Points {{kNaN, kNaN}} + run.mid(25))
                                         << (pick(run, {0, 1, 9, 10, 11, 19, 20, 21, 23, 24})
                                             + Points {{kNaN, kNaN}} + pick(run, {25}));
}

// Many points in one pixel column are stroked as the column's first, lowest, highest and last
// point, with their neighbours, in their order; other points keep the thinning rule.
void tst_AdaptiveCurve::denseColumns()
{
    QFETCH(Points, input);
    QFETCH(Points, expected);
    Plot plot;
    auto *curve = new AdaptiveCurve(plot.xAxis, plot.yAxis);
    const Points result = curve->strokedLinePoints(input);
    QVERIFY2(result.size() == expected.size()
                 && std::equal(result.begin(), result.end(), expected.begin(), samePoint),
             qPrintable(text(result) + QStringLiteral("  expected  ") + text(expected)));
    curve->setThinning(false);
    QCOMPARE(curve->strokedLinePoints(input).size(), input.size());
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
    QTest::addColumn<double>("ripple");
    QTest::addColumn<bool>("reversed");
    QTest::newRow("full view") << 1.0 << false << false << 0.05 << false;
    QTest::newRow("full view, selected range") << 1.0 << true << false << 0.05 << false;
    QTest::newRow("zoomed") << 40.0 << false << false << 0.05 << false;
    QTest::newRow("zoomed, selected range") << 40.0 << true << false << 0.05 << false;
    QTest::newRow("falling keys (library path)") << 1.0 << false << true << 0.05 << false;
    // Samples that jump by many pixels, many to a pixel column, in steps of a reading.
    QTest::newRow("rough, full view") << 1.0 << false << false << 1.7 << false;
    QTest::newRow("rough, full view, selected range") << 1.0 << true << false << 1.7 << false;
    QTest::newRow("rough, zoomed") << 4.0 << false << false << 1.7 << false;
    // A reversed key axis: the pixel columns run from right to left as the keys rise.
    QTest::newRow("reversed key axis") << 1.0 << false << false << 0.05 << true;
    QTest::newRow("rough, reversed key axis") << 1.0 << false << false << 1.7 << true;
    QTest::newRow("rough, reversed key axis, zoomed") << 4.0 << false << false << 1.7 << true;
}

// The curve's own line computation strokes the pixels that the library's line computation,
// thinned, strokes: exactly while the whole trace is in view, and within a pixel where the line
// is cut at the view's edges.
void tst_AdaptiveCurve::fastDrawingMatchesLibraryLine()
{
    QFETCH(double, zoom);
    QFETCH(bool, selected);
    QFETCH(bool, descending);
    QFETCH(double, ripple);
    QFETCH(bool, reversed);
    QVector<double> keys, values;
    wavyTrace(30000, ripple, descending, &keys, &values);
    // Readings of an instrument come in steps, so equal heights are common in a column.
    if (ripple > 1) {
        for (double &v : values)
            v = std::round(v * 20) / 20;
    }
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
        plot.xAxis->setRangeReversed(reversed);
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

void tst_AdaptiveCurve::roughTraceSetsThePixelsOfEverySample_data()
{
    QTest::addColumn<int>("samples");
    QTest::addColumn<double>("penWidth");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("descending");
    QTest::addColumn<bool>("gap");
    QTest::addColumn<bool>("exact");
    QTest::newRow("rough") << 60000 << 0.0 << false << false << false << true;
    QTest::newRow("rough, 1 px pen") << 60000 << 1.0 << false << false << false << true;
    QTest::newRow("rough, selected range") << 60000 << 0.0 << true << false << false << true;
    QTest::newRow("rough with a gap") << 60000 << 0.0 << false << false << true << true;
    // A segment's first pixel depends on the segments before it, so where a column's extreme
    // lies at the column's edge a pixel may land in the neighbouring column; a wide pen covers
    // more than the column; a few samples per column are thinned. All stay within a pixel.
    QTest::newRow("falling keys (library path)") << 60000 << 0.0 << false << true << false << false;
    QTest::newRow("a few samples per column") << 8000 << 0.0 << false << false << false << false;
    QTest::newRow("rough, 2 px pen") << 60000 << 2.0 << false << false << false << false;
    QTest::newRow("rough, 2 px pen, selected range")
        << 60000 << 2.0 << true << false << false << false;
}

// A rough trace, whose samples jump by many pixels from one to the next, drawn by the curve sets
// the pixels that the library curve sets when it strokes every sample.
void tst_AdaptiveCurve::roughTraceSetsThePixelsOfEverySample()
{
    QFETCH(int, samples);
    QFETCH(double, penWidth);
    QFETCH(bool, selected);
    QFETCH(bool, descending);
    QFETCH(bool, gap);
    QFETCH(bool, exact);
    QVector<double> keys, values;
    for (int i = 0; i < samples; ++i) {
        keys.append((descending ? samples - i : i) * 0.5);
        values.append(3 * std::sin(i * 6.0 / samples) + std::sin(i * 0.37) + 0.5 * std::sin(i * 2.9)
                      + (gap && i > samples / 3 && i < samples / 3 + samples / 50 ? kNaN : 0));
    }
    auto render = [&](bool adaptive) {
        Plot plot;
        makeCrisp(plot);
        QCPCurve *c = adaptive ? new AdaptiveCurve(plot.xAxis, plot.yAxis)
                               : new QCPCurve(plot.xAxis, plot.yAxis);
        c->setData(keys, values);
        c->setPen(QPen(Qt::black, penWidth));
        c->setSelectable(QCP::stDataRange);
        c->selectionDecorator()->setPen(QPen(Qt::red, penWidth));
        if (selected)
            c->setSelection(QCPDataSelection(QCPDataRange(samples / 2, samples / 2 + samples / 7)));
        plot.rescaleAxes();
        return plot.toPixmap(900, 500).toImage();
    };
    const QImage adaptive = render(true);
    const QImage library = render(false);
    if (exact)
        QCOMPARE(adaptive, library);
    QCOMPARE(strayPixels(adaptive, library, 1), 0);
    QCOMPARE(strayPixels(library, adaptive, 1), 0);
}

void tst_AdaptiveCurve::summaryDrawsTheSamePicture_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<bool>("reversedValues");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("gap");
    QTest::addColumn<double>("step");
    QTest::newRow("rough, full view") << 1.0 << false << false << false << 0.0;
    // Readings in steps: many samples of a column share its lowest and highest height.
    QTest::newRow("stepped readings") << 1.0 << false << false << false << 0.05;
    QTest::newRow("reversed height axis") << 1.0 << true << false << false << 0.05;
    QTest::newRow("selected range") << 1.0 << false << true << false << 0.0;
    QTest::newRow("a gap") << 1.0 << false << false << true << 0.0;
    QTest::newRow("zoomed") << 3.0 << false << false << false << 0.05;
}

// A curve told the revision of its points strokes a crowded column from the summary of its
// blocks: the picture is the one the curve draws looking at every point.
void tst_AdaptiveCurve::summaryDrawsTheSamePicture()
{
    QFETCH(double, zoom);
    QFETCH(bool, reversedValues);
    QFETCH(bool, selected);
    QFETCH(bool, gap);
    QFETCH(double, step);
    const int samples = 1000000;
    QVector<double> keys(samples), values(samples);
    for (int i = 0; i < samples; ++i) {
        keys[i] = i * 0.5;
        double v = 3 * std::sin(i * 6.0 / samples) + std::sin(i * 0.37) + 0.5 * std::sin(i * 2.9);
        if (step > 0)
            v = std::round(v / step) * step;
        if (gap && i > samples / 3 && i < samples / 3 + 3000)
            v = kNaN;
        values[i] = v;
    }
    auto render = [&](quint64 revision) {
        Plot plot;
        makeCrisp(plot);
        auto *c = new AdaptiveCurve(plot.xAxis, plot.yAxis);
        if (revision == 9) {
            // Points and their summary made elsewhere, as a drawing made beside the GUI thread.
            QVector<QCPCurveData> points(samples);
            for (int i = 0; i < samples; ++i)
                points[i] = QCPCurveData(i, keys.at(i), values.at(i));
            c->data()->set(points, true);
            c->adoptSummary(AdaptiveCurve::summarize(points), revision);
        } else {
            c->setData(keys, values);
            c->setDataRevision(revision);
        }
        c->setSelectable(QCP::stDataRange);
        if (selected)
            c->setSelection(QCPDataSelection(QCPDataRange(samples / 2, samples / 2 + samples / 7)));
        plot.rescaleAxes();
        plot.yAxis->setRangeReversed(reversedValues);
        if (zoom > 1) {
            const QCPRange x = plot.xAxis->range();
            plot.xAxis->setRange(x.lower + x.size() * 0.37,
                                 x.lower + x.size() * 0.37 + x.size() / zoom);
        }
        QImage first = plot.toPixmap(900, 500).toImage();
        // Drawn again with the summary kept.
        QImage second = plot.toPixmap(900, 500).toImage();
        return std::make_pair(first, second);
    };
    const auto plain = render(0);
    const auto summarized = render(7);
    QCOMPARE(summarized.first, plain.first);
    QCOMPARE(summarized.second, plain.first);
    const auto handedOver = render(9);
    QCOMPARE(handedOver.first, plain.first);
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

GUI_TEST_MAIN(tst_AdaptiveCurve)
#include "tst_AdaptiveCurve.moc"
