// Ra and Rz on a stretch of contour: against the parameter functions of the profile path, the
// cut-off chosen by the standard, the prompt for a longer stretch, the correction of contours
// recorded with the roughness sensor (also after a levelling), the label and the mouse journey
// through the measurements manager.
#include "KindFixture.h"
#include "core/ContourTrace.h"
#include "measurements/ui/RoughnessMeasurements.h"
#include "processing/CutOffs.h"
#include "processing/ProfileFilters.h"
#include "processing/ProfileParameters.h"
#include "support/LogReader.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"
#include "support/gui/WindowGrab.h"

#include <QSignalSpy>

#include <cmath>
#include <memory>

using testsupport::LogReader;
using testsupport::TempSettings;

namespace {

// A contour stretch in millimetres: a sine of the given amplitude and wavelength (µm) on the
// line y = 2 + slope·x, one point per micrometre of x.
QVector<QPointF> roughStretch(double lengthMm, double amplitudeUm, double wavelengthUm,
                              double slope = 0.0, double x0 = 1.0)
{
    QVector<QPointF> points;
    const int n = int(std::round(lengthMm * 1000)) + 1;
    for (int i = 0; i < n; ++i) {
        const double x = x0 + i * 0.001;
        const double rough = amplitudeUm * std::sin(2 * M_PI * i / wavelengthUm)
            + 0.2 * amplitudeUm * std::sin(2 * M_PI * i / (wavelengthUm * 0.37));
        points.append(QPointF(x, 2 + slope * (x - x0) + rough * 0.001));
    }
    return points;
}

QVector<QPointF> scaled(const QVector<QPointF> &points, double factor)
{
    QVector<QPointF> out;
    for (const QPointF &p : points)
        out.append(p * factor);
    return out;
}

// The profile of the points in micrometres, as the profile path takes it.
Algos::Profile micrometres(const QVector<QPointF> &points, double umPerUnit)
{
    QVector<double> xs;
    QVector<double> ys;
    for (const QPointF &p : points) {
        xs.append(p.x() * umPerUnit);
        ys.append(p.y() * umPerUnit);
    }
    return {xs, ys};
}

// The parameter the profile path gives at the cut-off.
double profileValue(bool rz, const Algos::Profile &profile, double cutOff)
{
    const Algos::Profile filtered
        = Algos::gaussianFilter(profile, cutOff, Algos::shortCutOff(cutOff));
    return rz ? Algos::calcRz(filtered, cutOff) : Algos::calcRa(filtered, cutOff);
}

std::unique_ptr<RoughnessMeasurement> make(bool rz, Plot *plot,
                                           const QVector<AbstractTrace *> &traces = {})
{
    if (rz)
        return std::make_unique<RZMeasurement>(plot, traces);
    return std::make_unique<RAMeasurement>(plot, traces);
}

ContourTrace *contourTrace(int type, double ratio)
{
    auto *trace = new ContourTrace();
    trace->setType(type);
    trace->roughnessRatio = ratio;
    return trace;
}

} // namespace

class tst_RoughnessMeasurements : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void againstTheProfilePath_data();
    void againstTheProfilePath();
    void promptForALongerStretch_data();
    void promptForALongerStretch();
    void directionOfTheStretch();
    void sensorCorrection_data();
    void sensorCorrection();
    void correctionSurvivesLevelling();
    void labelFollowsTheCursor();
    void journey_data();
    void journey();
};

void tst_RoughnessMeasurements::cleanup()
{
    QCOMPARE(Measurement::liveCount(), 0);
}

void tst_RoughnessMeasurements::againstTheProfilePath_data()
{
    QTest::addColumn<bool>("rz");
    QTest::addColumn<int>("standard");
    QTest::addColumn<int>("unit");
    QTest::addColumn<double>("amplitude"); // µm
    QTest::addColumn<double>("cutOff"); // the one the standard settles on, µm
    // A sine of 1.6 µm: Ra about 1.1, Rz about 3.8; both settle at 0.8 mm.
    for (const int standard : {int(GOST_2789_73), int(ISO_4288)}) {
        const QByteArray s = standard == GOST_2789_73 ? "GOST" : "ISO";
        QTest::newRow("Ra, " + s) << false << standard << 0 << 1.6 << 800.0;
        QTest::newRow("Rz, " + s) << true << standard << 0 << 1.6 << 800.0;
    }
    QTest::newRow("Ra, um") << false << int(ISO_4288) << 1 << 1.6 << 800.0;
    QTest::newRow("Rz, nm") << true << int(GOST_2789_73) << 2 << 1.6 << 800.0;
    // A fine surface: Ra about 0.07 asks for 0.25 mm, and keeps it.
    QTest::newRow("Ra, fine") << false << int(ISO_4288) << 0 << 0.1 << 250.0;
    // Rz about 3 µm: the Rz table of ISO 4288 keeps 0.8 mm, where the Ra table would ask for
    // 2.5 mm.
    QTest::newRow("Rz by the Rz table") << true << int(ISO_4288) << 0 << 1.3 << 800.0;
}

