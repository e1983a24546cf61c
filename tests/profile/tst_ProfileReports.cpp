// What the profile reports carry: the report map of a profile file with two additional traces
// (each with its own date in the file) against its golden file, the trace a report is about, and
// the report file names.

#include "core/ProfileTrace.h"
#include "dataproviders/FileDataProvider.h"
#include "profile/ProfileReports.h"
#include "support/TempSettings.h"
#include "support/gui/GuiTest.h"

#include <QFile>

using namespace testsupport;

class TestProfileReports : public QObject
{
    Q_OBJECT

private slots:
    void reportMapMatchesTheGoldenFile();
    void reportSubject();
    void reportPaths_data();
    void reportPaths();
};

void TestProfileReports::reportMapMatchesTheGoldenFile()
{
    TempSettings settings([](Settings &s) {
        s.service.factory_name = QStringLiteral("Завод <№1>");
        s.service.default_trace_file_name = QStringLiteral("Вал");
        s.preferences.enabled_params = {{0, "Ra"}, {1, "RSm"}, {2, "Rmr"}};
        s.preferences.enabled_params_count = 3;
        // The rows show each trace's own cut-off, not this one.
        s.device.spinbox_filter_length_index = 4;
        s.view.axis_unit = 2;
    });
    ProfileTrace trace;
    trace.setType(PROFILE);
    FileDataProvider provider(
        QStringLiteral(TEST_FIXTURES_DIR "/tracefiles/profile_two_additional.txt"));
    provider.start(&trace);
    provider.waitForFinished();
    QCOMPARE(trace.additionalTraces.size(), 2);
    trace.additionalTraces.at(1)->filterLength = 250;
    ExtraArgs args;
    const QMap<QString, QString> data = profileReportData(&trace, args, settings.record());
    QString text;
    for (auto it = data.cbegin(); it != data.cend(); ++it)
        text += it.key() + QLatin1Char('\t') + it.value() + QLatin1Char('\n');
    QFile golden(QStringLiteral(TEST_FIXTURES_DIR "/reports/profile_report_map.txt"));
    QVERIFY(golden.open(QIODevice::ReadOnly));
    QCOMPARE(text, QString::fromUtf8(golden.readAll()));
    // The results were evaluated for the report.
    QVERIFY(trace.parameterResults.contains(QStringLiteral("Ra")));
    qDeleteAll(trace.additionalTraces);

    // Only a profile trace gets a map.
    ProfileTrace additional;
    additional.setType(ADDITIONAL_TRACE);
    QVERIFY(profileReportData(&additional, args, settings.record()).isEmpty());
}

void TestProfileReports::reportSubject()
{
    ProfileTrace main;
    main.setType(PROFILE);
    ProfileTrace child;
    child.setType(ADDITIONAL_TRACE);
    main.addAdditionalTrace(&child);
    QMap<int, AbstractTrace *> listed {{main.id, &main}, {child.id, &child}};
    QCOMPARE(::reportSubject(&child, listed), &main);
    QCOMPARE(::reportSubject(&main, listed), &main);
    // A main trace that left the list is never followed.
    listed.remove(main.id);
    QCOMPARE(::reportSubject(&child, listed), &child);
    main.removeAdditionalTrace(child.id);
}

void TestProfileReports::reportPaths_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("txt");
    QTest::newRow("bare") << "/r/a"
                          << "/r/a.html"
                          << "/r/a.txt";
    QTest::newRow("own suffix") << "/r/a.html"
                                << "/r/a.html"
                                << "/r/a.html.txt";
    QTest::newRow("upper case") << "/r/A.HTML"
                                << "/r/A.HTML"
                                << "/r/A.HTML.txt";
    QTest::newRow("text") << "/r/a.TXT"
                          << "/r/a.TXT.html"
                          << "/r/a.TXT";
}

void TestProfileReports::reportPaths()
{
    QFETCH(QString, chosen);
    QFETCH(QString, html);
    QFETCH(QString, txt);
    QCOMPARE(htmlReportPath(chosen), html);
    QCOMPARE(textFilePath(chosen), txt);
}

GUI_TEST_MAIN(TestProfileReports)
#include "tst_ProfileReports.moc"
