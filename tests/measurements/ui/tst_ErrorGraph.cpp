#include "measurements/ui/ErrorGraph.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"
#include "support/gui/PlotDriver.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {

QStringList texts(const ErrorGraph &graph)
{
    QStringList out;
    for (const QCPItemText *label : graph.labels())
        out << label->text();
    return out;
}

} // namespace

class TestErrorGraph : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void scale_data();
    void scale();
    void scaleMatchesBand_data();
    void scaleMatchesBand();
    void textUnderLastNumber();
    void numbersStandOutsideTheGraph_data();
    void numbersStandOutsideTheGraph();
    void numbersFollowTheView_data();
    void numbersFollowTheView();
    void curveData();
    void wheelKeepsPixelGeometry();
    void destructionLeavesPlotClean();

private:
    testsupport::ScratchDir *m_scratch = nullptr;
    Plot *m_plot = nullptr;
};

void TestErrorGraph::init()
{
    m_scratch = new testsupport::ScratchDir;
    m_plot = new Plot;
    m_plot->resize(600, 400);
    m_plot->xAxis->setRange(0, 10);
    m_plot->yAxis->setRange(-5, 5);
    m_plot->replot();
}

void TestErrorGraph::cleanup()
{
    delete m_plot;
    m_plot = nullptr;
    delete m_scratch;
    m_scratch = nullptr;
}

void TestErrorGraph::scale_data()
{
    QTest::addColumn<double>("minValue");
    QTest::addColumn<double>("maxValue");
    QTest::addColumn<QStringList>("labels");

    QTest::newRow("0 to 0.037: step 0.005")
        << 0.0 << 0.037
        << QStringList {"0", "0.005", "0.01", "0.015", "0.02", "0.025", "0.03", "0.035"};
    // Summing steps would give a last value a rounding error above 0.01 and lose it, and a
    // middle value of about 1.7e-18 instead of 0.
    QTest::newRow("-0.02 to 0.013: 0 and the last tick kept")
        << -0.02 << 0.013
        << QStringList {"-0.02", "-0.015", "-0.01", "-0.005", "0", "0.005", "0.01"};
    QTest::newRow("1.5 wide: step 0.2")
        << 0.1 << 1.6 << QStringList {"0.2", "0.4", "0.6", "0.8", "1", "1.2", "1.4", "1.6"};
    QTest::newRow("reversed range")
        << 0.037 << 0.0
        << QStringList {"0", "0.005", "0.01", "0.015", "0.02", "0.025", "0.03", "0.035"};
    QTest::newRow("degenerate range") << 0.25 << 0.25 << QStringList {};
    QTest::newRow("a range of 1e-12 far from 0") << 1.0 << 1.0 + 1e-12 << QStringList {"1", "1"};
    QTest::newRow("a range of one double far from 0")
        << 1e17 << std::nextafter(1e17, 2e17) << QStringList {"1e+17", "1e+17"};
    QTest::newRow("not a number") << 0.0 << std::numeric_limits<double>::quiet_NaN()
                                  << QStringList {};
    QTest::newRow("infinite") << 0.0 << std::numeric_limits<double>::infinity() << QStringList {};
    // Small deviations in millimetres read in plain decimals, never in exponent form.
    QTest::newRow("tenths of a micrometre in millimetres")
        << 0.00002 << 0.000238 << QStringList {"0.00005", "0.0001", "0.00015", "0.0002"};
    QTest::newRow("negative hundredths")
        << -0.00042 << 0.00011
        << QStringList {"-0.0004", "-0.0003", "-0.0002", "-0.0001", "0", "0.0001"};
    // Not divided more finely than the six decimals of the value.
    QTest::newRow("micrometres in millimetres")
        << 0.0000017 << 0.0000071
        << QStringList {"0.000002", "0.000003", "0.000004", "0.000005", "0.000006", "0.000007"};
    // Rounding noise of an exact shape: one number, 0, where there was a scale of 1e-15.
    QTest::newRow("rounding noise") << -2.2e-15 << 0.0 << QStringList {"0"};
    QTest::newRow("nanometres") << 120.0 << 4380.0 << QStringList {"500",  "1000", "1500", "2000",
                                                                   "2500", "3000", "3500", "4000"};
}

