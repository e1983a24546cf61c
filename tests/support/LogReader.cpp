#include "support/LogReader.h"

#include "core/Logger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace testsupport {

QString LogReader::path()
{
    // The log's path is relative to the working directory the program started in.
    static const QString absolute = [] {
        const QString relative = QString::fromStdString(logger.filePath());
        return relative.isEmpty() ? QString() : QFileInfo(relative).absoluteFilePath();
    }();
    return absolute;
}

LogReader::LogReader()
{
    skip();
}

void LogReader::skip()
{
    m_offset = QFileInfo(path()).size();
}

QStringList LogReader::entries() const
{
    QStringList result;
    QFile file(path());
    if (path().isEmpty() || !file.open(QIODevice::ReadOnly))
        return result;
    file.seek(m_offset);
    const QString text = QString::fromUtf8(file.readAll());
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        // "[YYYY-MM-DD hh:mm:ss] LEVEL: text"
        const int close = line.indexOf(QLatin1String("] "));
        result.append(close >= 0 ? line.mid(close + 2) : line);
    }
    return result;
}

QStringList LogReader::messages() const
{
    QStringList result;
    for (const QString &entry : entries()) {
        const int colon = entry.indexOf(QLatin1String(": "));
        result.append(colon >= 0 ? entry.mid(colon + 2) : entry);
    }
    return result;
}

} // namespace testsupport