void tst_RoughnessMeasurements::againstTheProfilePath()
{
    QFETCH(bool, rz);
    QFETCH(int, standard);
    QFETCH(int, unit);
    QFETCH(double, amplitude);
    QFETCH(double, cutOff);
    TempSettings settings([=](Settings &s) {
        s.view.axis_unit = unit;
        s.preferences.standartisation_value = standard;
    });
    const double scale = unit == 1 ? 1e3 : unit == 2 ? 1e6 : 1.0;
    const QVector<QPointF> points = scaled(roughStretch(6, amplitude, 60), scale);
    ContourFixture f(10 * scale, 10 * scale);
    QCPCurve *curve = f.addTrace(points);
    auto m = make(rz, f.plot.get());
    m->onSegmentSelected(QCPDataRange(0, points.size()), curve);
    m->calculate();
    const double expected = profileValue(rz, micrometres(points, 1000 / scale), cutOff);
    QCOMPARE(m->cutOff(), cutOff);
    QCOMPARE(m->missingLength(), 0.0);
    COMPARE_TOL(m->value(), expected, 1e-9, 0.0);
    QVERIFY(m->value() > 0.0);
    QCOMPARE(m->valueText(), QString::number(expected, 'f', 4) + QStringLiteral("мкм"));
    // The standard's table confirms the cut-off the value settled on.
    const int prescribed = rz ? Algos::standardCutOffForRz(m->value(), standard)
                              : Algos::standardCutOff(m->value(), standard);
    QCOMPARE(double(prescribed), cutOff);
}

void tst_RoughnessMeasurements::promptForALongerStretch_data()
{
    QTest::addColumn<double>("length"); // mm
    QTest::addColumn<double>("amplitude"); // µm
    QTest::addColumn<QString>("valueText");
    QTest::addColumn<QString>("labelLine");
    QTest::addColumn<bool>("measured");
    // Shorter than two cut-offs of 0.8 mm: not measured (no 0), the missing length in the
    // display unit.
    QTest::newRow("1.2 mm") << 1.2 << 1.0 << "неизвестно"
                            << "Ra: Выделите ещё 0.4мм" << false;
    // Long enough for 0.8 mm, whose value asks for 2.5 mm: the value and what is missing.
    QTest::newRow("value asks for more") << 3.0 << 8.0 << ""
                                         << ", выделите ещё 2мм" << true;
    // A flat stretch whose value reads 0 is long enough: its value, nothing missing.
    QTest::newRow("flat") << 3.0 << 0.0 << "0.0000мкм"
                          << "Ra: 0.0000мкм" << true;
}

void tst_RoughnessMeasurements::promptForALongerStretch()
{
    QFETCH(double, length);
    QFETCH(double, amplitude);
    QFETCH(QString, valueText);
    QFETCH(QString, labelLine);
    QFETCH(bool, measured);
    TempSettings settings([](Settings &s) { s.preferences.standartisation_value = ISO_4288; });
    ContourFixture f;
    const QVector<QPointF> points = roughStretch(length, amplitude, 60);
    QCPCurve *curve = f.addTrace(points);
    RAMeasurement m(f.plot.get(), {});
    QSignalSpy status(&m, &Measurement::statusText);
    m.onSegmentSelected(QCPDataRange(0, points.size()), curve);
    m.calculate();
    if (!valueText.isEmpty())
        QCOMPARE(m.valueText(), valueText);
    QCOMPARE(m.hasValue(), measured);
    const QString firstLine = m.valueLabel()->text().section(QLatin1Char('\n'), 0, 0);
    if (labelLine.startsWith(QLatin1Char(',')))
        QCOMPARE(firstLine, QStringLiteral("Ra: ") + m.valueText() + labelLine);
    else
        QCOMPARE(firstLine, labelLine);
    QVERIFY(m.missingLength() >= 0.0);
    // The status line tells the value, or what is missing when there is none; never a 0.
    QVERIFY(!status.isEmpty());
    QCOMPARE(status.last().at(0).toString(),
             measured ? QStringLiteral("Ra: ") + m.valueText() : labelLine);
}

