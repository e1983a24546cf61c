#pragma once

#include <QDateTime>
#include <QString>

// Where traces recorded from the instrument are saved by themselves, as soon as the recording
// ends, so that a recording is never lost.
//
// The folder is "Профили" in the application's folder when that can be written, otherwise
// "Профили" in the per-user data folder (QStandardPaths::AppDataLocation): an installation in a
// read-only place still keeps its recordings.

// The name of the folder of automatically saved traces.
extern const QString kAutoSaveFolderName;

// The first of applicationDir + "/Профили" and dataDir + "/Профили" that exists or can be made
// and in which a file can be written; empty when neither can.
QString autoSaveFolder(const QString &applicationDir, const QString &dataDir);
// The same for the running program's application folder and per-user data folder.
QString autoSaveFolder();

// folder + "/" + name + time formatted "_yyyy_MM_dd_HH_mm_ss" + ".txt".
QString autoSavePath(const QString &folder, const QString &name, const QDateTime &time);

// path itself when no file is there, else the first free "<base>_2.txt", "<base>_3.txt", ...
// in the same folder: two recordings within one second must not share a file.
QString freeFilePath(const QString &path);
