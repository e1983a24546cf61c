#include "core/Settings.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);

    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_ru"),
                          QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        application.installTranslator(&qtTranslator);
    setupPlatform();

    Settings::instance();

    // The main window is not part of this build yet: the program loads its settings, opens its
    // log and ends.
    std::fprintf(stderr, "The main window is not available in this build.\n");
    return 0;
}
