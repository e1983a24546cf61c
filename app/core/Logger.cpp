#include "core/Logger.h"

#include <QDir>
#include <QRegularExpression>

#include <ctime>
#include <iostream>

Logger logger;

namespace {

std::string formatLocalTime(std::time_t when, const char *format)
{
    std::tm local {};
    localtime_r(&when, &local);
    char buffer[64];
    const size_t length = std::strftime(buffer, sizeof buffer, format, &local);
    return std::string(buffer, length);
}

// Deletes the oldest log files of the folder so that at most `keep` of them remain. Only files
// named like this program's logs count; they sort by name in the order of the starts.
void trimOldLogs(const QString &folder, int keep)
{
    static const QRegularExpression logName(
        QStringLiteral("^\\d{4}_\\d{2}_\\d{2}_\\d{2}_\\d{2}_\\d{2}\\.txt$"));
    QDir dir(folder);
    QStringList logs;
    const QStringList entries = dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &entry : entries) {
        if (logName.match(entry).hasMatch())
            logs.append(entry);
    }
    logs.sort();
    for (int i = 0; i < logs.size() - keep; ++i)
        dir.remove(logs.at(i));
}

} // namespace

Logger::Logger()
    : Logger("logs")
{ }

Logger::Logger(const std::string &folder)
{
    const std::time_t start = std::time(nullptr);
    const QString folderPath = QDir::current().absoluteFilePath(QString::fromStdString(folder));
    QDir().mkpath(folderPath);
    trimOldLogs(folderPath, kRetainedLogFiles);

    // Two starts within one second share a name: the later run appends to the earlier log
    // instead of truncating it.
    m_path = folder + "/" + formatLocalTime(start, "%Y_%m_%d_%H_%M_%S") + ".txt";
    m_file.open(m_path, std::ios::out | std::ios::app);
    if (!m_file.is_open()) {
        std::cerr << "Error opening log file." << std::endl;
        m_path.clear();
    }
}

Logger::~Logger()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_file.is_open())
        m_file.close();
}

std::string Logger::levelName(int level)
{
    switch (level) {
    case DEBUG:
        return "DEBUG";
    case INFO:
        return "INFO";
    case WARNING:
        return "WARNING";
    case ERROR:
        return "ERROR";
    case CRITICAL:
        return "CRITICAL";
    default:
        return "UNKNOWN";
    }
}

void Logger::log(int level, const std::string &message)
{
    const std::string line = "[" + formatLocalTime(std::time(nullptr), "%Y-%m-%d %H:%M:%S") + "] "
        + levelName(level) + ": " + message + "\n";
    std::lock_guard<std::mutex> guard(m_mutex);
    if (!m_file.is_open())
        return;
    m_file << line;
    m_file.flush();
}
