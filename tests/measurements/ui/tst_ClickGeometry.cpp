#include "measurements/ui/ClickDistaceMeasurement.h"
#include "measurements/ui/MeasurementsManager.h"
#include "measurements/ui/ReperPoint.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "support/TempSettings.h"
#include "support/gui/GuiTest.h"
#include "support/gui/PlotDriver.h"
#include "support/gui/WindowGrab.h"

#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

// A trapezoidal thread of period 1 and height 1 (ridge flats 0.2, groove flats 0.4, flanks 0.2
// wide), sampled every 0.001 over six periods.
QVector<QPointF> threadProfile()
{
    QVector<QPointF> points;
    for (int i = 0; i <= 6000; ++i) {
        const double x = i * 0.001;
        const double u = x - std::floor(x);
        double y = 0.0;
        if (u >= 0.2 && u < 0.4)
            y = (u - 0.2) / 0.2;
        else if (u >= 0.4 && u < 0.6)
            y = 1.0;
        else if (u >= 0.6 && u < 0.8)
            y = 1.0 - (u - 0.6) / 0.2;
        points << QPointF(x, y);
    }
    return points;
}

} // namespace

class TestClickGeometry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void clicks_data();
    void clicks();
    void sameXRefused();
    void ignoredReleases_data();
    void ignoredReleases();
    void parallelLines_data();
    void parallelLines();
    void followsCurveData();
    void threadMeanDiameter_data();
    void threadMeanDiameter();
    void threadRefusesSingleRidge();
    void constructionThroughManager();

private:
    AdaptiveCurve *addCurve(const QVector<QPointF> &points);

    std::unique_ptr<testsupport::TempSettings> m_settings;
    Plot *m_plot = nullptr;
    AdaptiveCurve *m_curve = nullptr;
};

AdaptiveCurve *TestClickGeometry::addCurve(const QVector<QPointF> &points)
{
    auto *curve = new AdaptiveCurve(m_plot->xAxis, m_plot->yAxis);
    QVector<double> keys, values;
    for (const QPointF &p : points) {
        keys << p.x();
        values << p.y();
    }
    curve->setData(keys, values);
    return curve;
}

void TestClickGeometry::init()
{
    m_settings = std::make_unique<testsupport::TempSettings>();
    m_plot = new Plot;
    m_plot->resize(800, 600);
    m_plot->setInteractions(Plot::iRangeSelection);
    m_plot->xAxis->setRange(-1, 7);
    m_plot->yAxis->setRange(-1, 7);
    m_curve = addCurve({{0, 1}, {1, 2}, {2, 5}, {3, 6}, {3.2, 1.5}, {5, 3}});
}

void TestClickGeometry::cleanup()
{
    delete m_plot;
    m_plot = nullptr;
    m_settings.reset();
}

void TestClickGeometry::clicks_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QVector<QPointF>>("clicks");
    QTest::addColumn<QVector<double>>("coefficients");
    QTest::addColumn<QPointF>("reperPoint");
    QTest::addColumn<QStringList>("statusTexts");

    const QPointF none(qQNaN(), qQNaN());
    QTest::newRow("horizontal line") << int(CLICK_HORIZONTAL_LINE) << QVector<QPointF> {{3.2, 1.5}}
                                     << QVector<double> {0, 1.5} << none << QStringList {};
    QTest::newRow("vertical line") << int(CLICK_VERTICAL_LINE) << QVector<QPointF> {{3.2, 1.5}}
                                   << QVector<double> {0, 3.2} << none << QStringList {};
    QTest::newRow("line through two points")
        << int(CLICK_DOUBLE_LINE) << QVector<QPointF> {{0, 1}, {2, 5}} << QVector<double> {2, 1}
        << none << QStringList {};
    QTest::newRow("point on the trace")
        << int(CLICK_POINT) << QVector<QPointF> {{3.2, 1.5}} << QVector<double> {0, 0}
        << QPointF(3.2, 1.5) << QStringList {};
    QTest::newRow("middle point") << int(MIDDLE_POINT) << QVector<QPointF> {{1, 2}, {3, 6}}
                                  << QVector<double> {0, 0} << QPointF(2, 4)
                                  << QStringList {"Укажите вторую точку"};
}

