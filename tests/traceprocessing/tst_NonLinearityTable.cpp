// The non-linearity table builder: which input lines count, the spreading of equal x runs, the
// low-pass, the file it writes (read back by the processing chain's non-linearity step), an empty
// input, a second build replacing the first, and tables that cannot be written.

#include "core/CalibrationProcessors.h"
#include "support/TestSupport.h"
#include "traceprocessing/NonLinearityTable.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QtTest>

#include <cmath>

using namespace testsupport;

namespace {

NonLinearityTable tableOf(const QByteArray &text)
{
    QByteArray data = text;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    NonLinearityTable table(&buffer);
    if (buffer.isOpen())
        qFatal("the table leaves its input open");
    return table;
}

// A measured input of n points 10 apart: x, a height in whole units and a thousandth part.
QByteArray measuredInput(int n, double (*height)(double))
{
    QByteArray text = "trace_type: CONTOUR\nname: Деталь\n";
    for (int i = 0; i < n; ++i) {
        const double x = i * 10.0;
        const double y = height(x);
        const double whole = std::floor(y);
        text += QByteArray::number(x) + '\t' + QByteArray::number(whole) + '\t'
            + QByteArray::number((y - whole) * 1000.0, 'g', 12) + "\t\n";
    }
    return text;
}

QString fileText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    return QString::fromUtf8(file.readAll());
}

} // namespace

class TestNonLinearityTable : public QObject
{
    Q_OBJECT

private slots:
    void linesThatCount_data();
    void linesThatCount();
    void equalXRunsAreSpread_data();
    void equalXRunsAreSpread();
    void buildWritesASmoothTableTheChainReads();
    void emptyInputWritesAnEmptyTable();
    void secondBuildReplacesTheFirst();
    void unwritableTableKeepsTheOldOneAndSaysWhy();
    void tableThatDoesNotFitKeepsTheOldOne();
    void inputWithoutATableIsRefused_data();
    void inputWithoutATableIsRefused();
};

void TestNonLinearityTable::linesThatCount_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("counts");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");

    QTest::newRow("three numbers") << QByteArray("1.5\t2\t500") << true << 1.5 << 2.5;
    QTest::newRow("empty part dropped") << QByteArray("1\t\t2\t3") << true << 1.0 << 2.003;
    QTest::newRow("trailing tab and blanks")
        << QByteArray("  4\t5\t-250\t  ") << true << 4.0 << 4.75;
    QTest::newRow("blanks, no tab") << QByteArray("1 2 3") << false << 0.0 << 0.0;
    QTest::newRow("two numbers") << QByteArray("1\t2") << false << 0.0 << 0.0;
    QTest::newRow("four numbers") << QByteArray("1\t2\t3\t4") << false << 0.0 << 0.0;
    QTest::newRow("a word") << QByteArray("1\t2\tthree") << false << 0.0 << 0.0;
    QTest::newRow("decimal comma") << QByteArray("1,5\t2\t3") << false << 0.0 << 0.0;
    QTest::newRow("infinite x") << QByteArray("inf\t2\t3") << false << 0.0 << 0.0;
    QTest::newRow("not a number") << QByteArray("1\tnan\t3") << false << 0.0 << 0.0;
    QTest::newRow("overflowing sum") << QByteArray("1\t1e308\t1e311") << false << 0.0 << 0.0;
}

void TestNonLinearityTable::linesThatCount()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, counts);
    QFETCH(double, x);
    QFETCH(double, y);
    const NonLinearityTable table = tableOf("header line\n\n" + line + "\n");
    QCOMPARE(table.source.size(), 2);
    QCOMPARE(table.source[0].size(), counts ? 1 : 0);
    if (counts) {
        QCOMPARE(table.source[0][0], x);
        COMPARE_REL(table.source[1][0], y, 1e-12);
    }
}

void TestNonLinearityTable::equalXRunsAreSpread_data()
{
    QTest::addColumn<QVector<double>>("xs");
    QTest::addColumn<QVector<double>>("spread");
    QTest::newRow("run before a step")
        << QVector<double> {0, 0, 0, 3} << QVector<double> {0, 1, 2, 3};
    QTest::newRow("last run kept")
        << QVector<double> {0, 0, 3, 3} << QVector<double> {0, 1.5, 3, 3};
}

void TestNonLinearityTable::equalXRunsAreSpread()
{
    QFETCH(QVector<double>, xs);
    QFETCH(QVector<double>, spread);
    QByteArray text;
    for (double x : xs)
        text += QByteArray::number(x) + "\t7\t0\n";
    const NonLinearityTable table = tableOf(text);
    QCOMPARE(table.source[0], spread);
    QCOMPARE(table.source[1], QVector<double>(xs.size(), 7.0));
}

