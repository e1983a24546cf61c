#include "core/SafeFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Text of `size` bytes in lines, as a trace file has them.
QByteArray lines(int size, char digit)
{
    QByteArray text;
    while (text.size() < size)
        text += QByteArray(15, digit) + "\t\n";
    return text.left(size);
}

bool chmodPath(const QString &path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

} // namespace

class TestSafeFile : public QObject
{
    Q_OBJECT

private slots:
    // A folder that allows no new file, around a file that may be written: no temporary file
    // can be made, so the save is refused with a clear error and the previous content stays,
    // whether or not a file size limit would have cut a write in place.
    void folderWithoutNewFilesKeepsTheFile_data()
    {
        QTest::addColumn<qint64>("sizeLimit");
        QTest::newRow("no size limit") << qint64(-1);
        QTest::newRow("size limit below the new content") << qint64(4096);
    }
    void folderWithoutNewFilesKeepsTheFile()
    {
        QFETCH(qint64, sizeLimit);
        QTemporaryDir dir;
        QVERIFY(chmodPath(dir.path(), 0755));
        const QString folder = dir.filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkdir(folder));
        const QString path = folder + QStringLiteral("/trace.txt");
        const QByteArray previous = lines(10000, '1');
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(previous);
        }
        QVERIFY(chmodPath(path, 0666));
        QVERIFY(chmodPath(folder, 0555));

        testsupport::ChildLimits limits;
        limits.unprivileged = true;
        limits.maxFileSize = sizeLimit;
        limits.ignoreFileSizeSignal = false;
        const testsupport::ChildResult result = testsupport::runInChild(limits, [&path] {
            QString error;
            const bool written = writeFileAtomically(
                path, [](QIODevice &device) { device.write(lines(40000, '2')); }, &error);
            return !written && error.contains(QLatin1String("no new file can be made"));
        });
        QVERIFY(chmodPath(folder, 0755));
        QCOMPARE(int(result), int(testsupport::ChildResult::True));
        QCOMPARE(fileBytes(path), previous);
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList {"trace.txt"});
    }

    // A write beyond the file size limit fails the save and leaves the previous file; it does not
    // end the program, though the test leaves SIGXFSZ at its default (ending the process).
    void sizeLimitFailsTheSaveNotTheProgram_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<qint64>("limit");
        QTest::newRow("whole file in the write buffer") << 3000 << qint64(1000);
        QTest::newRow("limit in a later chunk") << 300000 << qint64(3 * 65536 + 1234);
    }
    void sizeLimitFailsTheSaveNotTheProgram()
    {
        QFETCH(int, size);
        QFETCH(qint64, limit);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("report.html"));
        const QByteArray previous = lines(500, '1');
        QVERIFY(
            writeFileAtomically(path, [&previous](QIODevice &device) { device.write(previous); }));

        testsupport::ChildLimits limits;
        limits.maxFileSize = limit;
        limits.ignoreFileSizeSignal = false;
        const testsupport::ChildResult result = testsupport::runInChild(limits, [&path, size] {
            QString error;
            const bool written = writeFileAtomically(
                path, [size](QIODevice &device) { device.write(lines(size, '2')); }, &error);
            return !written && !error.isEmpty();
        });
        QCOMPARE(int(result), int(testsupport::ChildResult::True));
        QCOMPARE(fileBytes(path), previous);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList {"report.html"});
    }
};

QTEST_GUILESS_MAIN(TestSafeFile)
#include "tst_SafeFile.moc"