static ClickDistaceMeasurement *create(int kind, Plot *plot)
{
    switch (kind) {
    case CLICK_HORIZONTAL_LINE:
        return new ClickHorizontalLine(plot);
    case CLICK_VERTICAL_LINE:
        return new ClickVerticalLine(plot);
    case CLICK_DOUBLE_LINE:
        return new ClickDoubleLine(plot);
    case CLICK_POINT:
        return new ClickPoint(plot);
    case MIDDLE_POINT:
        return new MiddlePoint(plot);
    default:
        return new Thread(plot);
    }
}

void TestClickGeometry::clicks()
{
    QFETCH(int, kind);
    QFETCH(QVector<QPointF>, clicks);
    QFETCH(QVector<double>, coefficients);
    QFETCH(QPointF, reperPoint);
    QFETCH(QStringList, statusTexts);

    testsupport::PlotDriver driver(m_plot);
    std::unique_ptr<ClickDistaceMeasurement> m(create(kind, m_plot));
    QSignalSpy finished(m.get(), &Measurement::measumentFinished);
    QSignalSpy status(m.get(), &Measurement::statusText);
    for (int i = 0; i < clicks.size(); ++i) {
        QVERIFY(!m->isFinished());
        driver.move(clicks.at(i).x(), clicks.at(i).y());
        driver.click(clicks.at(i).x(), clicks.at(i).y());
    }
    QVERIFY(m->isFinished());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(m->coefficients, coefficients);
    QCOMPARE(m->valueText(), QString());
    QCOMPARE(m->value(), 0.0);
    QCOMPARE(m->nominalValue(), 0.0);
    QCOMPARE(m->tolerance(), 1.0);
    QCOMPARE(m->groupName(), QStringLiteral("Доп геометрия Линии"));
    QVERIFY(!m->isPrimary());
    QStringList texts;
    for (const QList<QVariant> &args : qAsConst(status))
        texts << args.at(0).toString();
    QCOMPARE(texts, statusTexts);
    if (!std::isnan(reperPoint.x())) {
        QCOMPARE(m->reperPointCount(), 1);
        QCOMPARE(m->reperPointList().at(0)->position(), reperPoint);
        QVERIFY(!m->line->visible());
        m->setSelected(true);
        QVERIFY(!m->line->visible());
    } else {
        QVERIFY(m->line->visible());
        // The infinite line passes through the clicked points.
        const QPointF a = m->line->point1->coords();
        const QPointF b = m->line->point2->coords();
        for (const QPointF &c : clicks) {
            const double cross
                = (b.x() - a.x()) * (c.y() - a.y()) - (b.y() - a.y()) * (c.x() - a.x());
            QVERIFY2(std::abs(cross) < 1e-5, qPrintable(QString::number(cross)));
        }
    }
    // A mouse move after the finish changes nothing.
    driver.move(5, 3);
    QCOMPARE(m->coefficients, coefficients);
}

void TestClickGeometry::sameXRefused()
{
    addCurve({{1, 0}, {1, 4}});
    testsupport::PlotDriver driver(m_plot);
    ClickDoubleLine line(m_plot);
    QSignalSpy status(&line, &Measurement::statusText);
    driver.move(1, 0);
    driver.click(1, 0);
    driver.move(1, 4);
    driver.click(1, 4);
    QVERIFY(!line.isFinished());
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(), QStringLiteral("Точки должны различаться по X"));
    // Another point with a different X completes the line.
    driver.move(3, 6);
    driver.click(3, 6);
    QVERIFY(line.isFinished());
    QCOMPARE(line.coefficients, (QVector<double> {3, -3}));
}

void TestClickGeometry::ignoredReleases_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("snapped");
    QTest::addColumn<int>("button");

    for (int kind : {int(CLICK_HORIZONTAL_LINE), int(CLICK_VERTICAL_LINE), int(CLICK_DOUBLE_LINE),
                     int(CLICK_POINT), int(MIDDLE_POINT), int(THREAD)}) {
        const QByteArray name = QByteArray::number(kind);
        QTest::newRow(name + ": right button") << kind << true << int(Qt::RightButton);
        QTest::newRow(name + ": middle button") << kind << true << int(Qt::MiddleButton);
        QTest::newRow(name + ": no point snapped") << kind << false << int(Qt::LeftButton);
    }
}

