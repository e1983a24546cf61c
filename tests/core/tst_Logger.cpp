#include "core/Logger.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent>

class TestLogger : public QObject
{
    Q_OBJECT

private:
    static QString logName(int i)
    {
        // Distinct, sortable names of earlier runs in 2001.
        return QStringLiteral("2001_01_%1_%2_00_00.txt")
            .arg(1 + i / 24, 2, 10, QLatin1Char('0'))
            .arg(i % 24, 2, 10, QLatin1Char('0'));
    }

    static QStringList readLines(const std::string &path)
    {
        QFile file(QString::fromStdString(path));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private slots:
    void globalLoggerWritesIntoWorkingDirectory()
    {
        // The global log was opened in the test's scratch working directory before main.
        QVERIFY(!logger.filePath().empty());
        QVERIFY(QFileInfo(QString::fromStdString(logger.filePath())).isRelative());
        QVERIFY(QFileInfo::exists(QString::fromStdString(logger.filePath())));
        QVERIFY(QRegularExpression("^logs/\\d{4}(_\\d{2}){5}\\.txt$")
                    .match(QString::fromStdString(logger.filePath()))
                    .hasMatch());
    }

    void lineLayout_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expectedTail");
        QTest::newRow("info") << 1 << "Start Programm"
                              << "INFO: Start Programm";
        QTest::newRow("debug") << 0 << "d"
                               << "DEBUG: d";
        QTest::newRow("warning") << 2 << "w"
                                 << "WARNING: w";
        QTest::newRow("error") << 3 << "Can't open file x"
                               << "ERROR: Can't open file x";
        QTest::newRow("critical") << 4 << "c"
                                  << "CRITICAL: c";
        QTest::newRow("level 5") << 5 << "x"
                                 << "UNKNOWN: x";
        QTest::newRow("level -1") << -1 << "x"
                                  << "UNKNOWN: x";
        QTest::newRow("empty message") << 1 << ""
                                       << "INFO: ";
        QTest::newRow("utf-8 unchanged") << 1 << "Профиль №1"
                                         << "INFO: Профиль №1";
    }

    void lineLayout()
    {
        QFETCH(int, level);
        QFETCH(QString, message);
        QFETCH(QString, expectedTail);
        testsupport::ScratchDir scratch;
        std::string path;
        {
            Logger log("logs");
            path = log.filePath();
            log.log(level, message.toStdString());
        }
        QFile file(QString::fromStdString(path));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString content = QString::fromUtf8(file.readAll());
        const QRegularExpression layout("^\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\] (.*)\\n$",
                                        QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch match = layout.match(content);
        QVERIFY2(match.hasMatch(), qPrintable(content));
        QCOMPARE(match.captured(1), expectedTail);
    }

    void retention_data()
    {
        QTest::addColumn<int>("existing");
        QTest::addColumn<int>("expectedDeleted");
        QTest::newRow("200 files") << 200 << 48;
        QTest::newRow("152 files") << 152 << 0;
        QTest::newRow("153 files") << 153 << 1;
        QTest::newRow("empty folder") << 0 << 0;
    }

    void retention()
    {
        QFETCH(int, existing);
        QFETCH(int, expectedDeleted);
        testsupport::ScratchDir scratch;
        QDir().mkpath("logs");
        // Created in a shuffled order: the listing order must not matter.
        QVector<int> order;
        for (int i = 0; i < existing; ++i)
            order.append((i * 7919) % existing);
        for (int i : order) {
            QFile f("logs/" + logName(i));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        // Files that are not logs of this program are never counted or deleted.
        for (const char *other : {"logs/notes.txt", "logs/0000_readme.txt", "logs/a.log"}) {
            QFile f(other);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }

        Logger log("logs");
        for (int i = 0; i < existing; ++i)
            QCOMPARE(QFileInfo::exists("logs/" + logName(i)), i >= expectedDeleted);
        QVERIFY(QFileInfo::exists("logs/notes.txt"));
        QVERIFY(QFileInfo::exists("logs/0000_readme.txt"));
        QVERIFY(QFileInfo::exists("logs/a.log"));
        QVERIFY(QFileInfo::exists(QString::fromStdString(log.filePath())));
    }

    void secondStartInTheSameSecondAppends()
    {
        testsupport::ScratchDir scratch;
        std::string firstPath;
        std::string secondPath;
        // Retry until both starts fall within one second (almost always the first time).
        for (int attempt = 0; attempt < 5; ++attempt) {
            QDir("logs").removeRecursively();
            {
                Logger first("logs");
                firstPath = first.filePath();
                first.log(INFO, "first run");
            }
            {
                Logger second("logs");
                secondPath = second.filePath();
                second.log(INFO, "second run");
            }
            if (firstPath == secondPath)
                break;
        }
        QCOMPARE(secondPath, firstPath);
        const QStringList lines = readLines(firstPath);
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).endsWith("INFO: first run"));
        QVERIFY(lines.at(1).endsWith("INFO: second run"));
    }

    void linesFromTwoThreadsNeverInterleave()
    {
        testsupport::ScratchDir scratch;
        std::string path;
        const int perThread = 2000;
        {
            Logger log("logs");
            path = log.filePath();
            const std::string a(200, 'a');
            const std::string b(200, 'b');
            QFuture<void> worker = QtConcurrent::run([&] {
                for (int i = 0; i < perThread; ++i)
                    log.log(ERROR, a);
            });
            for (int i = 0; i < perThread; ++i)
                log.log(INFO, b);
            worker.waitForFinished();
        }
        const QStringList lines = readLines(path);
        QCOMPARE(lines.size(), 2 * perThread);
        const QRegularExpression whole("^\\[[^\\]]{19}\\] (ERROR: a{200}|INFO: b{200})$");
        for (const QString &line : lines)
            QVERIFY2(whole.match(line).hasMatch(), qPrintable(line.left(80)));
    }

    void unwritableFolderDropsLines()
    {
        testsupport::ScratchDir scratch;
        QFile blocker("blocked");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        // "blocked" is a file, so no folder can be made there.
        Logger log("blocked");
        QVERIFY(log.filePath().empty());
        log.log(INFO, "dropped");
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_Logger.moc"
