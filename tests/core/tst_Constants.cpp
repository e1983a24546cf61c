#include "core/Constants.h"

#include <QtTest>

class TestConstants : public QObject
{
    Q_OBJECT

private slots:
    void filterLengthsLongestFirst()
    {
        QCOMPARE(kFilterLengths, (QVector<double> {8000, 2500, 800, 250, 80}));
    }

    void titleFollowsDeviceKind_data()
    {
        QTest::addColumn<int>("deviceType");
        QTest::addColumn<QString>("title");
        QTest::newRow("contour") << 0 << "Корване";
        QTest::newRow("contour with roughness sensor") << 1 << "Корване";
        QTest::newRow("profile") << 2 << "Профилометр модели T46";
        QTest::newRow("additional") << 3 << "Профилометр модели T46";
        QTest::newRow("unexpected") << 7 << "Корване";
    }

    void titleFollowsDeviceKind()
    {
        QFETCH(int, deviceType);
        QFETCH(QString, title);
        QCOMPARE(windowTitleForDeviceType(deviceType), title);
    }

    void pens()
    {
        QCOMPARE(kItemPen.color(), QColor(Qt::black));
        QVERIFY(kItemPen.isCosmetic());
        QCOMPARE(kSelectedItemPen.color(), QColor(Qt::green));
        QCOMPARE(kReperPen.style(), Qt::DashLine);
        QCOMPARE(kReperPen.widthF(), 1.0);
        QCOMPARE(kReperPen.capStyle(), Qt::SquareCap);
        QCOMPARE(kReperPen.joinStyle(), Qt::BevelJoin);
    }
};

QTEST_GUILESS_MAIN(TestConstants)
#include "tst_Constants.moc"
