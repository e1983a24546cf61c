#include "measurements/DxfDrawing.h"
#include "measurements/DxfReader.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr double kPi = 3.14159265358979323846;

QString num(double v)
{
    if (std::abs(v) < 1e-9)
        v = 0.0;
    return QString::number(v, 'g', 6);
}

// A short text of an entity: its kind letter and its numbers.
QString describe(const DxfEntity &e)
{
    switch (e.kind) {
    case DxfEntity::Line:
        return QStringLiteral("L %1 %2 %3 %4")
            .arg(num(e.start.x()), num(e.start.y()), num(e.end.x()), num(e.end.y()));
    case DxfEntity::Arc:
        if (e.fullCircle)
            return QStringLiteral("C %1 %2 %3")
                .arg(num(e.centre.x()), num(e.centre.y()), num(e.radius));
        return QStringLiteral("A %1 %2 %3 %4 %5")
            .arg(num(e.centre.x()), num(e.centre.y()), num(e.radius), num(e.startAngle),
                 num(e.spanAngle));
    case DxfEntity::Ellipse:
        return QStringLiteral("E %1 %2 %3 %4 %5 %6")
            .arg(num(e.centre.x()), num(e.centre.y()), num(e.majorAxis.x()), num(e.majorAxis.y()),
                 num(e.ratio),
                 e.wholeEllipse ? QStringLiteral("whole")
                                : num(e.startParam) + QLatin1Char(' ') + num(e.spanParam));
    }
    return QString();
}

QStringList describe(const DxfDrawing &drawing)
{
    QStringList out;
    for (int i = 0; i < drawing.size(); ++i)
        out << describe(drawing.entity(i));
    return out;
}

DxfReadResult readFixture(const QString &name, double unitFactor = 1.0)
{
    QFile file(QStringLiteral(TEST_FIXTURES_DIR "/dxf/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("fixture %s missing", qPrintable(name));
    return readDxf(&file, unitFactor);
}

// A lightweight polyline of the vertices, as DXF text.
QByteArray polylineText(const QVector<QPointF> &vertices, bool closed)
{
    QByteArray out = "0\nSECTION\n2\nENTITIES\n0\nLWPOLYLINE\n100\nAcDbPolyline\n90\n"
        + QByteArray::number(vertices.size()) + "\n70\n" + (closed ? "1" : "0") + "\n";
    for (const QPointF &v : vertices)
        out += "10\n" + QByteArray::number(v.x(), 'g', 17) + "\n20\n"
            + QByteArray::number(v.y(), 'g', 17) + "\n";
    return out + "0\nENDSEC\n0\nEOF\n";
}

// The distance to the drawing as measuring every entity gives it.
double everyEntityDistance(const DxfDrawing &d, const QPointF &p)
{
    double best = DxfDrawing::kNoDistance;
    for (int i = 0; i < d.size(); ++i)
        best = std::min(best, d.entity(i).distanceTo(p));
    return best;
}

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof(double)) == 0;
}

} // namespace

class TestDxfReader : public QObject
{
    Q_OBJECT

private slots:
    void fixtures_data();
    void fixtures();
    void unitFactor();
    void unreadableInput_data();
    void unreadableInput();
    void segmentDistance_data();
    void segmentDistance();
    void arcDistance_data();
    void arcDistance();
    void ellipseMeasuredWithinTenthOfMicrometre_data();
    void ellipseMeasuredWithinTenthOfMicrometre();
    void transformations();
    void reperPoints();
    void hintedDistanceMatchesPlainSearch();
    void distanceSumEqualsEveryEntityScan_data();
    void distanceSumEqualsEveryEntityScan();
    void levellingKeepsTheTreeAndItsDistances_data();
    void levellingKeepsTheTreeAndItsDistances();
    void polylineKeepsFewBytesPerVertex();
    void ellipsePointLimit();
    void progressReportsAndStops();
    void progressStopsInsideALongPolyline();
};

void TestDxfReader::fixtures_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("entities");
    QTest::addColumn<bool>("problems");

    QTest::newRow("lines, one on a layer named 10")
        << "line_layer_named_10.dxf" << QStringList {"L 1 2 3 4", "L -1.5 0 -1.5 2.5"} << false;
    QTest::newRow("circle and arcs across 0° and beyond a turn")
        << "circle_and_arcs.dxf"
        << QStringList {"C 0 0 2", "A 5 5 1.5 30 90", "A 0 10 1 350 20", "A 0 0 3 330 60"} << false;
    QTest::newRow("vertical, rotated and partial ellipses")
        << "ellipses.dxf"
        << QStringList {"E 1 1 0 3 0.5 whole", "E 0 0 2.59808 1.5 0.5 whole",
                        "E 10 0 2 0 0.5 0 1.5708"}
        << false;
    // Bit 1 of code 70 closes (129 = closed + linetype generation, 128 alone stays open); a
    // polyline without vertices is reported and passed over.
    QTest::newRow("lightweight polylines with bulges")
        << "lwpolyline_bulges.dxf"
        << QStringList {"L 0 0 4 0",      "A 4 1 1 270 180", "L 4 2 0 2",
                        "A 0 1 1 90 180", "L 0 10 1 10",     "A 2 10 1 90 90"}
        << true;
    QTest::newRow("old-style polyline with vertices")
        << "polyline_vertex.dxf"
        << QStringList {"L 0 0 2 0", "A 2 1 1 270 180", "L 2 2 0 2", "L 0 2 0 0", "L 5 5 6 5"}
        << false;
    QTest::newRow("truncated inside the last entity")
        << "truncated.dxf" << QStringList {"L 0 0 1 0", "C 0 0 1", "A 0 0 2 0 90"} << true;
    QTest::newRow("flipped bytes in a group code and in a radius")
        << "byte_flipped.dxf" << QStringList {"A 0 0 2 0 90", "L 5 5 6 6"} << true;
    QTest::newRow("no entities section") << "no_entities.dxf" << QStringList {} << true;
}

