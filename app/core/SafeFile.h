#pragma once

#include <QIODevice>
#include <QString>

#include <functional>
#include <string>

class QFile;

// Files written whole or not at all, and files read only when they are regular files.

// Writes a file through `write`: the bytes go to a temporary file beside the target, which
// replaces the target only when every write and the final flush succeeded. A failed or short
// write (a full disk, a file size limit) cancels the temporary file, so the previous file stays
// as it was, and gives false with the reason in `error`. Where no temporary file can be made
// beside the target (a folder that allows no new file), nothing is written and the result is
// false: the target is never written in place, since a failed write would destroy it. A file
// size limit fails the write instead of ending the program (see ignoreFileSizeSignal).
// `extraMode` is added to WriteOnly (for example QIODevice::Text).
bool writeFileAtomically(const QString &path, const std::function<void(QIODevice &)> &write,
                         QString *error = nullptr, QIODevice::OpenMode extraMode = {});

// Makes a write beyond the process's file size limit fail with an error instead of ending the
// program with SIGXFSZ. Called at start-up and before every save; idempotent.
void ignoreFileSizeSignal();

// Opens `file` (its file name set) for reading when it names a regular file, or a link to one. A
// FIFO, a device or a folder is refused without being opened for reading, since reading it could
// block for good or never end.
enum class RegularFileOpen { Opened, CannotOpen, NotARegularFile };
RegularFileOpen openRegularFile(QFile &file);

// The log line for a file that openRegularFile did not open: "Can't open file <path>", followed
// by ": not a regular file" when it was refused for its type.
std::string openFailureLogLine(const QString &path, RegularFileOpen result);