void TestClickGeometry::ignoredReleases()
{
    QFETCH(int, kind);
    QFETCH(bool, snapped);
    QFETCH(int, button);

    testsupport::PlotDriver driver(m_plot);
    std::unique_ptr<ClickDistaceMeasurement> m(create(kind, m_plot));
    QSignalSpy status(m.get(), &Measurement::statusText);
    if (snapped)
        driver.move(3.2, 1.5);
    for (int i = 0; i < 2; ++i)
        driver.release(3.2, 1.5, Qt::MouseButton(button));
    QVERIFY(!m->isFinished());
    QCOMPARE(m->coefficients, (QVector<double> {0, 0}));
    if (kind != THREAD)
        QCOMPARE(status.count(), 0);
}

void TestClickGeometry::parallelLines_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QVector<double>>("coefficients");
    QTest::addColumn<QPointF>("onLine1");
    QTest::addColumn<QPointF>("onLine2");

    QTest::newRow("horizontal") << int(CLICK_HORIZONTAL_LINE) << QVector<double> {0, 2.0}
                                << QPointF(-3, 2) << QPointF(8, 2);
    QTest::newRow("vertical") << int(CLICK_VERTICAL_LINE) << QVector<double> {0, 2.5}
                              << QPointF(2.5, -100) << QPointF(2.5, 4);
    // The manager shifts b by d·√(1 + a²) for a perpendicular distance d: 0.5 from (2, 1).
    const double b = 1 + 0.5 * std::sqrt(5.0);
    QTest::newRow("two-point") << int(CLICK_DOUBLE_LINE) << QVector<double> {2, b} << QPointF(0, b)
                               << QPointF(10, 20 + b);
}

void TestClickGeometry::parallelLines()
{
    QFETCH(int, kind);
    QFETCH(QVector<double>, coefficients);
    QFETCH(QPointF, onLine1);
    QFETCH(QPointF, onLine2);

    // No curve is needed for the copy.
    m_plot->removePlottable(m_curve);
    std::unique_ptr<ClickDistaceMeasurement> m;
    if (kind == CLICK_HORIZONTAL_LINE)
        m.reset(new ClickHorizontalLine(m_plot, coefficients));
    else if (kind == CLICK_VERTICAL_LINE)
        m.reset(new ClickVerticalLine(m_plot, coefficients));
    else
        m.reset(new ClickDoubleLine(m_plot, coefficients));
    QVERIFY(m->isFinished());
    QCOMPARE(m->coefficients, coefficients);
    QVERIFY(m->line->visible());
    const QPointF a = m->line->point1->coords();
    const QPointF d = m->line->point2->coords() - a;
    for (const QPointF &p : {onLine1, onLine2}) {
        const double cross = d.x() * (p.y() - a.y()) - d.y() * (p.x() - a.x());
        QVERIFY2(std::abs(cross) < 1e-4, qPrintable(QString::number(cross)));
    }
    // A recalculation keeps a copy where it is.
    m->calculate();
    QCOMPARE(m->coefficients, coefficients);
}

// The clicked kinds keep references to the data points: after the curve's data change (a
// levelling, a change of unit) a recalculation follows them.
void TestClickGeometry::followsCurveData()
{
    testsupport::PlotDriver driver(m_plot);
    ClickDoubleLine line(m_plot);
    driver.move(0, 1);
    driver.click(0, 1);
    driver.move(2, 5);
    driver.click(2, 5);
    QCOMPARE(line.coefficients, (QVector<double> {2, 1}));
    for (auto it = m_curve->data()->begin(); it != m_curve->data()->end(); ++it)
        it->value *= 1000, it->key *= 1000;
    line.calculate();
    QCOMPARE(line.coefficients, (QVector<double> {2, 1000}));
}

void TestClickGeometry::threadMeanDiameter_data()
{
    QTest::addColumn<double>("unit");
    QTest::newRow("mm") << 1.0;
    QTest::newRow("µm") << 1000.0;
}