void TestDxfReader::fixtures()
{
    QFETCH(QString, file);
    QFETCH(QStringList, entities);
    QFETCH(bool, problems);

    const DxfReadResult result = readFixture(file);
    QCOMPARE(describe(result.drawing), entities);
    QVERIFY2(result.problems.isEmpty() != problems, qPrintable(result.problems.join('\n')));
}

void TestDxfReader::unitFactor()
{
    const DxfReadResult micrometres = readFixture(QStringLiteral("line_layer_named_10.dxf"), 1000);
    QCOMPARE(describe(micrometres.drawing.entity(0)), QStringLiteral("L 1000 2000 3000 4000"));

    // Angles and ratios are not scaled.
    const DxfReadResult arcs = readFixture(QStringLiteral("circle_and_arcs.dxf"), 1e6);
    QCOMPARE(describe(arcs.drawing.entity(1)), QStringLiteral("A 5e+06 5e+06 1.5e+06 30 90"));
    const DxfReadResult ellipses = readFixture(QStringLiteral("ellipses.dxf"), 1000);
    QCOMPARE(describe(ellipses.drawing.entity(0)), QStringLiteral("E 1000 1000 0 3000 0.5 whole"));

    QCOMPARE(dxfUnitFactor(0), 1.0);
    QCOMPARE(dxfUnitFactor(1), 1000.0);
    QCOMPARE(dxfUnitFactor(2), 1e6);
    QCOMPARE(dxfUnitFactor(7), 1.0);
}

void TestDxfReader::unreadableInput_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("binary DXF") << QByteArray("AutoCAD Binary DXF\r\n\x1a\0", 22);
    QTest::newRow("ends after a code") << QByteArray("0\nSECTION\n2\nENTITIES\n0\nLINE\n10");
    QTest::newRow("entities without end")
        << QByteArray("0\nSECTION\n2\nENTITIES\n0\nCIRCLE\n10\n1\n20\n1\n");
    QTest::newRow("numbers out of range")
        << QByteArray("0\nSECTION\n2\nENTITIES\n0\nCIRCLE\n10\n1e308\n20\n1\n40\nnan\n0\nENDSEC\n");
    QTest::newRow("coordinates near the largest double") << QByteArray(
        "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\n-1.7e308\n20\n0\n11\n1.7e308\n21\n0\n0\nENDSEC\n");
    QTest::newRow("ellipse ratio above 1") << QByteArray(
        "0\nSECTION\n2\nENTITIES\n0\nELLIPSE\n10\n0\n20\n0\n11\n1\n21\n0\n40\n1e300\n0\nENDSEC\n");
    QTest::newRow("huge ellipse") << QByteArray(
        "0\nSECTION\n2\nENTITIES\n0\nELLIPSE\n10\n0\n20\n0\n11\n1e30\n21\n0\n40\n0.5\n0\nENDSEC\n");
    QTest::newRow("vertex before polyline")
        << QByteArray("0\nSECTION\n2\nENTITIES\n0\nVERTEX\n10\n1\n20\n1\n0\nSEQEND\n0\nENDSEC\n");
    QTest::newRow("polyline flags out of range")
        << QByteArray("0\nSECTION\n2\nENTITIES\n0\nPOLYLINE\n70\n1e113\n0\nVERTEX\n10\n0\n20\n0\n"
                      "0\nVERTEX\n10\n1\n20\n0\n0\nSEQEND\n0\nENDSEC\n");
    QTest::newRow("vertex flags out of range") << QByteArray(
        "0\nSECTION\n2\nENTITIES\n0\nPOLYLINE\n70\n0\n0\nVERTEX\n70\n710691000000\n10\n0\n"
        "20\n0\n0\nVERTEX\n10\n1\n20\n0\n0\nSEQEND\n0\nENDSEC\n");
    QTest::newRow("lightweight flags out of range") << QByteArray(
        "0\nSECTION\n2\nENTITIES\n0\nLWPOLYLINE\n70\n99999999999\n10\n0\n20\n0\n10\n1\n"
        "20\n0\n0\nENDSEC\n");
    QTest::newRow("polyline y before x") << QByteArray(
        "0\nSECTION\n2\nENTITIES\n0\nLWPOLYLINE\n90\n2\n20\n1\n10\n1\n20\n2\n0\nENDSEC\n");
}

// Damaged input gives an empty drawing with a reason, never a crash or a NaN entity.
void TestDxfReader::unreadableInput()
{
    QFETCH(QByteArray, bytes);
    const DxfReadResult result = readDxf(bytes, 1000.0);
    QVERIFY(result.drawing.isEmpty());
    QVERIFY(!result.problems.isEmpty());
}

