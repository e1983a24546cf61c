#include "reports/HtmlReport.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QImage>
#include <QLocale>
#include <QRegularExpression>

#include <memory>

namespace {

using ReportMap = QMap<QString, QString>;

const QDateTime kFixedNow(QDate(2026, 3, 5), QTime(9, 7, 41));

QPixmap filledPixmap(int width, int height, const QColor &color)
{
    QPixmap picture(width, height);
    picture.fill(color);
    return picture;
}

QString readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<unreadable %1>").arg(path);
    return QString::fromUtf8(file.readAll()).remove(QLatin1Char('\r'));
}

ReportMap sensorTestMap()
{
    return {
        {QStringLiteral("sensor_number"), QStringLiteral("S<1>&\"2\"")},
        // A final comma adds no item; an item of blanks stays as an empty item.
        {QStringLiteral("reference_values"), QStringLiteral("1.2, <3.4>,  ,")},
        {QStringLiteral("measured_values"), QStringLiteral("1.25,3.1&2, 0.9")},
        {QStringLiteral("in_tolerance"), QStringLiteral(" OK ,0, ")},
    };
}

ReportMap measurementReportMap()
{
    return {
        {QStringLiteral("factory_name"), QStringLiteral("Завод \"Т&К\" <1>")},
        {QStringLiteral("detail_name"), QStringLiteral("Вал <b>")},
        {QStringLiteral("trace_count"), QStringLiteral("2")},
        {QStringLiteral("trace[0].controller_name"), QStringLiteral("Иванов <script>")},
        {QStringLiteral("trace[0].filter"), QStringLiteral("0.8 мм")},
        {QStringLiteral("trace[0].trace_length"), QStringLiteral("4 мм")},
        {QStringLiteral("trace[0].speed"), QStringLiteral("0.5 мм/с")},
        {QStringLiteral("trace[0].creation_date"), QStringLiteral("05.03.2026")},
        {QStringLiteral("trace[1].controller_name"), QStringLiteral("Петров")},
        {QStringLiteral("trace[1].filter"), QStringLiteral("2.5 мм")},
        {QStringLiteral("trace[1].trace_length"), QStringLiteral("12.5 мм")},
        {QStringLiteral("trace[1].speed"), QStringLiteral("1 мм/с")},
        // Beyond the count: never read.
        {QStringLiteral("trace[2].controller_name"), QStringLiteral("Сидоров")},
        {QStringLiteral("param_count"), QStringLiteral("3")},
        {QStringLiteral("param[0].name"), QStringLiteral("Ra")},
        {QStringLiteral("param[0].value"), QStringLiteral("0.512")},
        {QStringLiteral("param[1].name"), QStringLiteral("RΔq(Δq)")},
        {QStringLiteral("param[1].value"), QStringLiteral("<1&2>")},
        {QStringLiteral("param[2].name"), QStringLiteral("Rz")},
    };
}

ReportMap protocolMap()
{
    return {
        {QStringLiteral("factory_name"), QStringLiteral("A&B")},
        {QStringLiteral("part_name"), QStringLiteral("<Корпус>")},
        {QStringLiteral("date"), QStringLiteral("05.03.2026")},
        {QStringLiteral("controller_name"), QStringLiteral("Иванов \"И.И.\"")},
        {QStringLiteral("traces_count"), QStringLiteral("1")},
        {QStringLiteral("traces[0].creation_date"), QStringLiteral("04.03.2026 10:00")},
        {QStringLiteral("traces[0].id"), QStringLiteral("3")},
        {QStringLiteral("traces[0].trace_author"), QStringLiteral("<b>Петров</b>")},
        {QStringLiteral("comment"), QStringLiteral("x < y & \"z\"")},
        {QStringLiteral("distance_count"), QStringLiteral("0")},
        {QStringLiteral("distance_name"), QStringLiteral("Расстояния")},
        {QStringLiteral("distance[0].name"), QStringLiteral("L1")},
        {QStringLiteral("error_count"), QStringLiteral("-1")},
        {QStringLiteral("error_name"), QStringLiteral("Отклонения")},
        {QStringLiteral("angle_count"), QStringLiteral("abc")},
        {QStringLiteral("angle_name"), QStringLiteral("Углы")},
        {QStringLiteral("angle[0].name"), QStringLiteral("A1")},
        {QStringLiteral("radius_count"), QStringLiteral("2")},
        {QStringLiteral("radius_name"), QStringLiteral("Радиусы <R>")},
        {QStringLiteral("radius[0].name"), QStringLiteral("R1")},
        {QStringLiteral("radius[0].value"), QStringLiteral("12.500 мм")},
        {QStringLiteral("radius[1].name"), QStringLiteral("R2 & R3")},
        {QStringLiteral("radius[2].name"), QStringLiteral("R9")},
        {QStringLiteral("roughness_count"), QStringLiteral("1")},
        {QStringLiteral("roughness_name"), QStringLiteral("Шероховатость")},
        {QStringLiteral("roughness[0].name"), QStringLiteral("Ra")},
        {QStringLiteral("roughness[0].value"), QStringLiteral("0.4")},
    };
}

} // namespace

class TestHtmlReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void layoutMatchesGoldenFile_data();
    void layoutMatchesGoldenFile();
    void toleranceFlag_data();
    void toleranceFlag();
    void sensorTestWithoutLists();
    void sensorTestRefusesUnequalLists();
    void protocolGroupsSideBySide_data();
    void protocolGroupsSideBySide();
    void reportsWithoutPicture();
    void refusedWrites_data();
    void refusedWrites();
    void secondWriteReplacesFirst();
    void failedWriteKeepsThePreviousReport_data();
    void failedWriteKeepsThePreviousReport();
    void helpers();

private:
    testsupport::ScratchDir m_scratch;
    QPixmap m_picture;
    QPixmap m_otherPicture;
};

void TestHtmlReport::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    // The sensor test shows its date in the default locale's short format.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    m_picture = filledPixmap(5, 3, QColor(200, 30, 40));
    m_otherPicture = filledPixmap(7, 2, Qt::blue);
}

void TestHtmlReport::layoutMatchesGoldenFile_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<ReportMap>("data");
    QTest::addColumn<QString>("golden");
    QTest::addColumn<int>("pictures");

    QTest::newRow("sensor test") << int(SENSOR_TEST_REPORT) << sensorTestMap()
                                 << QStringLiteral("sensor_test.html") << 0;
    QTest::newRow("measurement report") << int(MEASUREMENT_REPORT) << measurementReportMap()
                                        << QStringLiteral("measurement_report.html") << 1;
    // The plot report reads no key, not even a hostile one.
    QTest::newRow("plot") << int(PLOT_REPORT) << measurementReportMap()
                          << QStringLiteral("plot_report.html") << 1;
    QTest::newRow("measurement protocol") << int(MEASUREMENT_PROTOCOL) << protocolMap()
                                          << QStringLiteral("measurement_protocol.html") << 1;
}

void TestHtmlReport::layoutMatchesGoldenFile()
{
    QFETCH(int, type);
    QFETCH(ReportMap, data);
    QFETCH(QString, golden);
    QFETCH(int, pictures);

    const QString path = m_scratch.filePath(golden);
    std::unique_ptr<QFile> file(
        writeHtmlReport(data, {m_picture, m_otherPicture}, path, type, kFixedNow));
    QVERIFY(file);
    QVERIFY(!file->isOpen());
    QVERIFY(!file->parent());
    QCOMPARE(file->fileName(), path);

    QFile raw(path);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const QByteArray bytes = raw.readAll();
    // No byte-order mark in front of the document.
    QVERIFY(bytes.startsWith(type == PLOT_REPORT ? "<div" : "<!doctype html>"));

    // The embedded pictures are checked by decoding them: only the first picture appears.
    QString text = QString::fromUtf8(bytes).remove(QLatin1Char('\r'));
    const QRegularExpression dataUrl(QStringLiteral("data:image/png;base64,([A-Za-z0-9+/=]*)"));
    int found = 0;
    for (auto it = dataUrl.globalMatch(text); it.hasNext();) {
        const QByteArray png = QByteArray::fromBase64(it.next().captured(1).toLatin1());
        QImage decoded;
        QVERIFY(decoded.loadFromData(png, "PNG"));
        QCOMPARE(decoded.convertToFormat(QImage::Format_RGB32),
                 m_picture.toImage().convertToFormat(QImage::Format_RGB32));
        ++found;
    }
    QCOMPARE(found, pictures);
    text.replace(dataUrl, QStringLiteral("data:image/png;base64,@PNG@"));

    const QString expected = readText(QStringLiteral(TEST_FIXTURES_DIR "/reports/") + golden);
    // Line by line first, so that a mismatch names its line.
    const QStringList actualLines = text.split(QLatin1Char('\n'));
    const QStringList expectedLines = expected.split(QLatin1Char('\n'));
    for (int i = 0; i < qMin(actualLines.size(), expectedLines.size()); ++i) {
        QVERIFY2(actualLines.at(i) == expectedLines.at(i),
                 qPrintable(QStringLiteral("line %1:\n  actual   %2\n  expected %3")
                                .arg(i + 1)
                                .arg(actualLines.at(i), expectedLines.at(i))));
    }
    QCOMPARE(text, expected);
}

