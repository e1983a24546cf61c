// Where recordings are saved by themselves: the application folder's "Профили" when it can be
// written, the per-user data folder's otherwise, and never one file for two recordings.

#include "core/TraceAutoSave.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace testsupport;

class TestTraceAutoSave : public QObject
{
    Q_OBJECT

private slots:
    void folderFallsBackToTheDataFolder();
    void pathCarriesNameAndTime();
    void freePathNeverReusesAFile();
};

void TestTraceAutoSave::folderFallsBackToTheDataFolder()
{
    ScratchDir dir;
    const QString app = dir.filePath(QStringLiteral("app"));
    const QString data = dir.filePath(QStringLiteral("data"));
    QVERIFY(QDir().mkpath(app));
    QCOMPARE(autoSaveFolder(app, data), app + QStringLiteral("/Профили"));
    QVERIFY(QFileInfo(app + QStringLiteral("/Профили")).isDir());
    // No temporary file is left behind by the check.
    QCOMPARE(QDir(app + QStringLiteral("/Профили")).entryList(QDir::Files | QDir::Hidden).size(),
             0);

    // An application folder in which nothing can be made (here a file stands where the folder
    // would be; a read-only folder behaves alike for a normal user).
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    QVERIFY(QDir().mkpath(blocked));
    QFile standIn(blocked + QStringLiteral("/Профили"));
    QVERIFY(standIn.open(QIODevice::WriteOnly));
    standIn.close();
    QCOMPARE(autoSaveFolder(blocked, data), data + QStringLiteral("/Профили"));
    QVERIFY(QFileInfo(data + QStringLiteral("/Профили")).isDir());

    // Neither usable: no folder.
    QFile dataStandIn(dir.filePath(QStringLiteral("nodata")));
    QVERIFY(dataStandIn.open(QIODevice::WriteOnly));
    dataStandIn.close();
    QCOMPARE(autoSaveFolder(blocked, dataStandIn.fileName()), QString());
}

void TestTraceAutoSave::pathCarriesNameAndTime()
{
    const QDateTime time(QDate(2024, 3, 5), QTime(7, 8, 9));
    QCOMPARE(autoSavePath(QStringLiteral("/x/Профили"), QStringLiteral("Деталь %1"), time),
             QStringLiteral("/x/Профили/Деталь %1_2024_03_05_07_08_09.txt"));
}

void TestTraceAutoSave::freePathNeverReusesAFile()
{
    ScratchDir dir;
    const QString path = dir.filePath(QStringLiteral("Деталь_2024.txt"));
    QCOMPARE(freeFilePath(path), path);
    for (const QString &name :
         {QStringLiteral("Деталь_2024.txt"), QStringLiteral("Деталь_2024_2.txt")}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QCOMPARE(freeFilePath(path), dir.filePath(QStringLiteral("Деталь_2024_3.txt")));
}

QTEST_GUILESS_MAIN(TestTraceAutoSave)
#include "tst_TraceAutoSave.moc"