void TestDxfReader::segmentDistance_data()
{
    QTest::addColumn<QPointF>("p");
    QTest::addColumn<QPointF>("a");
    QTest::addColumn<QPointF>("b");
    QTest::addColumn<double>("expected");

    QTest::newRow("foot inside") << QPointF(1, 1) << QPointF(0, 0) << QPointF(2, 0) << 1.0;
    QTest::newRow("beyond the end") << QPointF(5, 4) << QPointF(0, 0) << QPointF(2, 0) << 5.0;
    QTest::newRow("before the start") << QPointF(-3, 4) << QPointF(0, 0) << QPointF(2, 0) << 5.0;
    QTest::newRow("vertical segment")
        << QPointF(0.3, 0.7) << QPointF(0.1, 0.1) << QPointF(0.1, 0.9) << 0.2;
    QTest::newRow("oblique, foot inside")
        << QPointF(0, 2) << QPointF(0, 0) << QPointF(2, 2) << std::sqrt(2.0);
    QTest::newRow("point segment") << QPointF(3, 4) << QPointF(0, 0) << QPointF(0, 0) << 5.0;
}

void TestDxfReader::segmentDistance()
{
    QFETCH(QPointF, p);
    QFETCH(QPointF, a);
    QFETCH(QPointF, b);
    QFETCH(double, expected);
    QVERIFY(std::abs(distanceToSegment(p, a, b) - expected) < 1e-12);
    QVERIFY(std::abs(distanceToSegment(p, b, a) - expected) < 1e-12);
}

void TestDxfReader::arcDistance_data()
{
    QTest::addColumn<QPointF>("p");
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<double>("expected");

    // Unit circle arcs about the origin.
    QTest::newRow("on the arc's side") << QPointF(0, 3) << 30.0 << 120.0 << 2.0;
    QTest::newRow("beside the missing part: nearer end")
        << QPointF(0, -1) << 0.0 << 90.0 << std::sqrt(2.0);
    QTest::newRow("arc across 0°, inside") << QPointF(2, 0) << 350.0 << 10.0 << 1.0;
    QTest::newRow("arc across 0°, beside it")
        << QPointF(-1, 0) << 350.0 << 10.0
        << QLineF(QPointF(-1, 0), QPointF(std::cos(10 * kPi / 180), std::sin(10 * kPi / 180)))
               .length();
    QTest::newRow("full circle") << QPointF(0, -0.25) << 0.0 << 0.0 << 0.75;
    QTest::newRow("centre") << QPointF(0, 0) << 0.0 << 90.0 << 1.0;
}

void TestDxfReader::arcDistance()
{
    QFETCH(QPointF, p);
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(double, expected);
    DxfDrawing drawing;
    drawing.append(DxfEntity::arc(QPointF(0, 0), 1.0, start, end));
    QVERIFY2(std::abs(drawing.distanceTo(p) - expected) < 1e-12,
             qPrintable(QString::number(drawing.distanceTo(p), 'g', 17)));
}

void TestDxfReader::ellipseMeasuredWithinTenthOfMicrometre_data()
{
    QTest::addColumn<double>("unitFactor");
    QTest::addColumn<double>("rotation");
    QTest::addColumn<double>("semiMajor");

    QTest::newRow("3 x 1.5 mm, mm") << 1.0 << 0.0 << 3.0;
    QTest::newRow("3 x 1.5 mm turned 30°, µm") << 1000.0 << 30.0 << 3.0;
    QTest::newRow("3 x 1.5 mm vertical, nm") << 1e6 << 90.0 << 3.0;
    QTest::newRow("60 x 30 mm turned 137°, mm") << 1.0 << 137.0 << 60.0;
}

// Points set off along the ellipse's normal by ±0.2 mm lie exactly that far from it; the
// polyline the ellipse is measured as must agree within 0.1 µm.
void TestDxfReader::ellipseMeasuredWithinTenthOfMicrometre()
{
    QFETCH(double, unitFactor);
    QFETCH(double, rotation);
    QFETCH(double, semiMajor);

    const double f = unitFactor;
    const double phi = rotation * kPi / 180.0;
    const QPointF major(semiMajor * std::cos(phi), semiMajor * std::sin(phi));
    const QString dxf
        = QStringLiteral("0\nSECTION\n2\nENTITIES\n0\nELLIPSE\n10\n1\n20\n-2\n11\n%1\n"
                         "21\n%2\n40\n0.5\n0\nENDSEC\n0\nEOF\n")
              .arg(major.x(), 0, 'g', 17)
              .arg(major.y(), 0, 'g', 17);
    const DxfReadResult result = readDxf(dxf.toLatin1(), f);
    QCOMPARE(result.drawing.size(), 1);
    const DxfEntity &e = result.drawing.entity(0);

    const QPointF minor(-major.y() * 0.5, major.x() * 0.5);
    double worst = 0.0;
    for (int i = 0; i < 3000; ++i) {
        const double t = 2 * kPi * i / 3000.0 + 0.0005;
        const QPointF onEllipse = QPointF(1, -2) + major * std::cos(t) + minor * std::sin(t);
        const QPointF tangent = -major * std::sin(t) + minor * std::cos(t);
        const double len = std::hypot(tangent.x(), tangent.y());
        const QPointF normal(tangent.y() / len, -tangent.x() / len);
        for (double offset : {0.2, 0.0, -0.2}) {
            const QPointF p = (onEllipse + normal * offset) * f;
            worst = std::max(worst, std::abs(result.drawing.distanceTo(p) - std::abs(offset) * f));
        }
    }
    QVERIFY2(worst < 1e-4 * f, qPrintable(QString::number(worst / f * 1000, 'g', 4) + " µm"));
    // The bounds follow the turned major axis (a vertical ellipse is tall, not wide).
    const QRectF b = e.bounds;
    QVERIFY(std::abs(b.width() / f
                     - 2 * std::hypot(semiMajor * std::cos(phi), 0.5 * semiMajor * std::sin(phi)))
            < 1e-3);
}

