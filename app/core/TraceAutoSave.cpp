#include "core/TraceAutoSave.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

const QString kAutoSaveFolderName = QStringLiteral("Профили");

namespace {

// The folder exists (made if need be) and takes a new file.
bool usableFolder(const QString &folder)
{
    if (!QDir().mkpath(folder))
        return false;
    QTemporaryFile probe(folder + QStringLiteral("/.write_probe_XXXXXX"));
    return probe.open();
}

} // namespace

QString autoSaveFolder(const QString &applicationDir, const QString &dataDir)
{
    for (const QString &base : {applicationDir, dataDir}) {
        if (base.isEmpty())
            continue;
        const QString folder = base + QLatin1Char('/') + kAutoSaveFolderName;
        if (usableFolder(folder))
            return folder;
    }
    return QString();
}

QString autoSaveFolder()
{
    return autoSaveFolder(QCoreApplication::applicationDirPath(),
                          QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

QString autoSavePath(const QString &folder, const QString &name, const QDateTime &time)
{
    return QStringLiteral("%1/%2%3.txt")
        .arg(folder, name, time.toString(QStringLiteral("_yyyy_MM_dd_HH_mm_ss")));
}

QString freeFilePath(const QString &path)
{
    if (!QFileInfo::exists(path))
        return path;
    const QFileInfo info(path);
    const QString base = info.path() + QLatin1Char('/') + info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (int n = 2;; ++n) {
        const QString candidate = QStringLiteral("%1_%2%3").arg(base, QString::number(n), suffix);
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}
