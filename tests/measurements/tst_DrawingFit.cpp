#include "measurements/DrawingFit.h"

#include <QtTest>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// The contour of a stepped part in millimetres: a shoulder with a fillet, a flat top with a
// rounded edge and a lower end; nothing in it is symmetric.
DxfDrawing steppedPart(double f)
{
    DxfDrawing d;
    d.append(DxfEntity::line(QPointF(0, 0) * f, QPointF(4, 0) * f));
    d.append(DxfEntity::arc(QPointF(4, 1) * f, 1 * f, 270, 360));
    d.append(DxfEntity::line(QPointF(5, 1) * f, QPointF(5, 3) * f));
    d.append(DxfEntity::line(QPointF(5, 3) * f, QPointF(9, 3) * f));
    d.append(DxfEntity::arc(QPointF(9, 2) * f, 1 * f, 0, 90));
    d.append(DxfEntity::line(QPointF(10, 2) * f, QPointF(12, 2) * f));
    return d;
}

QPointF transformed(const QPointF &p, double degrees, const QPointF &pivot, const QPointF &shift)
{
    const double a = degrees * kPi / 180.0;
    const QPointF d = p - pivot;
    return pivot
        + QPointF(d.x() * std::cos(a) - d.y() * std::sin(a),
                  d.x() * std::sin(a) + d.y() * std::cos(a))
        + shift;
}

// Points every `step` along every entity of the drawing.
QVector<QPointF> sample(const DxfDrawing &d, double step)
{
    QVector<QPointF> points;
    for (int k = 0; k < d.size(); ++k) {
        const DxfEntity e = d.entity(k);
        if (e.kind == DxfEntity::Line) {
            const int n = std::max(1, int(QLineF(e.start, e.end).length() / step));
            for (int i = 0; i <= n; ++i)
                points << e.start + (e.end - e.start) * (double(i) / n);
        } else {
            const int n = std::max(1, int(e.radius * e.spanAngle * kPi / 180.0 / step));
            for (int i = 0; i <= n; ++i)
                points << e.pointAtAngle(e.startAngle + e.spanAngle * i / n);
        }
    }
    return points;
}

} // namespace

class TestDrawingFit : public QObject
{
    Q_OBJECT

private slots:
    void recoversTurnAndShift_data();
    void recoversTurnAndShift();
    void halfTurnFirst();
    void samePointLeavesDrawing();
    void progressRisesAndStops_data();
    void progressRisesAndStops();
};

void TestDrawingFit::recoversTurnAndShift_data()
{
    QTest::addColumn<double>("unitFactor");
    QTest::addColumn<double>("degrees");
    QTest::addColumn<QPointF>("shiftMm");
    QTest::addColumn<double>("pickMissMm");

    QTest::newRow("mm, 3° and (0.2, 0.1)") << 1.0 << 3.0 << QPointF(0.2, 0.1) << 0.0;
    QTest::newRow("µm, 3° and (0.2, 0.1)") << 1000.0 << 3.0 << QPointF(0.2, 0.1) << 0.0;
    QTest::newRow("nm, -2.5° and (-0.3, 0.05)") << 1e6 << -2.5 << QPointF(-0.3, 0.05) << 0.0;
    // At a usual zoom a click takes a trace point a few micrometres from the corner.
    QTest::newRow("mm, trace picked 8 µm off the corner")
        << 1.0 << 3.0 << QPointF(0.2, 0.1) << 0.008;
    QTest::newRow("µm, trace picked 20 µm off the corner")
        << 1000.0 << 3.0 << QPointF(0.2, 0.1) << -0.02;
}