void TestDxfReader::transformations()
{
    DxfDrawing d;
    d.append(DxfEntity::line(QPointF(1, 0), QPointF(2, 0)));
    d.append(DxfEntity::arc(QPointF(1, 0), 2.0, 30.0, 120.0));
    d.append(DxfEntity::circle(QPointF(0, 1), 1.0));
    d.append(DxfEntity::ellipse(QPointF(2, 0), QPointF(3, 0), 0.5, 0, 2 * kPi, 1e-4));

    // A turn can carry an arc start below 0°: it stays an arc within [0, 360), and a full circle
    // stays a full circle.
    d.rotate(-45.0, QPointF(0, 0));
    QCOMPARE(describe(d.entity(1)).section(' ', 4), QStringLiteral("345 90"));
    QVERIFY(d.entity(2).fullCircle);
    d.rotate(135.0, QPointF(0, 0));
    QCOMPARE(describe(d),
             (QStringList {"L 0 1 0 2", "A 0 1 2 120 90", "C -1 0 1", "E 0 2 0 3 0.5 whole"}));
    // The ellipse's outline turns with it.
    QVERIFY(d.distanceTo(QPointF(0, 5)) < 1e-9);

    d.translate(1.0, -1.0);
    QCOMPARE(describe(d),
             (QStringList {"L 1 0 1 1", "A 1 0 2 120 90", "C 0 -1 1", "E 1 1 0 3 0.5 whole"}));

    d.rescale(1000.0);
    QCOMPARE(describe(d),
             (QStringList {"L 1000 0 1000 1000", "A 1000 0 2000 120 90", "C 0 -1000 1000",
                           "E 1000 1000 0 3000 0.5 whole"}));
    QVERIFY(d.distanceTo(QPointF(1000, 4000)) < 1e-6);
    // Scaling by nothing or by a number that is not one leaves the drawing.
    d.rescale(0.0);
    d.rescale(std::numeric_limits<double>::quiet_NaN());
    QCOMPARE(describe(d.entity(2)), QStringLiteral("C 0 -1000 1000"));

    QCOMPARE(DxfDrawing().distanceTo(QPointF(1, 1)), DxfDrawing::kNoDistance);
}

void TestDxfReader::reperPoints()
{
    // Circles at every radius: the points at the horizontal extremes stay finite.
    for (double r : {0.1, 0.3, 0.7, 1e-3, 7.1, 123.456}) {
        const QVector<QPointF> points = DxfEntity::circle(QPointF(0.3, -0.1), r).reperPoints();
        QCOMPARE(points.size(), 26);
        for (const QPointF &p : points) {
            QVERIFY(std::isfinite(p.x()) && std::isfinite(p.y()));
            QVERIFY(std::abs(QLineF(p, QPointF(0.3, -0.1)).length() - r) < 1e-9 * (1 + r));
        }
    }
    // A vertical line: the points run along it.
    const QVector<QPointF> vertical = DxfEntity::line(QPointF(2, 5), QPointF(2, 1)).reperPoints();
    QCOMPARE(vertical.size(), 12);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(vertical.at(2 + i), QPointF(2, 5 - 0.4 * i));
    // An oblique line: ten points from the left end, a tenth short of the right one.
    const QVector<QPointF> oblique = DxfEntity::line(QPointF(10, 0), QPointF(0, 5)).reperPoints();
    QCOMPARE(oblique.at(2), QPointF(0, 5));
    QCOMPARE(oblique.at(11), QPointF(9, 0.5));
    // An arc: its ends first, then eleven points along it.
    const QVector<QPointF> arc = DxfEntity::arc(QPointF(0, 0), 1.0, 350, 10).reperPoints();
    QCOMPARE(arc.size(), 13);
    QVERIFY(QLineF(arc.at(7), QPointF(1, 0)).length() < 1e-12);
    // A turned ellipse: every point is on it.
    const DxfEntity e = DxfEntity::ellipse(QPointF(1, 1), QPointF(0, 3), 0.5, 0, 0, 1e-4);
    for (const QPointF &p : e.reperPoints()) {
        QVERIFY(std::isfinite(p.x()) && std::isfinite(p.y()));
        const double u = (p.y() - 1) / 3.0, v = (p.x() - 1) / 1.5;
        QVERIFY(std::abs(u * u + v * v - 1.0) < 1e-9);
    }
}

void TestDxfReader::hintedDistanceMatchesPlainSearch()
{
    const DxfReadResult result = readFixture(QStringLiteral("lwpolyline_bulges.dxf"));
    DxfDrawing d = result.drawing;
    d.append(DxfEntity::ellipse(QPointF(2, 5), QPointF(2, 1), 0.3, 0, 0, 1e-4));
    QRandomGenerator random(7);
    QVector<QPointF> points;
    for (int i = 0; i < 500; ++i)
        points << QPointF(-2.0 + 9.0 * random.generateDouble(),
                          -2.0 + 14.0 * random.generateDouble());
    QVector<int> hints;
    for (int round = 0; round < 4; ++round) {
        double plain = 0.0;
        for (const QPointF &p : points) {
            double best = DxfDrawing::kNoDistance;
            for (int i = 0; i < d.size(); ++i)
                best = std::min(best, d.entity(i).distanceTo(p));
            plain += best;
        }
        QVERIFY(std::abs(d.distanceSum(points, &hints) - plain) < 1e-9);
        d.rotate(7.0, QPointF(1, 1));
        d.translate(0.3, -0.2);
    }
}