void tst_RoughnessMeasurements::directionOfTheStretch()
{
    TempSettings settings;
    ContourFixture f;
    const QVector<QPointF> forward = roughStretch(4, 1.6, 60);
    QVector<QPointF> backward;
    for (const QPointF &p : forward)
        backward.prepend(p);
    QVector<QPointF> zigzag = forward;
    std::swap(zigzag[100], zigzag[101]);
    QCPCurve *a = f.addTrace(forward);
    QCPCurve *b = f.addTrace(backward);
    QCPCurve *c = f.addTrace(zigzag);
    RAMeasurement ma(f.plot.get(), {});
    RAMeasurement mb(f.plot.get(), {});
    RAMeasurement mc(f.plot.get(), {});
    ma.onSegmentSelected(QCPDataRange(0, forward.size()), a);
    mb.onSegmentSelected(QCPDataRange(0, forward.size()), b);
    mc.onSegmentSelected(QCPDataRange(0, forward.size()), c);
    for (RAMeasurement *m : {&ma, &mb, &mc})
        m->calculate();
    // Along decreasing x the stretch is the same profile.
    QVERIFY(ma.value() > 0.0);
    QCOMPARE(mb.value(), ma.value());
    // X turning back is no profile: refused.
    QCOMPARE(mc.valueText(), QStringLiteral("неизвестно"));
    QCOMPARE(mc.value(), 0.0);
    QVERIFY(mc.valueLabel()->text().contains(QStringLiteral("монотонный по X")));
}

void tst_RoughnessMeasurements::sensorCorrection_data()
{
    QTest::addColumn<bool>("rz");
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<bool>("corrected");
    QTest::newRow("Ra, roughness sensor") << false << int(CONTOURPROF) << 1.0 << true;
    QTest::newRow("Ra, roughness sensor, ratio 1.5") << false << int(CONTOURPROF) << 1.5 << true;
    QTest::newRow("Rz, roughness sensor") << true << int(CONTOURPROF) << 1.0 << true;
    QTest::newRow("Ra, contour") << false << int(CONTOUR) << 1.5 << false;
    QTest::newRow("Rz, profile") << true << int(PROFILE) << 1.5 << false;
    QTest::newRow("Ra, additional trace") << false << int(ADDITIONAL_TRACE) << 1.5 << false;
}

void tst_RoughnessMeasurements::sensorCorrection()
{
    QFETCH(bool, rz);
    QFETCH(int, type);
    QFETCH(double, ratio);
    QFETCH(bool, corrected);
    TempSettings settings([](Settings &s) { s.preferences.standartisation_value = ISO_4288; });
    ContourFixture f;
    // The second trace is the selected one: the mapping goes by curve order.
    std::unique_ptr<AbstractTrace> first(contourTrace(CONTOUR, 1.0));
    std::unique_ptr<AbstractTrace> second(contourTrace(type, ratio));
    f.addTrace(roughStretch(3, 1.0, 60, 0.0, 1.0));
    const QVector<QPointF> points = roughStretch(3, 1.0, 60, 0.0, 5.0);
    QCPCurve *curve = f.addTrace(points);
    auto m = make(rz, f.plot.get(), {first.get(), second.get()});
    m->onSegmentSelected(QCPDataRange(0, points.size()), curve);
    m->calculate();
    const double raw = profileValue(rz, micrometres(points, 1000), m->cutOff());
    const double w = raw * ratio;
    const double expected = corrected
        ? w * roughnessCorrection(w, rz ? kRzCorrectionPoints : kRaCorrectionPoints)
        : raw;
    COMPARE_TOL(m->value(), expected, 1e-9, 0.0);
    if (corrected)
        QVERIFY(std::abs(m->value() - raw) > 1e-3 * raw);
}

void tst_RoughnessMeasurements::correctionSurvivesLevelling()
{
    // Ra on a tilted stretch of a contour recorded with the roughness sensor; the contour is
    // then levelled. The recalculated value is still corrected: the curve is matched to its
    // trace by its place, not by its first point, which the levelling moved.
    TempSettings settings([](Settings &s) { s.preferences.standartisation_value = ISO_4288; });
    std::unique_ptr<AbstractTrace> trace(contourTrace(CONTOURPROF, 1.0));
    KindFixture f;
    const QVector<QPointF> points = roughStretch(4, 1.0, 60, 0.2, 1.0);
    QCPCurve *curve = f.addTrace(points);
    f.manage({trace.get()});
    f.tool(RA);
    f.dragAlong(curve, 0, points.size() - 1);
    f.driver->click(3, 1);
    auto *m = qobject_cast<RoughnessMeasurement *>(f.current());
    QVERIFY(m && m->isFinished());
    const int last = int(m->selection(0)->end) - 1;
    const double before = m->value();
    QVERIFY(before > 0.0);

    f.tool(LAY_FLAT);
    f.dragAlong(curve, 100, 3000);
    QVERIFY(f.current()->isFinished());
    QVector<QPointF> levelled;
    for (int i = 0; i <= last; ++i) {
        const QCPCurveData &p = *(curve->data()->constBegin() + i);
        levelled.append(QPointF(p.key, p.value));
    }
    QVERIFY(std::abs(levelled.last().y() - levelled.first().y()) < 0.01);
    const double raw = profileValue(false, micrometres(levelled, 1000), m->cutOff());
    COMPARE_TOL(m->value(), raw * roughnessCorrection(raw, kRaCorrectionPoints), 1e-9, 0.0);
    QVERIFY(std::abs(m->value() - raw) > 1e-3 * raw);
}

