#include "core/SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <csignal>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Hands every write on to the target and remembers whether any of them fell short. A buffered
// file reports a failed write only on a later flush, and a short write not at all, so each
// result is looked at.
class CheckedWriter : public QIODevice
{
public:
    explicit CheckedWriter(QIODevice &target)
        : m_target(target)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

    bool failed() const { return m_failed; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override
    {
        if (m_failed)
            return -1;
        const qint64 written = m_target.write(data, length);
        if (written != length) {
            m_failed = true;
            return -1;
        }
        return written;
    }

private:
    QIODevice &m_target;
    bool m_failed = false;
};

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

void ignoreFileSizeSignal()
{
#ifdef SIGXFSZ
    static const bool ignored = [] {
        std::signal(SIGXFSZ, SIG_IGN);
        return true;
    }();
    (void)ignored;
#endif
}

bool writeFileAtomically(const QString &path, const std::function<void(QIODevice &)> &write,
                         QString *error, QIODevice::OpenMode extraMode)
{
    ignoreFileSizeSignal();
    // No direct-write fallback: writing the target in place truncates it first, and a write
    // that then fails (a full disk, a size limit, a lost network folder) destroys it.
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly | extraMode)) {
        // OpenError: the temporary file beside the target could not be made.
        setError(error,
                 file.error() == QFileDevice::OpenError
                     ? QStringLiteral("no new file can be made in the folder (%1); the file is "
                                      "left as it was")
                           .arg(file.errorString())
                     : file.errorString());
        return false;
    }
    CheckedWriter checked(file);
    write(checked);
    if (checked.failed() || !file.flush() || file.error() != QFileDevice::NoError) {
        // A short write leaves no error of its own behind.
        const QString reason = file.error() != QFileDevice::NoError
            ? file.errorString()
            : QStringLiteral("only part of the data could be written");
        file.cancelWriting();
        file.commit();
        setError(error, reason);
        return false;
    }
    if (!file.commit()) {
        setError(error, file.errorString());
        return false;
    }
    return true;
}

RegularFileOpen openRegularFile(QFile &file)
{
#ifdef Q_OS_UNIX
    // Opening without waiting: a FIFO with no writer would block the open itself. The type is
    // then read from the open descriptor, so a file swapped in between cannot slip through.
    const QByteArray name = QFile::encodeName(file.fileName());
    const int descriptor = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return RegularFileOpen::CannotOpen;
    struct stat status
    {
    };
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return RegularFileOpen::NotARegularFile;
    }
    // A regular file never blocks; the flag is dropped all the same.
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return RegularFileOpen::CannotOpen;
    }
    return RegularFileOpen::Opened;
#else
    const QFileInfo info(file.fileName());
    if (info.exists() && !info.isFile())
        return RegularFileOpen::NotARegularFile;
    return file.open(QIODevice::ReadOnly) ? RegularFileOpen::Opened : RegularFileOpen::CannotOpen;
#endif
}

std::string openFailureLogLine(const QString &path, RegularFileOpen result)
{
    std::string line = "Can't open file " + path.toStdString();
    if (result == RegularFileOpen::NotARegularFile)
        line += ": not a regular file";
    return line;
}
