// Every kind of the kinds table has a creator, so every tool button of the contour window makes a
// measurement; the value with no tool and values outside the table have none.
#include "measurements/MeasurementKinds.h"
#include "measurements/ui/MeasurementFactory.h"
#include "support/gui/GuiTest.h"

#include <QtTest>

class TestMeasurementFactory : public QObject
{
    Q_OBJECT

private slots:
    void everyKindHasACreator()
    {
        QStringList missing;
        for (int kind = 0; kind < kMeasurementKindCount; ++kind) {
            if (!measurementCreator(kind))
                missing << QString::number(kind);
        }
        QVERIFY2(missing.isEmpty(), qPrintable("kinds without a creator: " + missing.join(", ")));
    }

    void noToolAndOutsideValuesHaveNone()
    {
        QVERIFY(!measurementCreator(NO_MEASUREMENT));
        QVERIFY(!measurementCreator(-1));
        QVERIFY(!measurementCreator(kMeasurementKindCount + 1));
    }
};

GUI_TEST_MAIN(TestMeasurementFactory)
#include "tst_MeasurementFactory.moc"