void TestDxfReader::distanceSumEqualsEveryEntityScan_data()
{
    QTest::addColumn<QString>("drawing");
    QTest::newRow("long polyline") << "polyline";
    QTest::newRow("segments in random order") << "random";
    QTest::newRow("bulges, circles, ellipse and long lines") << "mixed";
    QTest::newRow("everything on one horizontal line") << "flat";
    QTest::newRow("every entity at one point") << "point";
    QTest::newRow("lines too long for their bounds among short ones") << "unbounded";
    // Neighbours in the file that lie across each other, so that every entity's bounds hold
    // most of the drawing.
    QTest::newRow("grid drawn a row and a column at a time") << "grid";
    QTest::newRow("zigzag of long strokes") << "zigzag";
    QTest::newRow("hatch of strokes drawn back and forth") << "hatch";
}

// The distances come from a tree over the drawing, not from every entity; they must be exactly
// those of measuring every entity, for points on, near, beside and far from the drawing, with
// and without hints, also after the drawing has moved.
void TestDxfReader::distanceSumEqualsEveryEntityScan()
{
    QFETCH(QString, drawing);
    QRandomGenerator random(20261211);
    const auto uniform = [&random](double from, double to) {
        return from + (to - from) * random.generateDouble();
    };
    DxfDrawing d;
    if (drawing == QLatin1String("polyline")) {
        QVector<QPointF> vertices;
        for (int i = 0; i < 20000; ++i) {
            const double t = i * 0.005;
            vertices << QPointF(t, 2 * std::sin(t / 3) + 0.5 * std::sin(t * 1.7));
        }
        d = readDxf(polylineText(vertices, true), 1.0).drawing;
        QCOMPARE(d.size(), 20000);
    } else if (drawing == QLatin1String("random")) {
        for (int i = 0; i < 3000; ++i) {
            const QPointF a(uniform(-50, 50), uniform(-20, 20));
            d.append(DxfEntity::line(a, a + QPointF(uniform(-2, 2), uniform(-2, 2))));
        }
    } else if (drawing == QLatin1String("mixed")) {
        d = readFixture(QStringLiteral("lwpolyline_bulges.dxf")).drawing;
        d.append(DxfEntity::ellipse(QPointF(2, 5), QPointF(2, 1), 0.3, 0, 0, 1e-4));
        d.append(DxfEntity::circle(QPointF(3, 4), 500.0));
        d.append(DxfEntity::line(QPointF(-100, -3), QPointF(100, 9)));
        d.append(DxfEntity::line(QPointF(4, -100), QPointF(4, 100)));
        d.append(DxfEntity::line(QPointF(1, 1), QPointF(1, 1)));
        for (int i = 0; i < 400; ++i)
            d.append(DxfEntity::arc(QPointF(uniform(-5, 10), uniform(-5, 15)), uniform(0.01, 2),
                                    uniform(0, 360), uniform(0, 360)));
    } else if (drawing == QLatin1String("unbounded")) {
        // A line from end to end of the number range has bounds wider than any number: it is
        // measured apart from the tree, which holds the others.
        for (int i = 0; i < 600; ++i) {
            if (i % 200 == 7) {
                d.append(DxfEntity::line(QPointF(-1e308, i * 0.01), QPointF(1e308, i * 0.01 + 1)));
                continue;
            }
            const QPointF a(uniform(-50, 50), uniform(-20, 20));
            d.append(DxfEntity::line(a, a + QPointF(uniform(-2, 2), uniform(-2, 2))));
        }
    } else if (drawing == QLatin1String("grid")) {
        for (int i = 0; i < 1500; ++i) {
            const double at = -50.0 + i * 0.1 + uniform(0, 0.01);
            d.append(DxfEntity::line(QPointF(-60, at / 2), QPointF(110, at / 2)));
            d.append(DxfEntity::line(QPointF(at + 30, -25), QPointF(at + 30, 25)));
        }
    } else if (drawing == QLatin1String("zigzag")) {
        QPointF at(-60, -25);
        for (int i = 0; i < 3000; ++i) {
            const QPointF next(i % 2 ? -60 : 110, -25 + i * 0.016 + (i % 2 ? 0 : 20));
            d.append(DxfEntity::line(at, next));
            at = next;
        }
    } else if (drawing == QLatin1String("hatch")) {
        for (int i = 0; i < 3000; ++i) {
            const QPointF a(-100 + i * 0.07, -25);
            const QPointF b = a + QPointF(50, 50);
            d.append(i % 2 ? DxfEntity::line(b, a) : DxfEntity::line(a, b));
        }
    } else if (drawing == QLatin1String("flat")) {
        for (int i = 0; i < 500; ++i)
            d.append(DxfEntity::line(QPointF(i * 0.3, 2), QPointF(i * 0.3 + 0.2, 2)));
    } else {
        for (int i = 0; i < 50; ++i)
            d.append(DxfEntity::line(QPointF(1.5, -2), QPointF(1.5, -2)));
    }

    QVector<QPointF> points;
    for (int i = 0; i < 400; ++i)
        points << QPointF(uniform(-60, 110), uniform(-25, 25));
    for (int i = 0; i < 50; ++i)
        points << QPointF(uniform(-1e6, 1e6), uniform(-1e6, 1e6));
    // On vertices and ends exactly.
    for (int i = 0; i < std::min(d.size(), 50); ++i)
        points << d.entity(i * d.size() / std::min(d.size(), 50)).start;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    points << QPointF(nan, 0) << QPointF(0, inf) << QPointF(-inf, inf) << QPointF(1e200, -3)
           << QPointF(2e101, 0);

    QVector<int> hints;
    for (int round = 0; round < 4; ++round) {
        double plain = 0.0;
        for (int i = 0; i < points.size(); ++i) {
            const double expected = everyEntityDistance(d, points.at(i));
            plain += expected;
            const double found = d.distanceTo(points.at(i));
            QVERIFY2(sameBits(found, expected),
                     qPrintable(QStringLiteral("round %1, point %2: %3 instead of %4")
                                    .arg(round)
                                    .arg(i)
                                    .arg(found, 0, 'g', 17)
                                    .arg(expected, 0, 'g', 17)));
        }
        // Twice with the hints: empty at first, then holding the nearest entities.
        QVERIFY(sameBits(d.distanceSum(points, &hints), plain));
        QVERIFY(sameBits(d.distanceSum(points, &hints), plain));
        // A sum with a bound stops once it is above the bound, never above the whole sum; a
        // bound the whole sum does not exceed gives the whole sum.
        const double stopped = d.distanceSum(points, &hints, plain / 2);
        QVERIFY2(stopped > plain / 2 && stopped <= plain, qPrintable(QString::number(stopped)));
        QVERIFY(sameBits(d.distanceSum(points, &hints, plain), plain));
        if (round == 2) {
            // A change of unit scales the tree the queries built with the drawing; the
            // distances stay exactly those of every entity, in the new unit and back.
            for (double k : {1000.0, 1e-3}) {
                const qint64 held = d.storageBytes();
                // Into micrometres a copy shares the tree, which is then scaled as a copy: the
                // copy keeps its own scale. Back into millimetres it is scaled in place.
                const DxfDrawing copy = k > 1.0 ? d : DxfDrawing();
                const QVector<QPointF> unscaled = points;
                d.rescale(k);
                for (int i = 0; i < unscaled.size() && !copy.isEmpty(); i += 7)
                    QVERIFY(sameBits(copy.distanceTo(unscaled.at(i)),
                                     everyEntityDistance(copy, unscaled.at(i))));
                // The tree is still held (a copy of it keeps no spare room).
                QVERIFY2(d.storageBytes() * 10 >= held * 9,
                         qPrintable(QStringLiteral("%1 of %2").arg(d.storageBytes()).arg(held)));
                for (QPointF &p : points)
                    p *= k;
                for (int i = 0; i < points.size(); ++i) {
                    const double expected = everyEntityDistance(d, points.at(i));
                    QVERIFY2(sameBits(d.distanceTo(points.at(i)), expected),
                             qPrintable(QStringLiteral("scaled by %1, point %2").arg(k).arg(i)));
                }
            }
        }
        d.rotate(7.0, QPointF(1, 1));
        d.translate(0.3, -0.2);
        d.rescale(round == 1 ? 1000.0 : 1.0);
        for (QPointF &p : points)
            p = round == 1 ? p * 1000.0 : p;
    }
}

