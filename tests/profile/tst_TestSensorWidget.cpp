#include "core/ProfileTrace.h"
#include "profile/TestSensorWidget.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"
#include "traceprocessing/ParameterEvaluation.h"

#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <QStyle>
#include <QTreeWidget>
#include <cmath>
#include <memory>

using namespace testsupport;

namespace {

// A sine roughness of 100 µm wavelength over 4 mm at a 0.8 mm cut-off, scaled by `scale`.
std::unique_ptr<ProfileTrace> sineTrace(double scale, double length = 4000.0)
{
    auto trace = std::make_unique<ProfileTrace>();
    trace->filterLength = 800.0;
    for (double x = 0.0; x <= length; x += 0.5) {
        QVector<double> sample {x, scale * std::sin(2 * M_PI * x / 100.0)};
        trace->appendPoint(sample);
    }
    return trace;
}

// A trace whose Ra text is exactly `ra` with three decimals: Ra is linear in the heights.
std::unique_ptr<ProfileTrace> traceWithRa(double ra)
{
    static double unitRa = 0.0;
    if (unitRa == 0.0) {
        auto unit = sineTrace(1000.0);
        ExtraArgs args;
        unitRa = evaluateParameter(args, unit.get(), QStringLiteral("Ra")).toDouble() / 1000.0;
    }
    return sineTrace(ra / unitRa);
}

template<class W>
W *child(QWidget &widget, const char *name)
{
    W *found = widget.findChild<W *>(QLatin1String(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}

QTreeWidget *table(QWidget &widget)
{
    return child<QTreeWidget>(widget, "raStandardTreeWidget");
}

QString measuredText(TestSensorWidget &widget, int row)
{
    return table(widget)->topLevelItem(row)->text(1);
}

} // namespace

class TestTestSensorWidget : public QObject
{
    Q_OBJECT

private slots:
    void freshTableAndReport()
    {
        TempSettings settings([](Settings &s) { s.service.sensor_number = 4711; });
        TestSensorWidget widget;
        QTreeWidget *tree = table(widget);
        QCOMPARE(tree->headerItem()->text(0), QStringLiteral("Эталон"));
        QCOMPARE(tree->headerItem()->text(1), QStringLiteral("Измеренное значение"));
        QCOMPARE(tree->headerItem()->text(2), QStringLiteral("Вход в допуск"));
        QCOMPARE(child<QSpinBox>(widget, "sensorNumberSpinBox")->value(), 4711);
        QCOMPARE(child<QSpinBox>(widget, "sensorNumberSpinBox")->prefix(), QStringLiteral("№ "));
        QCOMPARE(child<QLabel>(widget, "categorLabel")->text(), QStringLiteral("Разряд 4"));
        const QMap<QString, QString> report = widget.reportData();
        QCOMPARE(report.value("reference_values"), QStringLiteral("4.19,1.08,0.297,0.07,0.016,0,"));
        QCOMPARE(report.value("measured_values"), QStringLiteral("—,—,—,—,—,—,"));
        QCOMPARE(report.value("in_tolerance"), QStringLiteral("0,0,0,0,0,0,"));
        QCOMPARE(report.value("sensor_number"), QStringLiteral("4711"));
        QCOMPARE(report.value("execution_grade"), QStringLiteral("1"));
        child<QComboBox>(widget, "executionsComboBox")->setCurrentIndex(2);
        QCOMPARE(widget.reportData().value("execution_grade"), QStringLiteral("3"));
        // Showing the stored number saved nothing; a change is saved at once.
        QVERIFY(!settings.saved() || settings.stored("servise/sensor_number").toInt() == 4711);
        child<QSpinBox>(widget, "sensorNumberSpinBox")->setValue(12);
        QCOMPARE(settings.stored("servise/sensor_number").toInt(), 12);
    }

    // Measurements accumulate in the table: each changes one row.
    void measurements_data()
    {
        QTest::addColumn<QList<double>>("ras");
        QTest::addColumn<QStringList>("measured");
        QTest::addColumn<QString>("inTolerance");
        QTest::addColumn<QString>("grade");
        QTest::newRow("1.1 hits 1.08")
            << QList<double> {1.1} << QStringList {"—", "1.1", "—", "—", "—", "—"} << "0,1,0,0,0,0,"
            << "Разряд 4";
        QTest::newRow("2.5 fails, nearest 1.08")
            << QList<double> {2.5} << QStringList {"—", "2.5", "—", "—", "—", "—"} << "0,0,0,0,0,0,"
            << "Разряд 4";
        QTest::newRow("0.013 just outside 0.016")
            << QList<double> {0.013} << QStringList {"—", "—", "—", "—", "0.013", "—"}
            << "0,0,0,0,0,0,"
            << "Разряд 4";
        // |0.012 - 0| equals the tolerance of 0: no hit; 0.016 is nearer.
        QTest::newRow("distance equal to the tolerance")
            << QList<double> {0.012} << QStringList {"—", "—", "—", "—", "0.012", "—"}
            << "0,0,0,0,0,0,"
            << "Разряд 4";
        QTest::newRow("three hits")
            << QList<double> {4.2, 1.1, 0.3} << QStringList {"4.2", "1.1", "0.3", "—", "—", "—"}
            << "1,1,1,0,0,0,"
            << "Разряд 3";
        QTest::newRow("five hits")
            << QList<double> {4.2, 1.1, 0.3, 0.07, 0.017}
            << QStringList {"4.2", "1.1", "0.3", "0.07", "0.017", "—"} << "1,1,1,1,1,0,"
            << "Разряд 2";
        QTest::newRow("a later miss unpasses")
            << QList<double> {4.2, 1.1, 0.3, 1.2}
            << QStringList {"4.2", "1.2", "0.3", "—", "—", "—"} << "1,0,1,0,0,0,"
            << "Разряд 4";
        QTest::newRow("flat profile hits 0")
            << QList<double> {0.0} << QStringList {"—", "—", "—", "—", "—", "0"} << "0,0,0,0,0,1,"
            << "Разряд 4";
    }
    void measurements()
    {
        QFETCH(QList<double>, ras);
        QFETCH(QStringList, measured);
        QFETCH(QString, inTolerance);
        QFETCH(QString, grade);
        TempSettings settings;
        TestSensorWidget widget;
        for (double ra : ras) {
            auto trace = traceWithRa(ra);
            widget.measure(trace.get());
        }
        for (int row = 0; row < 6; ++row)
            QCOMPARE(measuredText(widget, row), measured.at(row));
        QCOMPARE(widget.reportData().value("in_tolerance"), inTolerance);
        QCOMPARE(child<QLabel>(widget, "categorLabel")->text(), grade);
        for (int row = 0; row < 6; ++row)
            QVERIFY(!table(widget)->topLevelItem(row)->icon(2).isNull());
    }

    // A trace too short for its cut-off has no Ra; that must not pass as the reference 0.
    void refusesATraceWithoutRa()
    {
        TempSettings settings;
        ScriptedPrompts prompts;
        TestSensorWidget widget;
        auto shortTrace = sineTrace(1.0, 1000.0);
        widget.measure(shortTrace.get());
        QCOMPARE(prompts.kinds(), QStringList {"warning"});
        QCOMPARE(prompts.asked.at(0).text,
                 QStringLiteral("Не удалось вычислить Ra: Недостаточная длина измерения"));
        QCOMPARE(widget.reportData().value("measured_values"), QStringLiteral("—,—,—,—,—,—,"));
        QCOMPARE(widget.reportData().value("in_tolerance"), QStringLiteral("0,0,0,0,0,0,"));

        widget.measure(nullptr);
        QCOMPARE(prompts.asked.size(), 1);
        QCOMPARE(child<QLabel>(widget, "categorLabel")->text(), QStringLiteral("Разряд 4"));
    }

    // A family is judged by its mean Ra (1.1 over Ra 1.0, 1.1 and 1.2, a hit of 1.08), the
    // same value its table shows, with no complaint.
    void familyByItsMeanRa()
    {
        TempSettings settings;
        ScriptedPrompts prompts;
        TestSensorWidget widget;
        auto main = traceWithRa(1.0);
        auto first = traceWithRa(1.1);
        auto second = traceWithRa(1.2);
        main->addAdditionalTrace(first.get());
        main->addAdditionalTrace(second.get());
        widget.measure(main.get());
        main->additionalTraces.clear();
        QVERIFY2(prompts.asked.isEmpty(), qPrintable(prompts.asked.value(0).text));
        QCOMPARE(measuredText(widget, 1), QStringLiteral("1.1"));
        QCOMPARE(widget.reportData().value("in_tolerance"), QStringLiteral("0,1,0,0,0,0,"));
        QVERIFY(main->parameterResults.value("Ra").startsWith(QStringLiteral("1.100±0.082")));
    }

    void grab()
    {
        TempSettings settings;
        TestSensorWidget widget;
        for (double ra : {4.2, 2.5}) {
            auto trace = traceWithRa(ra);
            widget.measure(trace.get());
        }
        widget.resize(479, 426);
        const GrabResult picture = grabWindow(&widget, QStringLiteral("test_sensor"));
        VERIFY_GRAB(picture);
    }
};

GUI_TEST_MAIN(TestTestSensorWidget)
#include "tst_TestSensorWidget.moc"
