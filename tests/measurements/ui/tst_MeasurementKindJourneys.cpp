// Each measurement kind of distances, radii and circles, extreme points, text, angles and
// construction geometry, built through the measurements manager with the mouse: chosen, selected,
// placed, finished, with the value text, the status line and the log lines a user and the log
// reader see.
#include "KindFixture.h"
#include "support/LogReader.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"

#include <QElapsedTimer>

#include <cmath>
#include <limits>

using namespace kindcurves;
using testsupport::LogReader;
using testsupport::ScriptedPrompts;
using testsupport::TempSettings;

Q_DECLARE_METATYPE(QVector<QPolygonF>)

namespace {

QString xy(const QPointF &p)
{
    return QStringLiteral("%1 %2").arg(p.x(), 0, 'f', 4).arg(p.y(), 0, 'f', 4);
}

QPolygonF concat(const QPolygonF &a, const QPolygonF &b)
{
    QPolygonF out = a;
    out += b.mid(1);
    return out;
}

// A V groove y = 2 + |x - 5| from x = 0 to 10, a point every 0.1.
QPolygonF groove()
{
    QPolygonF points;
    for (int i = 0; i <= 100; ++i)
        points.append(QPointF(i * 0.1, 2.0 + std::abs(i * 0.1 - 5.0)));
    return points;
}

// A trapezoidal thread of period 2 and height 2 on the level y = 2 (ridge flats 0.4, groove
// flats 0.8, flanks 0.4 wide), a point every 0.002 from x = 0 to 10. Its mean-diameter line lies
// at y = 2.5, where ridges and grooves are equally wide.
QPolygonF threadProfile()
{
    QPolygonF points;
    for (int i = 0; i <= 5000; ++i) {
        const double x = i * 0.002;
        const double u = x / 2 - std::floor(x / 2);
        double y = 0.0;
        if (u >= 0.2 && u < 0.4)
            y = (u - 0.2) / 0.2;
        else if (u >= 0.4 && u < 0.6)
            y = 1.0;
        else if (u >= 0.6 && u < 0.8)
            y = 1.0 - (u - 0.6) / 0.2;
        points.append(QPointF(x, 2.0 + 2.0 * y));
    }
    return points;
}

} // namespace

class tst_MeasurementKindJourneys : public QObject
{
    Q_OBJECT

private slots:
    void journey_data();
    void journey();
    void construction_data();
    void construction();
    void openingPrompt_data();
    void openingPrompt();
};