void TestDxfReader::levellingKeepsTheTreeAndItsDistances_data()
{
    QTest::addColumn<QString>("drawing");
    QTest::addColumn<double>("degrees");
    QTest::addColumn<QPointF>("pivot");
    QTest::newRow("smooth polyline, a small turn about a contour point")
        << "polyline" << 0.37 << QPointF(40, 1);
    QTest::newRow("grid, a small turn about a contour point") << "grid" << -1.3 << QPointF(20, -3);
    QTest::newRow("arcs, an ellipse and long lines, a large turn about a far point")
        << "mixed" << 133.0 << QPointF(-300, 250);
    QTest::newRow("polyline far from the origin, a quarter turn")
        << "far" << 90.0 << QPointF(1e4, 1e4);
}

// A levelling turns and shifts the whole drawing, and its reset moves it back. The drawing keeps
// the distance tree it had: the next distance needs no new tree, and is exactly the one a tree
// built for the moved drawing gives, which is the one measuring every entity gives. After the
// reset the drawing lies where it was up to the rounding of the turn and back, and so do its
// distances.
void TestDxfReader::levellingKeepsTheTreeAndItsDistances()
{
    QFETCH(QString, drawing);
    QFETCH(double, degrees);
    QFETCH(QPointF, pivot);
    QRandomGenerator random(33);
    const auto uniform = [&random](double from, double to) {
        return from + (to - from) * random.generateDouble();
    };
    DxfDrawing d;
    if (drawing == QLatin1String("polyline") || drawing == QLatin1String("far")) {
        const QPointF origin = drawing == QLatin1String("far") ? QPointF(1e4, -2e4) : QPointF();
        QPointF at = origin;
        for (int i = 1; i < 20000; ++i) {
            const double t = i * 0.005;
            const QPointF next = origin + QPointF(t, 2 * std::sin(t / 3) + 0.5 * std::sin(t * 1.7));
            d.append(DxfEntity::line(at, next));
            at = next;
        }
    } else if (drawing == QLatin1String("grid")) {
        for (int i = 0; i < 3000; ++i) {
            const double at = -50.0 + i * 0.05 + uniform(0, 0.01);
            d.append(DxfEntity::line(QPointF(-60, at / 2), QPointF(110, at / 2)));
            d.append(DxfEntity::line(QPointF(at + 30, -25), QPointF(at + 30, 25)));
        }
    } else {
        d = readFixture(QStringLiteral("lwpolyline_bulges.dxf")).drawing;
        d.append(DxfEntity::ellipse(QPointF(2, 5), QPointF(2, 1), 0.3, 0.5, 4, 1e-4));
        d.append(DxfEntity::line(QPointF(-100, -3), QPointF(100, 9)));
        d.append(DxfEntity::circle(QPointF(3, 4), 500.0));
        for (int i = 0; i < 2000; ++i) {
            if (i % 3 == 0) {
                d.append(DxfEntity::arc(QPointF(uniform(-5, 10), uniform(-5, 15)), uniform(0.01, 2),
                                        uniform(0, 360), uniform(0, 360)));
                continue;
            }
            const QPointF a(uniform(-50, 50), uniform(-20, 20));
            d.append(DxfEntity::line(a, a + QPointF(uniform(-2, 2), uniform(-2, 2))));
        }
    }
    const QRectF span = d.entity(d.size() / 2).bounds.adjusted(-60, -30, 60, 30);
    QVector<QPointF> points;
    for (int i = 0; i < 300; ++i)
        points << QPointF(uniform(span.left(), span.right()), uniform(span.top(), span.bottom()));
    for (int i = 0; i < 20; ++i)
        points << QPointF(uniform(-1e6, 1e6), uniform(-1e6, 1e6));
    for (int i = 0; i < 30; ++i)
        points << d.entity(i * d.size() / 30).start;
    const QVector<QPointF> original = points;
    const DxfDrawing placed = d;
    QVERIFY(d.distanceSum(points) < DxfDrawing::kNoDistance * points.size());
    QVERIFY(d.hasDistanceTree());

    // The same entities, with a tree of their own.
    const auto rebuilt = [](const DxfDrawing &from) {
        DxfDrawing fresh;
        for (int i = 0; i < from.size(); ++i)
            fresh.append(from.entity(i));
        return fresh;
    };
    const QPointF shift(0.125, -0.3);
    const double c = std::cos(degrees * M_PI / 180.0);
    const double s = std::sin(degrees * M_PI / 180.0);
    for (int round = 0; round < 3; ++round) {
        // The levelling: a turn about the pivot, then a shift.
        d.rotate(degrees, pivot);
        d.translate(shift.x(), shift.y());
        QVERIFY2(d.hasDistanceTree(), "the levelling dropped the distance tree");
        for (QPointF &p : points) {
            const QPointF v = p - pivot;
            p = pivot + QPointF(v.x() * c - v.y() * s, v.x() * s + v.y() * c) + shift;
        }
        const DxfDrawing fresh = rebuilt(d);
        for (int i = 0; i < points.size(); ++i) {
            // Both trees measure the same entities from the same point and pass over only what
            // is farther than the nearest: the distances agree to the bit.
            const double kept = d.distanceTo(points.at(i));
            QVERIFY2(sameBits(kept, fresh.distanceTo(points.at(i))),
                     qPrintable(QStringLiteral("round %1, point %2: %3 instead of %4")
                                    .arg(round)
                                    .arg(i)
                                    .arg(kept, 0, 'g', 17)
                                    .arg(fresh.distanceTo(points.at(i)), 0, 'g', 17)));
            if (i % 5 == 0)
                QVERIFY(sameBits(kept, everyEntityDistance(d, points.at(i))));
        }
        QVector<int> hints;
        QVERIFY(sameBits(d.distanceSum(points, &hints), fresh.distanceSum(points)));
        QVERIFY(sameBits(d.distanceSum(points, &hints), fresh.distanceSum(points)));
    }
    // The resets, each undoing one levelling.
    for (int round = 0; round < 3; ++round) {
        d.translate(-shift.x(), -shift.y());
        d.rotate(-degrees, pivot);
    }
    QVERIFY(d.hasDistanceTree());
    const DxfDrawing fresh = rebuilt(d);
    for (int i = 0; i < original.size(); ++i) {
        const QPointF &p = original.at(i);
        const double kept = d.distanceTo(p);
        QVERIFY(sameBits(kept, fresh.distanceTo(p)));
        // Three turns there and back round each coordinate by a few units in its last place:
        // a distance moves by at most that much of the coordinates' size (drawing, pivot,
        // point).
        const double rounding = 1e-13
            * (std::fabs(p.x()) + std::fabs(p.y()) + std::fabs(pivot.x()) + std::fabs(pivot.y())
               + span.width() + span.height() + std::fabs(span.left()) + std::fabs(span.top()));
        QVERIFY2(std::fabs(kept - placed.distanceTo(p)) <= rounding,
                 qPrintable(QStringLiteral("point %1: %2 instead of %3")
                                .arg(i)
                                .arg(kept, 0, 'g', 17)
                                .arg(placed.distanceTo(p), 0, 'g', 17)));
    }
}

