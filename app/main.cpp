#include "MainWindow.h"
#include "core/Logger.h"
#include "core/SafeFile.h"
#include "core/Settings.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QDebug>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char **argv)
{
    // A file size limit fails the write that meets it (a save, the log), not the program.
    ignoreFileSizeSignal();
    QApplication application(argc, argv);

    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_ru"),
                          QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        application.installTranslator(&qtTranslator);
    setupPlatform();

    Settings::instance();
    // The log of this run is opened before main (logs/ under the working directory); the
    // program runs on without it, but says so.
    if (logger.filePath().empty())
        qWarning("The log file could not be opened in logs/ under the working directory; "
                 "this run is not logged.");

    MainWindow window;
    window.showMaximized();
    return application.exec();
}