void TestErrorGraph::scale()
{
    QFETCH(double, minValue);
    QFETCH(double, maxValue);
    QFETCH(QStringList, labels);

    ErrorGraph graph(m_plot);
    graph.tip1 = QVector2D(5, -4);
    graph.base1 = QVector2D(5, 2);
    graph.minValue = minValue;
    graph.maxValue = maxValue;
    graph.draw(3.0, QString());
    const QStringList shown = texts(graph);
    if (labels.size() == 2 && labels.at(0) == labels.at(1)) {
        // Values closer together than six digits show: only their number is certain.
        QVERIFY2(shown.size() >= 1 && shown.size() <= ErrorGraph::kMaxTicks,
                 qPrintable(QString::number(shown.size())));
    } else {
        QCOMPARE(shown, labels);
    }
    QCOMPARE(graph.ticks().size(), shown.size());
    // Drawing again replaces the scale.
    graph.draw(3.0, QString());
    QCOMPARE(graph.ticks().size(), shown.size());
    QCOMPARE(m_plot->itemCount(), 2 + 2 * shown.size());
}

void TestErrorGraph::scaleMatchesBand_data()
{
    QTest::addColumn<QVector2D>("base0");
    QTest::addColumn<QVector2D>("base1");

    // The band puts the largest deviation `scale` above the tips; the ends of the chord may lie
    // anywhere above the band.
    QTest::newRow("level chord") << QVector2D(1, 2) << QVector2D(8, 2);
    QTest::newRow("V: left end far above") << QVector2D(1, 4.5) << QVector2D(8, 0.5);
    QTest::newRow("groove: right end far above") << QVector2D(1, 0.5) << QVector2D(8, 4);
}

void TestErrorGraph::scaleMatchesBand()
{
    QFETCH(QVector2D, base0);
    QFETCH(QVector2D, base1);

    ErrorGraph graph(m_plot);
    graph.base0 = base0;
    graph.base1 = base1;
    graph.tip0 = QVector2D(base0.x(), -3);
    graph.tip1 = QVector2D(base1.x(), -3);
    graph.minValue = 0.0;
    graph.maxValue = 0.04;
    const double bandHeight = 2.5;
    graph.draw(bandHeight, QString());
    QCOMPARE(texts(graph).last(), QStringLiteral("0.04"));
    for (int i = 0; i < graph.ticks().size(); ++i) {
        const QPointF at = graph.ticks().at(i)->start->coords();
        const double value = texts(graph).at(i).toDouble();
        QVERIFY(std::abs(at.x() - base1.x()) < 1e-6);
        QVERIFY2(std::abs(at.y() - (-3 + bandHeight * value / 0.04)) < 1e-5,
                 qPrintable(QString::number(at.y())));
    }
}

void TestErrorGraph::textUnderLastNumber()
{
    ErrorGraph graph(m_plot);
    graph.tip1 = QVector2D(5, -4);
    graph.base1 = QVector2D(5, 2);
    graph.minValue = 0.0;
    graph.maxValue = 0.037;
    graph.draw(3.0, QStringLiteral("мкм"));
    QCOMPARE(texts(graph).first(), QStringLiteral("0"));
    QCOMPARE(texts(graph).last(), QStringLiteral("0.035\nмкм"));
}

void TestErrorGraph::numbersStandOutsideTheGraph_data()
{
    QTest::addColumn<QVector2D>("base0");
    QTest::addColumn<QVector2D>("tip0");
    QTest::addColumn<QVector2D>("base1");
    QTest::addColumn<QVector2D>("tip1");
    // The band below a stretch: the scale on its right edge.
    QTest::newRow("band, scale on the right")
        << QVector2D(3, 1) << QVector2D(3, -3) << QVector2D(6, 1) << QVector2D(6, -3);
    QTest::newRow("band, scale on the left")
        << QVector2D(6, 1) << QVector2D(6, -3) << QVector2D(3, 1) << QVector2D(3, -3);
    // The polar graph: connectors running outward from an arc.
    QTest::newRow("polar, scale on the right")
        << QVector2D(3.5, 1) << QVector2D(2.5, -2) << QVector2D(6.5, 1) << QVector2D(7.5, -2);
    QTest::newRow("polar, scale on the left")
        << QVector2D(6.5, 1) << QVector2D(7.5, -2) << QVector2D(3.5, 1) << QVector2D(2.5, -2);
}