void tst_MeasurementKindJourneys::journey_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<QVector<QPolygonF>>("traces");
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("alternative"); // preferenses/alternative_measurement
    QTest::addColumn<bool>("degrees"); // view/angles_in_deg
    QTest::addColumn<QString>("answer"); // to the text prompt
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("status"); // the last status text
    QTest::addColumn<QStringList>("log");

    const QVector<QPolygonF> step {kindcurves::step()};
    const QString twoClicks = "m 2 2; c 2 2; m 7 5; c 7 5; ";
    QTest::newRow("0 vertical distance")
        << int(VERTICAL_DISTANCE) << QString() << step << twoClicks + "m 8 3.5; c 8 3.5" << false
        << false << QString() << "3.0000мм"
        << "Высота: 3.0000мм"
        << QStringList {"INFO: VerticalDistanceMeasurment started in (2.000000,2.000000)",
                        "INFO: Finished in (7.000000,5.000000)", "INFO: Result - Высота: 3.0000мм"};
    QTest::newRow("0 vertical distance, press and release")
        << int(VERTICAL_DISTANCE) << QString() << step
        << "m 2 2; p 2 2; m 4 2; m 7 5; r 7 5; m 8 3.5; c 8 3.5" << true << false << QString()
        << "3.0000мм"
        << "Высота: 3.0000мм"
        << QStringList {"INFO: VerticalDistanceMeasurment started in (2.000000,2.000000)",
                        "INFO: Finished in (7.000000,5.000000)", "INFO: Result - Высота: 3.0000мм"};
    QTest::newRow("1 horizontal distance")
        << int(HORISONTAL_DISTANCE) << QString() << step << twoClicks + "m 4.5 7; c 4.5 7" << false
        << false << QString() << "5.0000мм"
        << "Длина: 5.0000мм"
        << QStringList {"INFO: HorisontalDistanceMeasurment started in (2.000000,2.000000)",
                        "INFO: Finished in (7.000000,5.000000)", "INFO: Result - Длина: 5.0000мм"};
    QTest::newRow("3 direct distance")
        << int(DIRECT_DISTANCE) << QString() << step << twoClicks + "m 3 6; c 3 6" << false << false
        << QString() << "5.8310мм"
        << "Прямая: 5.8310мм"
        << QStringList {"INFO: DirectDistanceMeasurement started in (2.000000,2.000000)",
                        "INFO: Finished in (7.000000,5.000000)", "INFO: Result - Прямая: 5.8310мм"};
    QTest::newRow("2 largest height")
        << int(MAX_MIN_DISTANCE) << QString() << step << "m 3 2; d 3 2 5.5 5 8 5; m 9 3.5; c 9 3.5"
        << false << false << QString() << "3.0000мм"
        << "Наибольшая высота: 3.0000мм"
        << QStringList {"INFO: MaxMinDistanceMeasurement started in (3.000000,2.000000)",
                        "INFO: Finished in (5.500000,5.000000)",
                        "INFO: Result - Наибольшая высота: 3.0000мм"};
    const QString twoLevels = "d 1 2 2.5 2 4 2; d 6 5 7.5 5 9 5; m 9.5 3.5; c 9.5 3.5";
    QTest::newRow("11 mean height")
        << int(MEAN_HEIGHT) << QString() << step << twoLevels << false << false << QString()
        << "3.0000мм"
        << "Ср. Высота: 3.0000мм"
        << QStringList {"INFO: MeanHeightMeasurement started", "INFO: Finished",
                        "INFO: Result - Ср. Высота: 3.0000мм"};
    QTest::newRow("19 mean diameter")
        << int(AVG_DIAMETERT) << QString() << step << twoLevels << false << false << QString()
        << "3.0000мм"
        << "Ср. Высота: 3.0000мм"
        << QStringList {"INFO: Finished", "INFO: Result - Ср. Высота: 3.0000мм"};

    // Radii and circles on an arc of radius 3 about (5, 2).
    const QVector<QPolygonF> arc {kindcurves::arc(5, 2, 3, 0, 180)};
    const QPointF c(5, 2);
    const auto on = [c](double degrees) {
        return xy(polar(c, 3, degrees));
    };
    QTest::newRow("7 radius") << int(REGULAR_RADIUS) << QString() << arc
                              << "d " + on(150) + " " + on(90) + " " + on(30) + "; m 8 6; c 8 6"
                              << false << false << QString() << "3.0000мм"
                              << "Радиус: 3.0000мм"
                              << QStringList {"INFO: RegularRadiusMeasurement started",
                                              "INFO: finished", "INFO: Result - Радиус: 3.0000мм"};
    QTest::newRow("8 radius of two arcs")
        << int(ARCS_RADIUS) << QString() << arc
        << "d " + on(170) + " " + on(150) + " " + on(130) + "; d " + on(50) + " " + on(30) + " "
            + on(10) + "; m 8 6; c 8 6"
        << false << false << QString() << "3.0000мм"
        << "Радиус (A): 3.0000мм"
        << QStringList {"INFO: ArcsRadiusMeasurement started", "INFO: finished",
                        "INFO: Result - Радиус (A): 3.0000мм"};
    QTest::newRow("22 circle") << int(CIRCUMF_AG) << QString() << arc
                               << "d " + on(150) + " " + on(90) + " " + on(30) << false << false
                               << QString() << "3.0000мм"
                               << "Окружность"
                               << QStringList {"INFO: CircumfAGMeasurement started"};
    QTest::newRow("23 circle of radius 1 in a groove")
        << int(CIRCUMF_AG_SPECIFIED) << "1" << QVector<QPolygonF> {groove()} << "d 3 4 5 2 7 4"
        << false << false << QString() << "1.0000мм"
        << "Окружность" << QStringList {"INFO: CircumfAGMeasurement started"};

    // Extreme points and text: no value, no log.
    QTest::newRow("30 highest point")
        << int(FIND_MAX_POINT) << QString() << step << "d 3 2 5.5 5 8 5" << false << false
        << QString() << QString() << QString() << QStringList {};
    QTest::newRow("31 lowest point")
        << int(FIND_MIN_POINT) << QString() << step << "d 3 2 5.5 5 8 5" << false << false
        << QString() << QString() << QString() << QStringList {};
    QTest::newRow("32 text") << int(AG_TEXT_PLACEMENT) << QString() << step << "m 4 4; c 4 4"
                             << false << false << "Паз А" << QString() << QString()
                             << QStringList {};

    // Angles: lines at 0° and 30° meeting at (5, 2); a stretch at 30° to the horizontal; one
    // at 60°, 30° from the vertical.
    const QPointF v(5, 2);
    const QVector<QPolygonF> corner {
        concat(segment(QPointF(0, 2), v, 50), segment(v, polar(v, 5, 30), 50))};
    QTest::newRow("6 angle") << int(REGULAR_ANGLE) << QString() << corner
                             << "d 1 2 2.5 2 4 2; d " + xy(polar(v, 1, 30)) + " "
            + xy(polar(v, 2.5, 30)) + " " + xy(polar(v, 4, 30)) + "; m " + xy(polar(v, 3, 15))
            + "; c " + xy(polar(v, 3, 15))
                             << false << false << QString() << "30° 0' 0''"
                             << "Угол: 30° 0' 0''"
                             << QStringList {"INFO: RegularAngleMeasurement started",
                                             "INFO: Finish", "INFO: Result - Угол: 30° 0' 0''"};
    const QPointF h(1, 1);
    const QPointF hVertex = polar(h, 3.9, 30);
    QTest::newRow("5 angle to the horizontal, supplement, decimal")
        << int(HORIZONTAL_ANGLE) << QString()
        << QVector<QPolygonF> {segment(h, polar(h, 6, 30), 60)}
        << "d " + xy(polar(h, 1, 30)) + " " + xy(polar(h, 2.5, 30)) + " " + xy(polar(h, 4, 30))
            + "; m " + xy(polar(hVertex, 3, 100)) + "; c " + xy(polar(hVertex, 3, 100))
        << false << true << QString() << "150.0000°"
        << "Угол (Г): 150.0000°"
        << QStringList {"INFO: HorizontalAngleMeasurement started", "INFO: Finish",
                        "INFO: Result - Угол (Г): 150.0000°"};
    const QPointF w(2, 1);
    const QPointF wVertex = polar(w, 4.9, 60);
    QTest::newRow("4 angle to the vertical")
        << int(VERTICAL_ANGLE) << QString() << QVector<QPolygonF> {segment(w, polar(w, 8, 60), 80)}
        << "d " + xy(polar(w, 1, 60)) + " " + xy(polar(w, 3, 60)) + " " + xy(polar(w, 5, 60))
            + "; m " + xy(polar(wVertex, 2.5, 75)) + "; c " + xy(polar(wVertex, 2.5, 75))
        << false << false << QString() << "30° 0' 0''"
        << "Угол (В): 30° 0' 0''"
        << QStringList {"INFO: VerticalAngleMeasurement started", "INFO: Finish",
                        "INFO: Result - Угол (В): 30° 0' 0''"};

    // Degenerate input: the measurement finishes, its value unknown.
    const QVector<QPolygonF> straight {segment(QPointF(0, 2), QPointF(10, 2), 100)};
    QTest::newRow("7 radius of a straight range")
        << int(REGULAR_RADIUS) << QString() << straight << "d 2 2 4 2 6 2; m 8 6; c 8 6" << false
        << false << QString() << "неизвестно"
        << "Радиус: неизвестно"
        << QStringList {"INFO: RegularRadiusMeasurement started", "INFO: finished",
                        "INFO: Result - Радиус: неизвестно"};
    QPolygonF broken = kindcurves::arc(5, 2, 3, 0, 180);
    broken[90].setY(std::numeric_limits<double>::quiet_NaN());
    QTest::newRow("7 radius over a point that is not a number")
        << int(REGULAR_RADIUS) << QString() << QVector<QPolygonF> {broken}
        << "d " + on(150) + " " + on(100) + " " + on(30) + "; m 8 6; c 8 6" << false << false
        << QString() << "неизвестно"
        << "Радиус: неизвестно"
        << QStringList {"INFO: RegularRadiusMeasurement started", "INFO: finished",
                        "INFO: Result - Радиус: неизвестно"};
    QTest::newRow("8 two arcs of one point each")
        << int(ARCS_RADIUS) << QString() << arc
        << "d " + on(170) + " " + on(169) + "; d " + on(10) + " " + on(11) + "; m 8 6; c 8 6"
        << false << false << QString() << "неизвестно"
        << "Радиус (A): неизвестно"
        << QStringList {"INFO: ArcsRadiusMeasurement started", "INFO: finished",
                        "INFO: Result - Радиус (A): неизвестно"};
    QTest::newRow("23 circle in a straight range")
        << int(CIRCUMF_AG_SPECIFIED) << "1" << straight << "d 2 2 4 2 6 2" << false << false
        << QString() << "неизвестно"
        << "Окружность" << QStringList {"INFO: CircumfAGMeasurement started"};
    const QPolygonF flank = concat(concat(segment(QPointF(0, 2), QPointF(4, 2), 40),
                                          segment(QPointF(4, 2), QPointF(4, 6), 40)),
                                   segment(QPointF(4, 6), QPointF(10, 6), 60));
    QTest::newRow("11 mean height over a vertical flank")
        << int(MEAN_HEIGHT) << QString() << QVector<QPolygonF> {flank}
        << "d 4 2.5 4 4 4 5.5; d 6 6 7.5 6 9 6; m 9.5 4; c 9.5 4" << false << false << QString()
        << "неизвестно"
        << "Ср. Высота: неизвестно"
        << QStringList {"INFO: MeanHeightMeasurement started", "INFO: Finished",
                        "INFO: Result - Ср. Высота: неизвестно"};
    QTest::newRow("2 largest height without a range")
        << int(MAX_MIN_DISTANCE) << QString() << step << "m 3 2; c 3 2; m 9 3.5; c 9 3.5" << false
        << false << QString() << "неизвестно"
        << "Наибольшая высота: неизвестно"
        << QStringList {"INFO: MaxMinDistanceMeasurement started in (3.000000,2.000000)",
                        "INFO: Finished in (3.000000,2.000000)",
                        "INFO: Result - Наибольшая высота: неизвестно"};
    QTest::newRow("5 angle of one point")
        << int(HORIZONTAL_ANGLE) << QString()
        << QVector<QPolygonF> {segment(h, polar(h, 6, 30), 60)}
        << "d " + xy(polar(h, 2, 30)) + " " + xy(polar(h, 2.1, 30)) + "; m 6 8; c 6 8" << false
        << false << QString() << "неизвестно"
        << "Угол (Г): неизвестно"
        << QStringList {"INFO: HorizontalAngleMeasurement started", "INFO: Finish",
                        "INFO: Result - Угол (Г): неизвестно"};
}

