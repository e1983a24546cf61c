#pragma once

class QFile;
class QWidget;

// Opens a file the user chose (its file name set on `file`) for reading through openRegularFile,
// so that a FIFO, a device or a folder is refused at once instead of blocking the window. A file
// that is refused or cannot be opened is logged as an error and the user is warned ("Не удалось
// открыть файл <path>"); false then.
//
//     QFile file(path);
//     if (!openChosenFile(this, file))
//         return;
bool openChosenFile(QWidget *parent, QFile &file);