// A polyline of many vertices is kept in well under 100 bytes per vertex, its distance grid
// included.
void TestDxfReader::polylineKeepsFewBytesPerVertex()
{
    const int vertices = 200000;
    QVector<QPointF> points;
    for (int i = 0; i < vertices; ++i)
        points << QPointF(i * 0.0005, std::sin(i * 0.001));
    const DxfReadResult result = readDxf(polylineText(points, false), 1000.0);
    QCOMPARE(result.drawing.size(), vertices - 1);
    QVERIFY2(result.drawing.storageBytes() <= 50 * qint64(vertices),
             qPrintable(QString::number(result.drawing.storageBytes() / double(vertices))));
    QVERIFY(result.drawing.distanceTo(QPointF(30, 400)) < 1e3);
    QVERIFY2(result.drawing.storageBytes() <= 100 * qint64(vertices),
             qPrintable(QString::number(result.drawing.storageBytes() / double(vertices))));
}

// The ellipse points of a drawing are limited; an ellipse beyond the limit is left out with a
// problem line, and a later one that still fits is kept.
void TestDxfReader::ellipsePointLimit()
{
    const int big = 250;
    QByteArray text = "0\nSECTION\n2\nENTITIES\n";
    for (int i = 0; i < big; ++i)
        text += "0\nELLIPSE\n100\nAcDbEllipse\n10\n" + QByteArray::number(i)
            + "\n20\n0\n11\n1000\n21\n0\n40\n0.5\n";
    text += "0\nELLIPSE\n10\n0\n20\n0\n11\n1\n21\n0\n40\n0.5\n0\nENDSEC\n";
    const DxfReadResult result = readDxf(text, 1.0);
    const int bigPoints = DxfEntity::ellipseSegments(1000.0, 2 * kPi, 1e-4) + 1;
    const int smallPoints = DxfEntity::ellipseSegments(1.0, 2 * kPi, 1e-4) + 1;
    const int kept = (1 << 21) / bigPoints;
    QVERIFY(kept < big);
    QVERIFY((1 << 21) - kept * bigPoints >= smallPoints);
    QCOMPARE(result.drawing.size(), kept + 1);
    QCOMPARE(result.drawing.entity(kept).outline.size(), smallPoints);
    QCOMPARE(result.drawing.entity(kept - 1).outline.size(), bigPoints);
    const int refused = big - kept;
    QCOMPARE(result.problems.size(), std::min(refused, 100) + (refused > 100 ? 1 : 0));
    QVERIFY(result.problems.first().contains(QStringLiteral("too many ellipse points")));
}

