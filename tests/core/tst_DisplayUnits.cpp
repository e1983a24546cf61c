#include "core/DisplayUnits.h"

#include <QtTest>

// The one table of the display units: every name and factor the windows use comes from it, so a
// wrong entry shows in each of them at once.
class TestDisplayUnits : public QObject
{
    Q_OBJECT

private slots:
    void table_data()
    {
        QTest::addColumn<int>("unit");
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("perMillimetre");
        QTest::addColumn<double>("perMicrometre");
        QTest::addColumn<double>("micrometresPerUnit");
        QTest::newRow("millimetres") << int(MillimetreUnit) << "мм" << 1.0 << 0.001 << 1000.0;
        QTest::newRow("micrometres") << int(MicrometreUnit) << "мкм" << 1000.0 << 1.0 << 1.0;
        QTest::newRow("nanometres") << int(NanometreUnit) << "нм" << 1e6 << 1000.0 << 0.001;
        // Any other setting: no name, lengths taken as millimetres, no micrometre factors.
        QTest::newRow("beyond") << 3 << "" << 1.0 << 0.0 << 0.0;
        QTest::newRow("negative") << -1 << "" << 1.0 << 0.0 << 0.0;
    }
    void table()
    {
        QFETCH(int, unit);
        QFETCH(QString, name);
        QFETCH(double, perMillimetre);
        QFETCH(double, perMicrometre);
        QFETCH(double, micrometresPerUnit);
        QCOMPARE(unitSuffixOf(unit), name);
        QCOMPARE(unitOfSuffix(name), name.isEmpty() ? -1 : unit);
        // The decimal factors, and their inverse for what goes back into the trace data.
        QCOMPARE(unitsPerMillimetreOf(unit), perMillimetre);
        QCOMPARE(unitsPerMicrometreOf(unit), perMicrometre);
        QCOMPARE(micrometresPerUnitOf(unit), micrometresPerUnit);
        if (!name.isEmpty()) {
            QCOMPARE(unitsPerMicrometreOf(unit) * micrometresPerUnitOf(unit), 1.0);
            // A length written in this unit, in micrometres.
            QCOMPARE(unitConversionFactor(name, MicrometreUnit), micrometresPerUnit);
        }
    }
};

QTEST_GUILESS_MAIN(TestDisplayUnits)
#include "tst_DisplayUnits.moc"