void tst_RoughnessMeasurements::labelFollowsTheCursor()
{
    TempSettings settings;
    ContourFixture f;
    testsupport::PlotDriver driver(f.plot.get());
    const QVector<QPointF> points = roughStretch(3, 1.6, 60, 0.5, 2.0);
    QCPCurve *curve = f.addTrace(points);
    RAMeasurement m(f.plot.get(), {});
    m.onSegmentSelected(QCPDataRange(0, points.size()), curve);
    m.setLabelText(QStringLiteral("r_1"));
    // Below the first point: the label hangs below the dimension line, name and value first.
    driver.move(3, 1);
    QVERIFY(m.dimension()->visible());
    COMPARE_TOL(m.dimension()->start->coords().y(), 1.0, 0.0, 0.02);
    // The boundaries stand on the first and the last point of the range, in single precision.
    const auto single = [](const QPointF &p) {
        return QPointF(double(float(p.x())), double(float(p.y())));
    };
    QCOMPARE(m.startBoundary()->start->coords(), single(points.first()));
    QCOMPARE(m.endBoundary()->start->coords(), single(points.last()));
    QCOMPARE(m.valueLabel()->positionAlignment(), Qt::AlignHCenter | Qt::AlignTop);
    QCOMPARE(m.valueLabel()->text(), QStringLiteral("Ra: ") + m.valueText() + "\nr_1");
    COMPARE_TOL(m.valueLabel()->position->coords().x(), 3.5, 0.0, 1e-6);
    // Above it: the label stands on the line, name and value last.
    driver.move(3, 8);
    QCOMPARE(m.valueLabel()->positionAlignment(), Qt::AlignHCenter | Qt::AlignBottom);
    QCOMPARE(m.valueLabel()->text(), QStringLiteral("r_1\nRa: ") + m.valueText());
    // Only the label moved: the cut-off was chosen once.
    QCOMPARE(m.cutOffSearches(), 1);
    m.onSegmentSelected(QCPDataRange(0, points.size() - 10), curve);
    driver.move(3, 7);
    QCOMPARE(m.cutOffSearches(), 2);
}

void tst_RoughnessMeasurements::journey_data()
{
    QTest::addColumn<bool>("rz");
    QTest::newRow("Ra") << false;
    QTest::newRow("Rz") << true;
}

void tst_RoughnessMeasurements::journey()
{
    QFETCH(bool, rz);
    TempSettings settings;
    LogReader log;
    KindFixture f;
    const QVector<QPointF> points = roughStretch(4, 1.6, 60, 0.0, 1.0);
    QCPCurve *curve = f.addTrace(points);
    f.manage();
    f.tool(rz ? RZ : RA);
    const QString name = rz ? QStringLiteral("Rz") : QStringLiteral("Ra");
    // A click selects nothing and the measurement keeps selecting.
    f.driver->click(3, 2);
    auto *m = qobject_cast<RoughnessMeasurement *>(f.current());
    QVERIFY(m);
    QVERIFY(!m->isPlacingLabel());
    f.dragAlong(curve, 0, points.size() - 1);
    QVERIFY(m->isPlacingLabel());
    QCOMPARE(f.statuses.last(), QStringLiteral("Расположите значение"));
    QVERIFY(!f.manager->plotSegmentSelection()->isEnabled());
    f.driver->move(3, 1);
    f.driver->click(3, 1);
    QVERIFY(m->isFinished());
    QCOMPARE(m->name(), name);
    QCOMPARE(m->groupName(), QStringLiteral("Шероховатости"));
    QVERIFY(f.manager->findMeasurement(m->id()) == m);
    QVERIFY(m->value() > 0.0);
    QCOMPARE(f.statuses.last(), name + QStringLiteral(": ") + m->valueText());
    QVERIFY(log.contains(QStringLiteral("INFO: RAMeasurement started")));
    QVERIFY(log.contains(QStringLiteral("INFO: Finished")));
    QVERIFY(log.contains(QStringLiteral("INFO: Result - ") + name + QStringLiteral(": ")
                         + m->valueText()));
    const testsupport::GrabResult grab
        = testsupport::grabWindow(f.plot.get(), QStringLiteral("roughness_") + name);
    VERIFY_GRAB(grab);
    const QString text = m->valueText();
    f.manager->removeMeasurement(m->id());
    QVERIFY(log.contains(QStringLiteral("INFO: ") + name + QStringLiteral(" delete with value: ")
                         + text));
}

GUI_TEST_MAIN(tst_RoughnessMeasurements)
#include "tst_RoughnessMeasurements.moc"