void TestHtmlReport::toleranceFlag_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<bool>("passes");

    QTest::newRow("1") << QStringLiteral("1") << true;
    QTest::newRow("TRUE with blanks") << QStringLiteral("  TRUE ") << true;
    QTest::newRow("Yes") << QStringLiteral("Yes") << true;
    QTest::newRow("Y") << QStringLiteral("Y") << true;
    QTest::newRow("oK") << QStringLiteral("oK") << true;
    QTest::newRow("2") << QStringLiteral("2") << false;
    QTest::newRow("no") << QStringLiteral("no") << false;
    QTest::newRow("0") << QStringLiteral("0") << false;
    QTest::newRow("blanks") << QStringLiteral("   ") << false;
    QTest::newRow("okay") << QStringLiteral("okay") << false;
}

void TestHtmlReport::toleranceFlag()
{
    QFETCH(QString, flag);
    QFETCH(bool, passes);

    const ReportMap data {{QStringLiteral("reference_values"), QStringLiteral("0.1")},
                          {QStringLiteral("measured_values"), QStringLiteral("0.1")},
                          {QStringLiteral("in_tolerance"), flag}};
    const QString path = m_scratch.filePath(QStringLiteral("flag.html"));
    std::unique_ptr<QFile> file(writeSensorTestReport(data, path, kFixedNow));
    QVERIFY(file);
    const QString text = readText(path);
    QCOMPARE(text.contains(QStringLiteral("<span class=\"ok\">&#10003;</span>")), passes);
    QCOMPARE(text.contains(QStringLiteral("<span class=\"bad\">&#10007;</span>")), !passes);
}

void TestHtmlReport::sensorTestWithoutLists()
{
    const QString path = m_scratch.filePath(QStringLiteral("empty_sensor.html"));
    std::unique_ptr<QFile> file(writeHtmlReport({}, {m_picture}, path, SENSOR_TEST_REPORT));
    QVERIFY(file);
    const QString text = readText(path);
    QVERIFY(text.contains(QStringLiteral("<strong>Датчик №:</strong> —</div>\n")));
    QVERIFY(text.contains(QStringLiteral("<strong>РИ:</strong> —</div>\n")));
    QVERIFY(text.contains(QStringLiteral("</thead>\n  <tbody>\n  </tbody>\n</table>\n</div>\n"
                                         "</body>\n</html>\n")));
    QVERIFY(!text.contains(QStringLiteral("<img")));
}

