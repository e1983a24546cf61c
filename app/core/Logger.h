#pragma once

#include <fstream>
#include <mutex>
#include <string>

enum E_LOG_LEVEL { DEBUG = 0, INFO = 1, WARNING = 2, ERROR = 3, CRITICAL = 4 };

// The application log: one file per run, logs/%Y_%m_%d_%H_%M_%S.txt in the working directory.
// Every call writes one time-stamped line and flushes it, so the file is complete up to the last
// call even when the process ends abnormally. Calls from several threads are serialised.
class Logger
{
public:
    // Opens the log of this run; at most kRetainedLogFiles older logs are kept.
    Logger();
    // Opens a log in the given folder (used by the global instance with "logs").
    explicit Logger(const std::string &folder);
    ~Logger();

    Logger(const Logger &) = delete;
    Logger &operator=(const Logger &) = delete;

    void log(int level, const std::string &message);
    static std::string levelName(int level);

    // Path of the open log file, empty when no file could be opened.
    std::string filePath() const { return m_path; }

    static constexpr int kRetainedLogFiles = 152;

private:
    std::mutex m_mutex;
    std::ofstream m_file;
    std::string m_path;
};

// The one log of the program, opened before main runs.
extern Logger logger;