void tst_MeasurementKindJourneys::journey()
{
    QFETCH(int, kind);
    QFETCH(QString, parameter);
    QFETCH(QVector<QPolygonF>, traces);
    QFETCH(QString, script);
    QFETCH(bool, alternative);
    QFETCH(bool, degrees);
    QFETCH(QString, answer);
    QFETCH(QString, value);
    QFETCH(QString, status);
    QFETCH(QStringList, log);

    TempSettings settings([&](Settings &s) {
        s.preferences.alternative_measurement = alternative;
        s.view.angles_in_deg = degrees;
    });
    ScriptedPrompts prompts;
    prompts.answers << answer;
    KindFixture f(traces);
    const MeasurementKindInfo &info = measurementKindInfo(kind);
    f.manager->setMeasurementType(E_MEASUREMENTS(kind), info.listed, info.showsReperPoints,
                                  parameter);
    LogReader reader;

    QElapsedTimer timer;
    timer.start();
    f.run(script);
    // Even degenerate input is dealt with at once (generous for a loaded machine).
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));

    Measurement *m = f.current();
    QVERIFY(m);
    QCOMPARE(m->type(), kind);
    QCOMPARE(m->name(), measurementKindName(kind));
    QVERIFY(m->isFinished());
    QCOMPARE(f.manager->measurementList().back(), m);
    QCOMPARE(m->valueText(), value);
    QVERIFY(!m->valueText().contains(QLatin1String("nan"), Qt::CaseInsensitive));
    if (!status.isEmpty())
        QCOMPARE(f.statuses.last(), status);
    QCOMPARE(reader.entries(), log);
    if (kind == AG_TEXT_PLACEMENT)
        QCOMPARE(prompts.asked.size(), 1);
    if (QTest::currentDataTag() == QLatin1String("6 angle")) {
        const testsupport::GrabResult grab = testsupport::grabWindow(f.plot.get(), "angle");
        QVERIFY2(grab.ok(), qPrintable(grab.problem()));
    }
}