// The trace is the drawing turned about (1, 2) mm and shifted. The operator picks the trace's
// image of the corner (5, 3) and then that corner of the drawing: the drawing is moved onto the
// picked trace point and fitted about it.
void TestDrawingFit::recoversTurnAndShift()
{
    QFETCH(double, unitFactor);
    QFETCH(double, degrees);
    QFETCH(QPointF, shiftMm);
    QFETCH(double, pickMissMm);
    const double f = unitFactor;
    const QPointF pivot = QPointF(1, 2) * f;
    const QPointF shift = shiftMm * f;

    const DxfDrawing original = steppedPart(f);
    QVector<QPointF> trace;
    for (const QPointF &p : sample(original, 0.002 * f))
        trace << transformed(p, degrees, pivot, shift);

    const QPointF corner = QPointF(5, 3) * f;
    const QPointF tracePoint
        = transformed(corner + QPointF(pickMissMm * f, 0), degrees, pivot, shift);
    DxfDrawing drawing = original;
    drawing.translate(tracePoint.x() - corner.x(), tracePoint.y() - corner.y());

    DrawingFit fit(drawing, trace, tracePoint, f);
    fit.fitRotation();
    fit.fitTranslation();
    fit.refine();
    fit.apply(&drawing);

    double turn = std::remainder(fit.angle() - degrees, 360.0);
    QVERIFY2(std::abs(turn) < 0.01, qPrintable(QString::number(fit.angle())));
    // Every entity end lies within 1 µm of where the trace puts it.
    for (int i = 0; i < drawing.size(); ++i) {
        const DxfEntity &fitted = drawing.entity(i);
        const DxfEntity &exact = original.entity(i);
        const QVector<QPointF> a = fitted.reperPoints();
        const QVector<QPointF> b = exact.reperPoints();
        for (int k = 0; k < 2; ++k) {
            const double miss
                = QLineF(a.at(k), transformed(b.at(k), degrees, pivot, shift)).length();
            QVERIFY2(miss < 1e-3 * f, qPrintable(QString::number(miss / f * 1000) + " µm"));
        }
    }
}

void TestDrawingFit::halfTurnFirst()
{
    const DxfDrawing original = steppedPart(1.0);
    const QPointF pivot(6, 1.5);
    QVector<QPointF> trace;
    for (const QPointF &p : sample(original, 0.01))
        trace << transformed(p, 180.0, pivot, QPointF());
    DrawingFit fit(original, trace, pivot, 1.0);
    const double before = fit.error();
    const double after = fit.fitRotation();
    QCOMPARE(fit.angle(), 180.0);
    QVERIFY(after < 1e-9 * before);
}

void TestDrawingFit::samePointLeavesDrawing()
{
    const DxfDrawing original = steppedPart(1.0);
    const QVector<QPointF> trace = sample(original, 0.01);
    DrawingFit fit(original, trace, QPointF(5, 3), 1.0);
    fit.fitRotation();
    fit.fitTranslation();
    QCOMPARE(fit.angle(), 0.0);
    QCOMPARE(fit.shift(), QPointF());
    QVERIFY(fit.error() < 1e-9);
}

void TestDrawingFit::progressRisesAndStops_data()
{
    QTest::addColumn<int>("stopAt");
    QTest::newRow("runs to the end") << -1;
    QTest::newRow("stopped at the first report") << 0;
    QTest::newRow("stopped during the rotation search") << 10;
    // Reports come within the sums as well: a stop there ends the trial in progress.
    QTest::newRow("stopped late") << 200;
}

// The whole fit reports its progress, never running back and ending near 1, and gives the same
// pose as the three searches called one by one. Once the report answers false, it is not asked
// again: no further trial is measured, and the fit says it was stopped.
void TestDrawingFit::progressRisesAndStops()
{
    QFETCH(int, stopAt);
    const DxfDrawing original = steppedPart(1.0);
    QVector<QPointF> trace;
    // Enough points for reports within a sum.
    for (const QPointF &p : sample(original, 0.0005))
        trace << transformed(p, 3.0, QPointF(1, 2), QPointF(0.2, 0.1));
    const QPointF tracePoint = transformed(QPointF(5, 3), 3.0, QPointF(1, 2), QPointF(0.2, 0.1));
    DxfDrawing drawing = original;
    drawing.translate(tracePoint.x() - 5, tracePoint.y() - 3);

    QVector<double> reports;
    DrawingFit fit(drawing, trace, tracePoint, 1.0);
    fit.setProgress([&](double fraction) {
        reports << fraction;
        return reports.size() - 1 != stopAt;
    });
    fit.fitAll();
    QVERIFY(std::is_sorted(reports.cbegin(), reports.cend()));
    QVERIFY(reports.first() >= 0.0 && reports.last() <= 1.0);
    if (stopAt >= 0) {
        QVERIFY(fit.stopped());
        QCOMPARE(reports.size(), stopAt + 1);
        return;
    }
    QVERIFY(!fit.stopped());
    QVERIFY2(reports.size() > 300, qPrintable(QString::number(reports.size())));
    QVERIFY2(reports.last() > 0.9, qPrintable(QString::number(reports.last())));
    DrawingFit plain(drawing, trace, tracePoint, 1.0);
    plain.fitRotation();
    plain.fitTranslation();
    plain.refine();
    QCOMPARE(fit.angle(), plain.angle());
    QCOMPARE(fit.shift(), plain.shift());
}

QTEST_APPLESS_MAIN(TestDrawingFit)
#include "tst_DrawingFit.moc"