void TestHtmlReport::sensorTestRefusesUnequalLists()
{
    const QString path = m_scratch.filePath(QStringLiteral("refused.html"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old report");
    }
    const ReportMap unequal {{QStringLiteral("reference_values"), QStringLiteral("1,2,3")},
                             {QStringLiteral("measured_values"), QStringLiteral("1,2")},
                             {QStringLiteral("in_tolerance"), QStringLiteral("1,1,1")}};
    QVERIFY(!writeHtmlReport(unequal, {}, path, SENSOR_TEST_REPORT, kFixedNow));
    QCOMPARE(readText(path), QStringLiteral("old report"));

    ReportMap shortFlags = unequal;
    shortFlags[QStringLiteral("measured_values")] = QStringLiteral("1,2,3");
    shortFlags[QStringLiteral("in_tolerance")] = QStringLiteral("1,,1");
    QVERIFY(!writeHtmlReport(shortFlags, {}, path, SENSOR_TEST_REPORT, kFixedNow));
    QCOMPARE(readText(path), QStringLiteral("old report"));
}

void TestHtmlReport::protocolGroupsSideBySide_data()
{
    QTest::addColumn<QStringList>("groups");
    QTest::addColumn<QStringList>("expectedCaptions");
    QTest::addColumn<QString>("width");

    // Each listed group gets one entry; captions must come out in the fixed group order.
    QTest::newRow("none") << QStringList() << QStringList() << QString();
    QTest::newRow("one") << QStringList {QStringLiteral("angle")}
                         << QStringList {QStringLiteral("angle caption")} << QStringLiteral("100");
    QTest::newRow("three") << QStringList {QStringLiteral("roughness"), QStringLiteral("distance"),
                                           QStringLiteral("error")}
                           << QStringList {QStringLiteral("distance caption"),
                                           QStringLiteral("error caption"),
                                           QStringLiteral("roughness caption")}
                           << QStringLiteral("33");
    QTest::newRow("all five") << QStringList {QStringLiteral("distance"), QStringLiteral("error"),
                                              QStringLiteral("angle"), QStringLiteral("radius"),
                                              QStringLiteral("roughness")}
                              << QStringList {QStringLiteral("distance caption"),
                                              QStringLiteral("error caption"),
                                              QStringLiteral("angle caption"),
                                              QStringLiteral("radius caption"),
                                              QStringLiteral("roughness caption")}
                              << QStringLiteral("20");
}

void TestHtmlReport::protocolGroupsSideBySide()
{
    QFETCH(QStringList, groups);
    QFETCH(QStringList, expectedCaptions);
    QFETCH(QString, width);

    ReportMap data;
    for (const QString &group : groups) {
        data[group + QStringLiteral("_count")] = QStringLiteral("1");
        data[group + QStringLiteral("_name")] = group + QStringLiteral(" caption");
    }
    const QString path = m_scratch.filePath(QStringLiteral("groups.html"));
    std::unique_ptr<QFile> file(writeHtmlReport(data, {m_picture}, path, MEASUREMENT_PROTOCOL));
    QVERIFY(file);
    const QString text = readText(path);

    if (groups.isEmpty()) {
        QVERIFY(text.endsWith(QStringLiteral("\n</div>\n</body>\n</html>\n")));
        QVERIFY(!text.contains(QStringLiteral("<td valign")));
        return;
    }
    const QString cell = QStringLiteral("<td valign=\"top\" width=\"%1%\">\n").arg(width);
    QCOMPARE(text.count(cell), groups.size());
    QCOMPARE(text.count(QStringLiteral("<td valign")), groups.size());
    int from = 0;
    for (const QString &caption : expectedCaptions) {
        const int at = text.indexOf(QStringLiteral("<th colspan=\"2\">") + caption, from);
        QVERIFY2(at > from, qPrintable(caption));
        from = at;
    }
    QVERIFY(text.endsWith(QStringLiteral("</td>\n</tr></table>\n</body>\n</html>\n")));
}

void TestHtmlReport::reportsWithoutPicture()
{
    for (int type : {MEASUREMENT_REPORT, MEASUREMENT_PROTOCOL}) {
        const QString path = m_scratch.filePath(QStringLiteral("nopicture%1.html").arg(type));
        std::unique_ptr<QFile> file(writeHtmlReport({}, {}, path, type));
        QVERIFY(file);
        const QString text = readText(path);
        QVERIFY(text.startsWith(QStringLiteral("<!doctype html>")));
        QVERIFY(!text.contains(QStringLiteral("<div class=\"plot\">")));
        QVERIFY(text.endsWith(QStringLiteral("</body>\n</html>\n")));
    }
    // An empty comment still gets its paragraph.
    QVERIFY(readText(m_scratch.filePath(QStringLiteral("nopicture3.html")))
                .contains(QStringLiteral("<p><strong>Комментарий:</strong> </p>\n")));

    // The plot report without a picture empties the file and still returns it.
    const QString plotPath = m_scratch.filePath(QStringLiteral("plot_empty.html"));
    {
        QFile old(plotPath);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old plot");
    }
    std::unique_ptr<QFile> plot(writeHtmlReport({}, {}, plotPath, PLOT_REPORT));
    QVERIFY(plot);
    QCOMPARE(QFileInfo(plotPath).size(), qint64(0));
}

void TestHtmlReport::refusedWrites_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("missingFolder");

    for (int type = SENSOR_TEST_REPORT; type <= MEASUREMENT_PROTOCOL; ++type)
        QTest::addRow("missing folder, kind %d", type) << type << true;
    QTest::newRow("kind 4") << 4 << false;
    QTest::newRow("kind -1") << -1 << false;
}

void TestHtmlReport::refusedWrites()
{
    QFETCH(int, type);
    QFETCH(bool, missingFolder);

    const QString path = missingFolder ? m_scratch.filePath(QStringLiteral("no/such/report.html"))
                                       : m_scratch.filePath(QStringLiteral("unknown_kind.html"));
    QVERIFY(!writeHtmlReport(measurementReportMap(), {m_picture}, path, type, kFixedNow));
    QVERIFY(!QFileInfo::exists(path));
}

