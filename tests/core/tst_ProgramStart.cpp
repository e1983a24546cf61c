// The program itself: started as a user starts it, it writes its log in the working directory.

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>

namespace {

// The text of the one log file in `folder`, empty while there is none.
QString logText(const QDir &folder)
{
    const QStringList files = folder.entryList(QDir::Files);
    if (files.size() != 1)
        return QString();
    QFile log(folder.filePath(files.first()));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

// Sets up `program` to start as a user starts it, in `workingDir`: no display is needed, and no
// serial port of this machine is touched.
void prepare(QProcess &program, const QTemporaryDir &workingDir)
{
    program.setWorkingDirectory(workingDir.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("SURFACEMETER_SERIAL_PORTS"),
                       workingDir.filePath(QStringLiteral("no-port")));
    program.setProcessEnvironment(environment);
}

void stop(QProcess &program)
{
    program.terminate();
    if (!program.waitForFinished(30000)) {
        program.kill();
        program.waitForFinished(30000);
    }
}

// Whether the running process `pid` ignores `signal`, from the mask the kernel shows.
bool signalIgnored(qint64 pid, int signal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("SigIgn:")) {
            bool ok = false;
            const qulonglong mask = line.mid(7).trimmed().toULongLong(&ok, 16);
            return ok && (mask >> (signal - 1)) & 1;
        }
    }
    return false;
}

} // namespace

class TestProgramStart : public QObject
{
    Q_OBJECT

private slots:
    // The program runs its main window until it is closed: the test waits for the start-up line
    // and then ends it.
    void startWritesTheLog()
    {
        QTemporaryDir workingDir;
        QVERIFY(workingDir.isValid());
        QProcess program;
        prepare(program, workingDir);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(APP_EXECUTABLE), QStringList());
        QVERIFY2(program.waitForStarted(30000), qPrintable(program.errorString()));

        const QDir logs(workingDir.filePath(QStringLiteral("logs")));
        const QRegularExpression startLine(
            QStringLiteral(
                "^\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\] INFO: Start Programm$"),
            QRegularExpression::MultilineOption);
        const bool started = QTest::qWaitFor(
            [&] {
                return startLine.match(logText(logs)).hasMatch()
                    || program.state() == QProcess::NotRunning;
            },
            120000);
        const bool stillRunning = program.state() == QProcess::Running;
        // A write beyond a file size limit (the log's, a save's) fails that write: the program
        // ignores SIGXFSZ, which would end it.
        const bool ignoresFileSizeSignal = signalIgnored(program.processId(), SIGXFSZ);
        stop(program);
        QVERIFY(started);
        QVERIFY2(stillRunning, "the program ended by itself");
        QVERIFY(ignoresFileSizeSignal);

        const QStringList files = logs.entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}(_\\d{2}){5}\\.txt$"))
                     .match(files.first())
                     .hasMatch(),
                 qPrintable(files.first()));
        const QString content = logText(logs);
        QVERIFY2(startLine.match(content).hasMatch(), qPrintable(content));
    }

    // Where the log cannot be made (a file stands where its folder would go), the program
    // starts all the same and says on its error output that this run is not logged.
    void startWithoutALogSaysSo()
    {
        QTemporaryDir workingDir;
        QVERIFY(workingDir.isValid());
        QFile blocker(workingDir.filePath(QStringLiteral("logs")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QProcess program;
        prepare(program, workingDir);
        program.start(QStringLiteral(APP_EXECUTABLE), QStringList());
        QVERIFY2(program.waitForStarted(30000), qPrintable(program.errorString()));

        QByteArray errors;
        const QByteArray notice("The log file could not be opened");
        const bool told = QTest::qWaitFor(
            [&] {
                errors += program.readAllStandardError();
                return errors.contains(notice) || program.state() == QProcess::NotRunning;
            },
            120000);
        const bool stillRunning = program.state() == QProcess::Running;
        stop(program);
        errors += program.readAllStandardError();
        QVERIFY2(told && errors.contains(notice), errors.constData());
        QVERIFY2(stillRunning, "the program ended by itself");
        QVERIFY(QFileInfo(workingDir.filePath(QStringLiteral("logs"))).isFile());
    }
};

QTEST_GUILESS_MAIN(TestProgramStart)
#include "tst_ProgramStart.moc"
