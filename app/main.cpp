#include "MainWindow.h"
#include "core/Settings.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);

    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_ru"),
                          QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        application.installTranslator(&qtTranslator);
    setupPlatform();

    Settings::instance();

    MainWindow window;
    window.showMaximized();
    return application.exec();
}