// A long drawing reports its progress as it is read, and a progress that answers false stops
// the read: no drawing, and the problem says why.
void TestDxfReader::progressReportsAndStops()
{
    QByteArray text = "0\nSECTION\n2\nENTITIES\n";
    const int lines = 20000;
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("0\nLINE\n8\n0\n10\n%1\n20\n0\n11\n%1\n21\n1\n").arg(i).toLatin1();
    text += "0\nENDSEC\n0\nEOF\n";

    QList<qint64> reports;
    const DxfReadResult whole = readDxf(text, 1.0, [&](qint64 done, qint64 total) {
        if (total != text.size())
            return false;
        reports << done;
        return true;
    });
    QCOMPARE(whole.drawing.size(), lines);
    QVERIFY(whole.problems.isEmpty());
    QVERIFY(reports.size() > 10);
    QVERIFY(std::is_sorted(reports.cbegin(), reports.cend()));
    QVERIFY(reports.first() > 0 && reports.last() < text.size());

    int calls = 0;
    const DxfReadResult stopped = readDxf(text, 1.0, [&](qint64, qint64) { return ++calls < 3; });
    QCOMPARE(calls, 3);
    QVERIFY(stopped.drawing.isEmpty());
    QCOMPARE(stopped.problems, QStringList {dxfReadCancelledText()});
}

// A polyline of many vertices is read as one entity after its last pair: its reading reports
// progress too (never running back) and stops when the progress says so.
void TestDxfReader::progressStopsInsideALongPolyline()
{
    QVector<QPointF> vertices;
    for (int i = 0; i < 40000; ++i)
        vertices << QPointF(i * 0.01, std::sin(i * 0.01));
    const QByteArray text = polylineText(vertices, false);

    QList<qint64> reports;
    const DxfReadResult whole = readDxf(text, 1.0, [&](qint64 done, qint64) {
        reports << done;
        return true;
    });
    QCOMPARE(whole.drawing.size(), vertices.size() - 1);
    QVERIFY(std::is_sorted(reports.cbegin(), reports.cend()));
    // The reports while the pairs are gathered, then those while the polyline is built.
    const int gathering = int(std::count_if(reports.cbegin(), reports.cend(),
                                            [&](qint64 done) { return done < reports.last(); }));
    QVERIFY(gathering > 5);
    QVERIFY(reports.size() > gathering + 5);

    int calls = 0;
    const DxfReadResult stopped
        = readDxf(text, 1.0, [&](qint64, qint64) { return ++calls <= gathering + 1; });
    QCOMPARE(calls, gathering + 2);
    QVERIFY(stopped.drawing.isEmpty());
    QCOMPARE(stopped.problems, QStringList {dxfReadCancelledText()});
}

QTEST_APPLESS_MAIN(TestDxfReader)
#include "tst_DxfReader.moc"
