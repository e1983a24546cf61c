#include "measurements/MeasurementKinds.h"
#include "support/TestSupport.h"

Q_DECLARE_METATYPE(IntersectionRoutine)

class tst_MeasurementKinds : public QObject
{
    Q_OBJECT

private slots:
    void rowsFollowTheEnumeration();
    void everyListedKindHasAGroup();
    void intersectionPairs_data();
    void intersectionPairs();
    void clickKinds_data();
    void clickKinds();
};

void tst_MeasurementKinds::rowsFollowTheEnumeration()
{
    for (int kind = 0; kind <= kMeasurementKindCount; ++kind) {
        const MeasurementKindInfo &row = measurementKindInfo(kind);
        QCOMPARE(int(row.kind), kind);
        if (kind == NO_MEASUREMENT)
            continue;
        QVERIFY2(!measurementKindName(kind).isEmpty(), qPrintable(QString::number(kind)));
        // Kinds 14 to 17 are stored and grouped as kind 13; every other kind as itself.
        QCOMPARE(row.storedType, kind >= 14 && kind <= 17 ? 13 : kind);
        // Only the levelling kinds stay out of the list.
        QCOMPARE(row.listed, kind != LAY_FLAT && kind != LAY_FLAT_BY_TWO);
        // Every kind but the hidden average diameter has a tool button icon.
        QCOMPARE(row.icon == nullptr, kind == AVG_DIAMETERT);
        if (row.icon)
            QVERIFY(QString::fromUtf8(row.icon).startsWith(QStringLiteral(":/icons/icons/")));
    }
    QCOMPARE(measurementKindInfo(-1).kind, NO_MEASUREMENT);
    QCOMPARE(measurementKindInfo(36).kind, NO_MEASUREMENT);
    QCOMPARE(measurementKindName(CLICK_VERTICAL_LINE), QStringLiteral("Вертикальная прямая"));
    QCOMPARE(measurementKindName(ARCS_RADIUS), QStringLiteral("Радиус (A)"));
}

// The tree and the protocol find a kind's group row and designation in the tables alone.
void tst_MeasurementKinds::everyListedKindHasAGroup()
{
    for (int g = 0; g <= kMeasurementGroupCount; ++g)
        QCOMPARE(int(measurementGroupInfo(MeasurementGroup(g)).group), g);
    QCOMPARE(measurementGroupInfo(MeasurementGroup(-1)).group, MeasurementGroup::None);
    for (int kind = 0; kind < kMeasurementKindCount; ++kind) {
        const MeasurementKindInfo &row = measurementKindInfo(kind);
        QCOMPARE(row.group == MeasurementGroup::None, !row.listed);
        // A kind is grouped by what it stores: the stored kind's row gives the same group.
        QCOMPARE(measurementGroupOf(row.storedType), row.group);
        // Only construction geometry goes without a designation in the protocol.
        const MeasurementGroupInfo &group = measurementGroupInfo(row.group);
        QCOMPARE(group.prefix == nullptr,
                 row.group == MeasurementGroup::ConstructionGeometry
                     || row.group == MeasurementGroup::None);
    }
    QCOMPARE(measurementGroupOf(NO_MEASUREMENT), MeasurementGroup::None);
    QCOMPARE(measurementGroupOf(ERROR_PLANE), MeasurementGroup::Deviations);
    QCOMPARE(measurementGroupOf(COMPARE_PLANE_DXF), MeasurementGroup::ConstructionGeometry);
    QCOMPARE(QString::fromUtf8(measurementGroupInfo(MeasurementGroup::Angles).prefix),
             QStringLiteral("α"));
}

void tst_MeasurementKinds::intersectionPairs_data()
{
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<IntersectionRoutine>("routine");
    using IR = IntersectionRoutine;
    QTest::newRow("circle, circle") << 22 << 22 << IR::Circles;
    QTest::newRow("circle, circle of given radius") << 22 << 23 << IR::Circles;
    QTest::newRow("circle, horizontal") << 23 << 24 << IR::LineAndCircle;
    QTest::newRow("two-point, circle") << 26 << 22 << IR::LineAndCircle;
    QTest::newRow("thread, circle") << 29 << 23 << IR::LineAndCircle;
    QTest::newRow("circle, vertical") << 22 << 25 << IR::VerticalAndCircle;
    QTest::newRow("vertical, circle") << 25 << 23 << IR::VerticalAndCircle;
    QTest::newRow("vertical, horizontal") << 25 << 24 << IR::VerticalAndLine;
    QTest::newRow("two-point, vertical") << 26 << 25 << IR::VerticalAndLine;
    QTest::newRow("vertical, thread") << 25 << 29 << IR::VerticalAndLine;
    QTest::newRow("horizontal, two-point") << 24 << 26 << IR::LineAndLine;
    QTest::newRow("two-point, two-point") << 26 << 26 << IR::LineAndLine;
    QTest::newRow("thread, two-point") << 29 << 26 << IR::LineAndLine;
    QTest::newRow("horizontal, thread") << 24 << 29 << IR::LineAndLine;
    QTest::newRow("horizontal, horizontal") << 24 << 24 << IR::None;
    QTest::newRow("vertical, vertical") << 25 << 25 << IR::None;
    QTest::newRow("thread, thread") << 29 << 29 << IR::None;
    QTest::newRow("point, circle") << 27 << 22 << IR::None;
    QTest::newRow("middle point, two-point") << 28 << 26 << IR::None;
    QTest::newRow("text, vertical") << 32 << 25 << IR::None;
    // A measured radius is no construction geometry.
    QTest::newRow("radius, circle") << 7 << 22 << IR::None;
    QTest::newRow("no tool, circle") << 35 << 22 << IR::None;
}

void tst_MeasurementKinds::intersectionPairs()
{
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(IntersectionRoutine, routine);
    QCOMPARE(intersectionRoutine(a, b), routine);
    QCOMPARE(intersectionRoutine(b, a), routine);
}

void tst_MeasurementKinds::clickKinds_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("clickNormally");
    QTest::addColumn<bool>("clickWithAlternative");
    // Made by clicks, with the segment selection off or on.
    QTest::addColumn<bool>("clicks");
    QTest::newRow("height") << 0 << true << false << true;
    QTest::newRow("length") << 1 << true << false << true;
    QTest::newRow("largest height") << 2 << false << false << false;
    QTest::newRow("straight distance") << 3 << true << false << true;
    QTest::newRow("levelling") << 9 << false << false << false;
    for (int kind : {24, 25, 26, 27, 32, 35})
        QTest::addRow("click kind %d", kind) << kind << true << true << true;
    for (int kind : {30, 33, 34})
        QTest::addRow("range kind %d", kind) << kind << false << false << false;
    // The middle point and the thread take clicks while the segment selection stays on.
    QTest::newRow("middle point") << 28 << false << false << true;
    QTest::newRow("thread") << 29 << false << false << true;
}

void tst_MeasurementKinds::clickKinds()
{
    QFETCH(int, kind);
    QFETCH(bool, clickNormally);
    QFETCH(bool, clickWithAlternative);
    QFETCH(bool, clicks);
    QCOMPARE(isClickKind(kind, false), clickNormally);
    QCOMPARE(isClickKind(kind, true), clickWithAlternative);
    QCOMPARE(takesClicks(kind, false), clicks);
    // Only the kinds that the setting switches change with it.
    QCOMPARE(takesClicks(kind, true), clicks && (clickWithAlternative || kind == 28 || kind == 29));
}

QTEST_APPLESS_MAIN(tst_MeasurementKinds)
#include "tst_MeasurementKinds.moc"
