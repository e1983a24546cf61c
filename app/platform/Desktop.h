#pragma once

#include <QString>
#include <QUrl>

class QWidget;

// The desktop the program hands pages and files to: the web browser shows the HTML reports, the
// file manager shows a saved trace file.
//
// On Linux a file is shown through the freedesktop FileManager1.ShowItems call on the session
// D-Bus (the file manager opens its folder with the file selected); where no file manager answers
// it, the folder is opened instead. Pages open with QDesktopServices::openUrl.
//
// Use the free functions, which tell the user when the desktop refused:
//     openInBrowser(this, reportPath);
//     showInFileManager(this, traceFilePath);
//
// Tests install their own subclass with Desktop::setInstance (null puts the default back) and
// check the recorded calls; no test starts a process.
class Desktop
{
public:
    virtual ~Desktop();

    static Desktop *instance();
    // Makes desktop the answering instance (not owned); null restores the default.
    static void setInstance(Desktop *desktop);

    // Opens a page or a local file in its viewer; false when nothing could open it.
    virtual bool openUrl(const QUrl &url);
    // Shows the file selected in the file manager, or at least its folder; false on failure.
    virtual bool showFile(const QString &filePath);
};

// Opens the file (an HTML report) in the browser; on failure warns the user and returns false.
bool openInBrowser(QWidget *parent, const QString &filePath);
// Shows the file in the file manager; on failure warns the user and returns false.
bool showInFileManager(QWidget *parent, const QString &filePath);
