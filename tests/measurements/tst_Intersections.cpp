#include "measurements/Intersections.h"
#include "support/TestSupport.h"

#include <cmath>

Q_DECLARE_METATYPE(CircleShape)
Q_DECLARE_METATYPE(LineShape)

namespace {

using Points = QList<QPointF>;

void comparePoints(const Points &actual, const Points &expected)
{
    QCOMPARE(actual.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        COMPARE_TOL(actual[i].x(), expected[i].x(), 1e-12, 1e-12);
        COMPARE_TOL(actual[i].y(), expected[i].y(), 1e-12, 1e-12);
    }
}

const double kNaN = std::nan("");
const double kInf = HUGE_VAL;

} // namespace

class tst_Intersections : public QObject
{
    Q_OBJECT

private slots:
    void circles_data();
    void circles();
    void lineAndCircle_data();
    void lineAndCircle();
    void verticalAndCircle_data();
    void verticalAndCircle();
    void lines_data();
    void lines();
};

void tst_Intersections::circles_data()
{
    QTest::addColumn<CircleShape>("a");
    QTest::addColumn<CircleShape>("b");
    QTest::addColumn<Points>("expected");
    QTest::newRow("crossing") << CircleShape {0, 0, 5} << CircleShape {8, 0, 5}
                              << Points {{4, -3}, {4, 3}};
    QTest::newRow("crossing, swapped")
        << CircleShape {8, 0, 5} << CircleShape {0, 0, 5} << Points {{4, 3}, {4, -3}};
    QTest::newRow("touching outside")
        << CircleShape {0, 0, 5} << CircleShape {10, 0, 5} << Points {{5, 0}};
    QTest::newRow("touching inside")
        << CircleShape {0, 0, 5} << CircleShape {0, 2, 3} << Points {{0, 5}};
    // 0.1 + 0.2 is not 0.3 in binary: the circles touch up to rounding.
    QTest::newRow("touching up to rounding")
        << CircleShape {0, 0, 0.1} << CircleShape {0.3, 0, 0.2} << Points {{0.1, 0}};
    QTest::newRow("far apart") << CircleShape {0, 0, 5} << CircleShape {11, 0, 5} << Points {};
    QTest::newRow("one inside the other")
        << CircleShape {0, 0, 5} << CircleShape {1, 0, 2} << Points {};
    QTest::newRow("concentric, equal")
        << CircleShape {1, 1, 2} << CircleShape {1, 1, 2} << Points {};
    QTest::newRow("concentric, unequal")
        << CircleShape {1, 1, 2} << CircleShape {1, 1, 3} << Points {};
    QTest::newRow("radius not a number")
        << CircleShape {0, 0, kNaN} << CircleShape {8, 0, 5} << Points {};
    QTest::newRow("centre infinite")
        << CircleShape {0, 0, 5} << CircleShape {kInf, 0, 5} << Points {};
}

void tst_Intersections::circles()
{
    QFETCH(CircleShape, a);
    QFETCH(CircleShape, b);
    QFETCH(Points, expected);
    comparePoints(intersectCircles(a, b), expected);
}