void TestNonLinearityTable::buildWritesASmoothTableTheChainReads()
{
    ScratchDir scratch;
    // A slow bow with a fast ripple: the low-pass keeps the bow and removes the ripple.
    NonLinearityTable table(nullptr);
    {
        QByteArray input = measuredInput(1001, [](double x) {
            return 50.0 + 1e-6 * (x - 5000) * (x - 5000) / 100 + 0.8 * std::sin(x / 30.0);
        });
        QBuffer buffer(&input);
        buffer.open(QIODevice::ReadOnly | QIODevice::Text);
        table = NonLinearityTable(&buffer);
    }
    QCOMPARE(table.source[0].size(), 1001);
    table.smooth();
    QVERIFY(table.save());
    QVERIFY(table.errorString.isEmpty());

    // Half the cut-off is trimmed from each end.
    const QVector<double> &x = table.result[0];
    const QVector<double> &y = table.result[1];
    QVERIFY(!x.isEmpty());
    QCOMPARE(x.first(), 1000.0);
    QCOMPARE(x.last(), 9000.0);
    for (int i = 0; i < x.size(); ++i) {
        const double bow = 50.0 + 1e-6 * (x[i] - 5000) * (x[i] - 5000) / 100;
        QVERIFY2(std::abs(y[i] - bow) < 0.05, qPrintable(QString::number(x[i])));
    }

    // The chain's step reads the same points, to the six digits the file holds.
    const QString text = fileText(NonLinearityTable::filePath());
    QCOMPARE(text.count(QLatin1Char('\n')), x.size());
    QVERIFY(text.startsWith(QStringLiteral("1000\t")));
    NonLinearityEliminationProcessor reader;
    QCOMPARE(reader.table->at(0).size(), x.size());
    for (int i = 0; i < x.size(); i += 50) {
        COMPARE_REL(reader.table->at(0)[i], x[i], 1e-6);
        COMPARE_REL(reader.table->at(1)[i], y[i], 1e-6);
    }
}

void TestNonLinearityTable::emptyInputWritesAnEmptyTable()
{
    ScratchDir scratch;
    NonLinearityTable table = tableOf("trace_type: CONTOUR\n\n   \n");
    table.smooth();
    QVERIFY(table.save());
    QCOMPARE(fileText(NonLinearityTable::filePath()), QString());
}

void TestNonLinearityTable::secondBuildReplacesTheFirst()
{
    ScratchDir scratch;
    NonLinearityTable first = tableOf(measuredInput(400, [](double) { return 3.0; }));
    first.smooth();
    QVERIFY(first.save());
    const QString firstText = fileText(NonLinearityTable::filePath());
    QVERIFY(firstText.contains(QStringLiteral("\t3\n")));

    NonLinearityTable second = tableOf(measuredInput(300, [](double) { return 4.0; }));
    second.smooth();
    QVERIFY(second.save());
    const QString secondText = fileText(NonLinearityTable::filePath());
    QVERIFY(!secondText.contains(QStringLiteral("\t3\n")));
    QCOMPARE(secondText.count(QLatin1Char('\n')), second.result[0].size());
    QVERIFY(second.result[0].size() < first.result[0].size());
}

void TestNonLinearityTable::unwritableTableKeepsTheOldOneAndSaysWhy()
{
    ScratchDir scratch;
    // A file stands where the table's folder belongs.
    {
        QFile blocker(QStringLiteral("non_linearity"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.write("not a folder");
    }
    NonLinearityTable table = tableOf(measuredInput(400, [](double) { return 3.0; }));
    table.smooth();
    QVERIFY(!table.save());
    QVERIFY(!table.errorString.isEmpty());
    QCOMPARE(fileText(QStringLiteral("non_linearity")), QStringLiteral("not a folder"));
}

// A table that cannot be written whole (here the file size limit of the process: the write fails
// only when the buffered text reaches the disk) is reported and leaves the old table as it was.
void TestNonLinearityTable::tableThatDoesNotFitKeepsTheOldOne()
{
    ScratchDir scratch;
    NonLinearityTable first = tableOf(measuredInput(400, [](double) { return 3.0; }));
    first.smooth();
    QVERIFY(first.save());
    const QString before = fileText(NonLinearityTable::filePath());

    NonLinearityTable second = tableOf(measuredInput(4000, [](double x) { return x / 7.0; }));
    second.smooth();
    const ChildResult result = runWithFileSizeLimit(
        4096, [&second] { return second.save() || second.errorString.isEmpty(); });
    QCOMPARE(int(result), int(ChildResult::False));
    QCOMPARE(fileText(NonLinearityTable::filePath()), before);
    QCOMPARE(QDir(QStringLiteral("non_linearity")).entryList(QDir::Files),
             QStringList {"non_linearity.txt"});
}

// Inputs from which no table can be built are refused with the reason, and the previous table
// stays: every point on one X (the low-pass would divide by a zero span), and runs of equal X
// spread towards a next X so far away that the steps overflow.
void TestNonLinearityTable::inputWithoutATableIsRefused_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("reason");
    QByteArray oneX;
    for (int i = 0; i < 400; ++i)
        oneX += "5\t" + QByteArray::number(i % 7) + "\t0\n";
    QTest::newRow("every point on one X") << oneX << "одну координату X";
    QTest::newRow("two points on one X") << QByteArray("5\t1\t0\n5\t2\t0\n") << "одну координату X";
    QTest::newRow("run spread beyond the largest double")
        << QByteArray("-1.5e308\t1\t0\n-1.5e308\t2\t0\n1.5e308\t3\t0\n") << "за пределы";
    QTest::newRow("span beyond the largest double")
        << QByteArray("-1.5e308\t1\t0\n0\t2\t0\n1.5e308\t3\t0\n") << "за пределы";
}

void TestNonLinearityTable::inputWithoutATableIsRefused()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, reason);
    ScratchDir scratch;
    NonLinearityTable first = tableOf(measuredInput(400, [](double) { return 3.0; }));
    first.smooth();
    QVERIFY(first.save());
    const QString before = fileText(NonLinearityTable::filePath());

    NonLinearityTable table = tableOf(input);
    table.smooth();
    QVERIFY(!table.save());
    QVERIFY2(table.errorString.contains(reason), qPrintable(table.errorString));
    QCOMPARE(fileText(NonLinearityTable::filePath()), before);
}

QTEST_MAIN(TestNonLinearityTable)
#include "tst_NonLinearityTable.moc"