// With room on both sides of the scale, its numbers stand on the side away from the graph, not
// over the graph's curve between the two lines.
void TestErrorGraph::numbersStandOutsideTheGraph()
{
    QFETCH(QVector2D, base0);
    QFETCH(QVector2D, tip0);
    QFETCH(QVector2D, base1);
    QFETCH(QVector2D, tip1);
    ErrorGraph graph(m_plot);
    graph.base0 = base0;
    graph.tip0 = tip0;
    graph.base1 = base1;
    graph.tip1 = tip1;
    graph.setLine(0, base0, tip0);
    graph.setLine(1, base1, tip1);
    graph.minValue = -0.04;
    graph.maxValue = 0.04;
    graph.draw(2.0, QString());
    m_plot->replot();
    QCPAxis *x = m_plot->xAxis;
    const double line0 = x->coordToPixel((base0.x() + tip0.x()) / 2);
    const double line1 = x->coordToPixel((base1.x() + tip1.x()) / 2);
    int shown = 0;
    for (int i = 0; i < graph.labels().size(); ++i) {
        const QCPItemText *label = graph.labels().at(i);
        if (!label->visible())
            continue;
        ++shown;
        const QRectF box
            = QRectF(label->topLeft->pixelPosition(), label->bottomRight->pixelPosition())
                  .normalized();
        // Beside its own tick, on the far side of it from line 0.
        const double tick = graph.ticks().at(i)->start->pixelPosition().x();
        if (line1 > line0)
            QVERIFY2(box.left() >= tick, qPrintable(label->text()));
        else
            QVERIFY2(box.right() <= tick, qPrintable(label->text()));
    }
    QVERIFY(shown >= 2);
}

void TestErrorGraph::numbersFollowTheView_data()
{
    QTest::addColumn<double>("factor"); // the plot's geometry is scaled by it, as a unit change
    QTest::addColumn<double>("zoom"); // then the view is zoomed in by it about a tick
    QTest::newRow("to micrometres") << 1000.0 << 1.0;
    QTest::newRow("back to millimetres") << 0.001 << 1.0;
    QTest::newRow("zoomed in") << 1.0 << 20.0;
}

// The numbers stand a few pixels from their ticks whatever the view does after the scale was
// drawn: a change of unit moves the whole geometry and frames it anew, a zoom changes the units
// per pixel. Laid out in the pixels of the view of another moment, a number would stand far
// from its tick (and a framing that takes in the numbers would take in the whole plane).
void TestErrorGraph::numbersFollowTheView()
{
    QFETCH(double, factor);
    QFETCH(double, zoom);
    ErrorGraph graph(m_plot);
    graph.base0 = QVector2D(2, 1);
    graph.tip0 = QVector2D(2, -3);
    graph.base1 = QVector2D(8, 1);
    graph.tip1 = QVector2D(8, -3);
    graph.setLine(0, graph.base0, graph.tip0);
    graph.setLine(1, graph.base1, graph.tip1);
    graph.minValue = 0.0;
    graph.maxValue = 0.037;
    graph.draw(3.0, QString());
    m_plot->replot();

    // The geometry moved as a change of unit moves it, the measurement drawn again in the new
    // unit while the view still shows the old one, and then the view framed anew.
    for (int i = 0; i < m_plot->itemCount(); ++i) {
        for (QCPItemPosition *position : m_plot->item(i)->positions())
            position->setCoords(position->coords() * factor);
    }
    graph.base0 *= float(factor);
    graph.tip0 *= float(factor);
    graph.base1 *= float(factor);
    graph.tip1 *= float(factor);
    graph.draw(3.0 * factor, QString());
    const QPointF middle = graph.ticks().at(3)->start->coords();
    m_plot->xAxis->setRange(middle.x() - 5 * factor / zoom, middle.x() + 5 * factor / zoom);
    m_plot->yAxis->setRange(middle.y() - 5 * factor / zoom, middle.y() + 5 * factor / zoom);
    m_plot->replot();

    const QRectF area = m_plot->axisRect()->rect();
    int checked = 0;
    for (int i = 0; i < graph.labels().size(); ++i) {
        const QCPItemText *label = graph.labels().at(i);
        const QPointF tick = graph.ticks().at(i)->end->pixelPosition();
        if (!label->visible() || !area.contains(tick))
            continue;
        ++checked;
        const QRectF box
            = QRectF(label->topLeft->pixelPosition(), label->bottomRight->pixelPosition())
                  .normalized();
        const double gap
            = std::hypot(std::max({box.left() - tick.x(), tick.x() - box.right(), 0.0}),
                         std::max({box.top() - tick.y(), tick.y() - box.bottom(), 0.0}));
        QVERIFY2(
            gap < 10,
            qPrintable(
                QStringLiteral("%1 stands %2 pixels from its tick").arg(label->text()).arg(gap)));
    }
    QVERIFY(checked >= 1);
}