void tst_MeasurementKindJourneys::construction_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QVector<QPolygonF>>("traces");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QVector<double>>("line"); // (a, b) of the construction line
    QTest::addColumn<double>("tolerance"); // of the line's coefficients
    QTest::addColumn<QPolygonF>("reperPoints");
    QTest::addColumn<QStringList>("statuses");

    const QVector<QPolygonF> step {kindcurves::step()};
    const QString oneClick = "m 7 5; c 7 5";
    const QString twoClicks = "m 2 2; c 2 2; m 7 5; c 7 5";
    QTest::newRow("24 horizontal line")
        << int(CLICK_HORIZONTAL_LINE) << step << oneClick << QVector<double> {0, 5} << 1e-12
        << QPolygonF() << QStringList();
    QTest::newRow("25 vertical line")
        << int(CLICK_VERTICAL_LINE) << step << oneClick << QVector<double> {0, 7} << 1e-12
        << QPolygonF() << QStringList();
    QTest::newRow("26 line through two points")
        << int(CLICK_DOUBLE_LINE) << step << twoClicks << QVector<double> {0.6, 0.8} << 1e-12
        << QPolygonF() << QStringList();
    QTest::newRow("27 point on the trace")
        << int(CLICK_POINT) << step << oneClick << QVector<double>() << 0.0
        << QPolygonF(QVector<QPointF> {{7, 5}}) << QStringList();
    QTest::newRow("28 middle point")
        << int(MIDDLE_POINT) << step << twoClicks << QVector<double>() << 0.0
        << QPolygonF(QVector<QPointF> {{4.5, 3.5}}) << QStringList {"Укажите вторую точку"};
    QTest::newRow("29 mean diameter of a thread")
        << int(THREAD) << QVector<QPolygonF> {threadProfile()} << "m 5 4; c 5 4"
        << QVector<double> {0, 2.5} << 0.02 << QPolygonF() << QStringList();
}