void TestHtmlReport::secondWriteReplacesFirst()
{
    const QString path = m_scratch.filePath(QStringLiteral("twice.html"));
    ReportMap data;
    data[QStringLiteral("factory_name")] = QStringLiteral("Первый завод с длинным названием");
    std::unique_ptr<QFile> first(writeHtmlReport(data, {m_picture}, path, MEASUREMENT_REPORT));
    QVERIFY(first);
    const QByteArray firstBytes = readText(path).toUtf8();

    data[QStringLiteral("factory_name")] = QStringLiteral("Второй");
    std::unique_ptr<QFile> second(writeHtmlReport(data, {}, path, MEASUREMENT_REPORT));
    QVERIFY(second);
    const QString text = readText(path);
    QVERIFY(text.contains(QStringLiteral("<h1>Второй</h1>")));
    QVERIFY(!text.contains(QStringLiteral("Первый")));
    QVERIFY(text.endsWith(QStringLiteral("</table>\n</body>\n</html>\n")));
    QVERIFY(text.toUtf8().size() < firstBytes.size());
}

void TestHtmlReport::failedWriteKeepsThePreviousReport_data()
{
    QTest::addColumn<qint64>("limit");
    QTest::newRow("nothing fits") << qint64(0);
    QTest::newRow("part fits") << qint64(100000);
}

// A report that cannot be written whole (here the file size limit of the process) gives no
// file and leaves the previous report as it was, without a temporary file.
void TestHtmlReport::failedWriteKeepsThePreviousReport()
{
    QFETCH(qint64, limit);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.html"));
    std::unique_ptr<QFile> first(
        writeHtmlReport(measurementReportMap(), {m_picture}, path, MEASUREMENT_REPORT, kFixedNow));
    QVERIFY(first);
    const QString before = readText(path);

    ReportMap large = measurementReportMap();
    large[QStringLiteral("factory_name")] = QString(300000, QChar(0x0416));
    const testsupport::ChildResult result = testsupport::runWithFileSizeLimit(limit, [&] {
        std::unique_ptr<QFile> written(
            writeHtmlReport(large, {m_picture}, path, MEASUREMENT_REPORT, kFixedNow));
        return written != nullptr;
    });
    QCOMPARE(int(result), int(testsupport::ChildResult::False));
    QCOMPARE(readText(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList {"report.html"});
}

void TestHtmlReport::helpers()
{
    // The page title is escaped.
    QVERIFY(htmlDocumentHead(QStringLiteral("a<b>&\"c\""), QString())
                .contains(QStringLiteral("<title>a&lt;b&gt;&amp;&quot;c&quot;</title>")));

    // Without a style the element keeps two blanks before "/>".
    const QString plain = pixmapToHtmlImg(m_picture, QString());
    QVERIFY(plain.startsWith(QStringLiteral("<img src=\"data:image/png;base64,iVBOR")));
    QVERIFY(plain.endsWith(QStringLiteral("\"  />")));

    // A picture that cannot be encoded still gives its element, with an empty data part.
    QCOMPARE(pixmapToHtmlImg(QPixmap(), QStringLiteral("a:%1")),
             QStringLiteral("<img src=\"data:image/png;base64,\" style=\"a:%1\" />"));

    // Group table: exactly `count` entries are read, missing ones give empty cells.
    const ReportMap data {{QStringLiteral("g[0].name"), QStringLiteral("n0")},
                          {QStringLiteral("g[1].value"), QStringLiteral("v1")},
                          {QStringLiteral("g[2].name"), QStringLiteral("n2")}};
    QVector<QString> tables {QStringLiteral("kept")};
    htmlGroupTable(data, QStringLiteral("g"), QStringLiteral("C"), 0, tables);
    htmlGroupTable(data, QStringLiteral("g"), QStringLiteral("C"), -1, tables);
    QCOMPARE(tables.size(), 1);
    htmlGroupTable(data, QStringLiteral("g"), QStringLiteral("C"), 2, tables);
    QCOMPARE(tables.size(), 2);
    QCOMPARE(tables.at(1),
             QStringLiteral("<table width=\"100%\">\n<tr><th colspan=\"2\">C</th>"
                            "</tr>\n<tr>\n  <th>n0</th>\n  <th></th>\n</tr>\n"
                            "<tr>\n  <th></th>\n  <th>v1</th>\n</tr>\n</table>\n"));
}

QTEST_MAIN(TestHtmlReport)
#include "tst_HtmlReport.moc"