void TestErrorGraph::curveData()
{
    ErrorGraph graph(m_plot);
    QVector<QVector<double>> reference {{1, 2, 3}, {0, 0.5, 0}};
    graph.reference = reference;
    reference[0][0] = 99.0; // the caller's vector is its own
    graph.setGraphData({1, 2, 3}, {-2, -1.5, -2});
    QCOMPARE(graph.curve()->data()->size(), 3);
    graph.setGraphData({1, 2}, {0, 0, 0});
    graph.setGraphData({}, {});
    QCOMPARE(graph.curve()->data()->size(), 3);
    QCOMPARE(graph.curve()->data()->at(1)->value, -1.5);
    QCOMPARE(graph.reference.at(0).at(0), 1.0);
    QCOMPARE(graph.curve()->selectable(), QCP::stNone);
    graph.setHighlighted(true);
    QCOMPARE(graph.line(1)->pen().color(), QColor(Qt::green));
    graph.setHighlighted(false);
    QCOMPARE(graph.line(0)->pen().color(), QColor(Qt::black));
}

// A wheel zoom is applied by the plot after it announces the wheel; the rebuild follows the
// zoom, so the tips keep their pixel distance from the bases and the scale its place on line 1.
void TestErrorGraph::wheelKeepsPixelGeometry()
{
    m_plot->setInteractions(QCP::iRangeZoom);
    testsupport::PlotDriver driver(m_plot);
    ErrorGraph graph(m_plot);
    graph.base0 = QVector2D(2, 1);
    graph.base1 = QVector2D(8, 1);
    graph.tip0 = QVector2D(2, -2);
    graph.tip1 = QVector2D(8, -2);
    graph.setLine(0, graph.base0, graph.tip0);
    graph.setLine(1, graph.base1, graph.tip1);
    graph.reference = {{2, 5, 8}, {1, 1.5, 1}};
    graph.setGraphData({2, 5, 8}, {-2, -1, -2});
    graph.minValue = 0.0;
    graph.maxValue = 1.0;
    graph.draw(1.5, QString());
    m_plot->replot();
    QCPAxis *y = m_plot->yAxis;
    const double tipPixels = y->coordToPixel(1) - y->coordToPixel(-2);
    const double topTickPixels
        = y->coordToPixel(graph.ticks().last()->start->coords().y()) - y->coordToPixel(-2);
    const double curvePixels = y->coordToPixel(1.5) - y->coordToPixel(-1);

    // Without the flag the graph stays where it is in plot coordinates.
    driver.wheel(5, 0, 1);
    QCoreApplication::processEvents();
    QCOMPARE(graph.tip1, QVector2D(8, -2));

    graph.refreshOnWheel = true;
    const QCPRange before = y->range();
    driver.wheel(5, 0, 1);
    QVERIFY(y->range().size() < before.size());
    QTRY_VERIFY(
        std::abs(y->coordToPixel(graph.base1.y()) - y->coordToPixel(graph.tip1.y()) - tipPixels)
        < 0.01);
    QVERIFY(std::abs(y->coordToPixel(graph.ticks().last()->start->coords().y())
                     - y->coordToPixel(graph.tip1.y()) - topTickPixels)
            < 0.01);
    QVERIFY(std::abs(y->coordToPixel(1.5) - y->coordToPixel(graph.curve()->data()->at(1)->value)
                     - curvePixels)
            < 0.01);
    QCOMPARE(graph.line(1)->end->coords().y(), double(graph.tip1.y()));
}

void TestErrorGraph::destructionLeavesPlotClean()
{
    auto *other = new AdaptiveCurve(m_plot->xAxis, m_plot->yAxis);
    Q_UNUSED(other)
    const int curves = m_plot->curveCount();
    const int items = m_plot->itemCount();
    auto *graph = new ErrorGraph(m_plot);
    graph->minValue = 0;
    graph->maxValue = 1;
    graph->tip1 = QVector2D(1, 1);
    graph->base1 = QVector2D(1, 2);
    graph->draw(1.0, QStringLiteral("мм"));
    QCOMPARE(m_plot->curveCount(), curves + 1);
    QVERIFY(m_plot->itemCount() > items + 2);
    delete graph;
    QCOMPARE(m_plot->curveCount(), curves);
    QCOMPARE(m_plot->itemCount(), items);
    QCOMPARE(m_plot->curve(curves - 1), other);

    // A graph outliving its plot does not touch it.
    auto *late = new ErrorGraph(m_plot);
    delete m_plot;
    m_plot = nullptr;
    delete late;
}

GUI_TEST_MAIN(TestErrorGraph)
#include "tst_ErrorGraph.moc"