// The construction kinds as the tools make them: the manager creates each kind of the tool on the
// first press, the clicks place it, and it is listed finished with an empty value, its line or
// its point ready for the intersections.
void tst_MeasurementKindJourneys::construction()
{
    QFETCH(int, kind);
    QFETCH(QVector<QPolygonF>, traces);
    QFETCH(QString, script);
    QFETCH(QVector<double>, line);
    QFETCH(double, tolerance);
    QFETCH(QPolygonF, reperPoints);
    QFETCH(QStringList, statuses);

    TempSettings settings;
    KindFixture f(traces);
    const MeasurementKindInfo &info = measurementKindInfo(kind);
    f.manager->setMeasurementType(E_MEASUREMENTS(kind), info.listed, info.showsReperPoints,
                                  QString());
    f.run(script);

    Measurement *m = f.current();
    QVERIFY(m);
    QCOMPARE(m->type(), kind);
    QCOMPARE(m->name(), measurementKindName(kind));
    QVERIFY(m->isFinished());
    QCOMPARE(f.manager->measurementList().size(), size_t(1));
    QCOMPARE(f.manager->measurementList().back(), m);
    QCOMPARE(m->valueText(), QString());
    const QVector<double> coefficients = m->lineCoefficients();
    QCOMPARE(coefficients.size(), line.size());
    for (int i = 0; i < line.size(); ++i) {
        QVERIFY2(std::abs(coefficients.at(i) - line.at(i)) <= tolerance,
                 qPrintable(QString::number(coefficients.at(i))));
    }
    QCOMPARE(m->reperPointCount(), reperPoints.size());
    for (int i = 0; i < reperPoints.size(); ++i)
        QCOMPARE(m->reperPointList().at(i)->position(), reperPoints.at(i));
    QStringList shown;
    for (const QString &text : qAsConst(f.statuses)) {
        if (!text.isEmpty())
            shown << text;
    }
    QCOMPARE(shown, statuses);
}