void tst_Intersections::lineAndCircle_data()
{
    QTest::addColumn<LineShape>("line");
    QTest::addColumn<CircleShape>("circle");
    QTest::addColumn<Points>("expected");
    const double h = std::sqrt(0.5);
    QTest::newRow("through the centre")
        << LineShape {0, 2} << CircleShape {1, 2, 3} << Points {{-2, 2}, {4, 2}};
    QTest::newRow("oblique") << LineShape {1, 0} << CircleShape {0, 0, 1}
                             << Points {{-h, -h}, {h, h}};
    QTest::newRow("tangent, exact") << LineShape {0, 5} << CircleShape {0, 0, 5} << Points {{0, 5}};
    // The tangent y = x + √2 to the unit circle: the rounded √2 leaves the discriminant a hair
    // below zero.
    QTest::newRow("tangent up to rounding")
        << LineShape {1, std::sqrt(2.0)} << CircleShape {0, 0, 1} << Points {{-h, h}};
    QTest::newRow("passing by") << LineShape {0, 5.1} << CircleShape {0, 0, 5} << Points {};
    // Far from the origin in nanometres: centring keeps the crossing exact.
    QTest::newRow("far away, nm") << LineShape {0, 2e9 + 3e5} << CircleShape {1e9, 2e9, 5e5}
                                  << Points {{1e9 - 4e5, 2e9 + 3e5}, {1e9 + 4e5, 2e9 + 3e5}};
    QTest::newRow("slope not a number")
        << LineShape {kNaN, 0} << CircleShape {0, 0, 1} << Points {};
    QTest::newRow("radius infinite") << LineShape {0, 0} << CircleShape {0, 0, kInf} << Points {};
}

void tst_Intersections::lineAndCircle()
{
    QFETCH(LineShape, line);
    QFETCH(CircleShape, circle);
    QFETCH(Points, expected);
    comparePoints(intersectLineAndCircle(line, circle), expected);
}

void tst_Intersections::verticalAndCircle_data()
{
    QTest::addColumn<double>("xv");
    QTest::addColumn<CircleShape>("circle");
    QTest::addColumn<Points>("expected");
    QTest::newRow("through the centre") << 1.0 << CircleShape {1, 2, 3} << Points {{1, 5}, {1, -1}};
    QTest::newRow("off centre") << 4.0 << CircleShape {0, 0, 5} << Points {{4, 3}, {4, -3}};
    QTest::newRow("touching left") << -4.0 << CircleShape {1, 2, 5} << Points {{-4, 2}};
    QTest::newRow("touching right") << 6.0 << CircleShape {1, 2, 5} << Points {{6, 2}};
    QTest::newRow("passing by") << 6.5 << CircleShape {1, 2, 5} << Points {};
    QTest::newRow("x not a number") << kNaN << CircleShape {1, 2, 5} << Points {};
}

void tst_Intersections::verticalAndCircle()
{
    QFETCH(double, xv);
    QFETCH(CircleShape, circle);
    QFETCH(Points, expected);
    comparePoints(intersectVerticalAndCircle(xv, circle), expected);
}

void tst_Intersections::lines_data()
{
    QTest::addColumn<LineShape>("a");
    QTest::addColumn<LineShape>("b");
    QTest::addColumn<Points>("expected");
    QTest::addColumn<double>("xv");
    QTest::addColumn<Points>("withVertical"); // b crossing the vertical line x = xv
    QTest::newRow("crossing") << LineShape {2, 1} << LineShape {0, 5} << Points {{2, 5}} << 3.0
                              << Points {{3, 5}};
    QTest::newRow("parallel") << LineShape {0.5, 1} << LineShape {0.5, -2} << Points {} << -1.0
                              << Points {{-1, -2.5}};
    QTest::newRow("identical") << LineShape {-3, 1} << LineShape {-3, 1} << Points {} << 0.0
                               << Points {{0, 1}};
    QTest::newRow("offset not a number")
        << LineShape {1, 0} << LineShape {2, kNaN} << Points {} << 1.0 << Points {};
    QTest::newRow("vertical line not a number")
        << LineShape {1, 0} << LineShape {2, 0} << Points {{0, 0}} << kInf << Points {};
}

void tst_Intersections::lines()
{
    QFETCH(LineShape, a);
    QFETCH(LineShape, b);
    QFETCH(Points, expected);
    QFETCH(double, xv);
    QFETCH(Points, withVertical);
    comparePoints(intersectLineAndLine(a, b), expected);
    comparePoints(intersectLineAndLine(b, a), expected);
    comparePoints(intersectVerticalAndLine(xv, b), withVertical);
}

QTEST_APPLESS_MAIN(tst_Intersections)
#include "tst_Intersections.moc"