// The trapezoidal thread's least-squares line lies at 0.4; its mean-diameter line at 0.25.
void TestClickGeometry::threadMeanDiameter()
{
    QFETCH(double, unit);
    QVector<QPointF> points;
    for (const QPointF &p : threadProfile())
        points << p * unit;
    m_plot->removePlottable(m_curve);
    addCurve(points);
    m_plot->xAxis->setRange(-0.5 * unit, 6.5 * unit);
    m_plot->yAxis->setRange(-2 * unit, 3 * unit);
    testsupport::PlotDriver driver(m_plot);
    Thread thread(m_plot);
    QSignalSpy finished(&thread, &Measurement::measumentFinished);
    driver.move(2.5 * unit, 1.0 * unit);
    driver.click(2.5 * unit, 1.0 * unit);
    QCOMPARE(finished.count(), 1);
    QVERIFY(std::abs(thread.coefficients.at(0)) < 1e-3);
    QVERIFY2(std::abs(thread.coefficients.at(1) / unit - 0.25) < 0.01,
             qPrintable(QString::number(thread.coefficients.at(1))));
    QCOMPARE(thread.name(), QStringLiteral("Средний диаметр"));
    QVERIFY(thread.resultLine->visible());
    QCOMPARE(thread.resultLine->start->coords().x(), 0.0);
    QCOMPARE(thread.resultLine->end->coords().x(), 6.0 * unit);
    QVERIFY(!thread.line->visible());
    VERIFY_GRAB(testsupport::grabWindow(m_plot, QStringLiteral("thread_mean_diameter")));
    // A recalculation does not move the result.
    const QVector<double> before = thread.coefficients;
    thread.calculate();
    QCOMPARE(thread.coefficients, before);
}

void TestClickGeometry::threadRefusesSingleRidge()
{
    m_plot->removePlottable(m_curve);
    QVector<QPointF> ridge;
    for (int i = 0; i <= 300; ++i) {
        const double x = i * 0.02;
        ridge << QPointF(x, x < 2 || x > 4 ? 0.0 : 2.0 - std::abs(x - 3) * 2);
    }
    addCurve(ridge);
    testsupport::PlotDriver driver(m_plot);
    Thread thread(m_plot);
    QSignalSpy status(&thread, &Measurement::statusText);
    driver.move(3, 2);
    driver.click(3, 2);
    QVERIFY(!thread.isFinished());
    QVERIFY(!thread.resultLine->visible());
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(), Thread::tooFewCrossingsText());
}

// The operator's road: a horizontal line and a line through two points are built with the
// tools; the manager marks their crossing; a parallel to the oblique line is made at 0.5.
void TestClickGeometry::constructionThroughManager()
{
    testsupport::PlotDriver driver(m_plot);
    MeasurementsManager manager(m_plot, nullptr);
    manager.setTraces({});
    manager.setMeasurementType(CLICK_HORIZONTAL_LINE, true, true, QString());
    driver.move(3.2, 1.5);
    driver.click(3.2, 1.5);
    manager.setMeasurementType(CLICK_DOUBLE_LINE, true, true, QString());
    driver.move(0, 1);
    driver.click(0, 1); // creates the line and takes its first point
    driver.move(2, 5);
    driver.click(2, 5);
    QCOMPARE(int(manager.measurementList().size()), 2);
    Measurement *oblique = manager.measurementList().back();
    QVERIFY(oblique->isFinished());
    QCOMPARE(oblique->lineCoefficients(), (QVector<double> {2, 1}));
    QCOMPARE(oblique->reperPointCount(), 1);
    const QPointF crossing = oblique->reperPointList().at(0)->position();
    QVERIFY(QLineF(crossing, QPointF(0.25, 1.5)).length() < 1e-9);

    manager.addEquidistant(oblique->id(), CLICK_DOUBLE_LINE, 0.5);
    QCOMPARE(int(manager.measurementList().size()), 3);
    const QVector<double> copy = manager.measurementList().back()->lineCoefficients();
    QCOMPARE(copy.at(0), 2.0);
    // Perpendicular distance between y = 2x + 1 and the copy.
    QVERIFY(std::abs((copy.at(1) - 1.0) / std::sqrt(5.0) - 0.5) < 1e-12);
    QVERIFY(manager.measurementList().back()->isFinished());
}

GUI_TEST_MAIN(TestClickGeometry)
#include "tst_ClickGeometry.moc"