void tst_MeasurementKindJourneys::openingPrompt_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<QString>("prompt");

    QTest::newRow("3 direct distance")
        << int(DIRECT_DISTANCE) << QString() << "Прямая: выделите участок измерения";
    QTest::newRow("12 deviation from a line")
        << int(RMSE) << QString() << "Отклонение от прямой: выделите участок измерения";
    const QString circle = "Отклонение от окружности: выделите участок измерения";
    QTest::newRow("13 deviation from a circle") << int(RDEM) << QString() << circle;
    QTest::newRow("14 deviation from a given circle") << int(RDEM_SPECIFIED) << "4.5" << circle;
    QTest::newRow("15 deviation from a circle, filtered")
        << int(RDEM_FILTER) << QString() << circle;
    QTest::newRow("16 deviation from a circle by ranges")
        << int(RDEM_BY_TWO_SEGMENT) << "2" << circle;
    QTest::newRow("17 deviation from a circle by ranges, filtered")
        << int(RDEM_FITER_BY_TWO_SEGMENT) << "3" << circle;
    QTest::newRow("18 deviation from a circle, polar graph")
        << int(RDEM_WITH_POLAR_GRAPH) << QString() << circle;
}

// A kind that greets the operator does so as the press creates it: the prompt comes out of the
// manager's status signal, which the window shows, and is the only status so far.
void tst_MeasurementKindJourneys::openingPrompt()
{
    QFETCH(int, kind);
    QFETCH(QString, parameter);
    QFETCH(QString, prompt);

    TempSettings settings;
    KindFixture f({step()});
    f.tool(E_MEASUREMENTS(kind), parameter);
    QVERIFY(f.statuses.isEmpty());
    f.run("m 2 2; p 2 2");
    QVERIFY(f.current());
    QCOMPARE(f.current()->type(), measurementKindInfo(kind).storedType);
    QCOMPARE(f.statuses, QStringList {prompt});
}

GUI_TEST_MAIN(tst_MeasurementKindJourneys)
#include "tst_MeasurementKindJourneys.moc"
