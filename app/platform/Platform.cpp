#include "platform/Platform.h"

#include "platform/DotToCommaFilter.h"

#include <QFont>
#include <QFontDatabase>
#include <QLocale>
#include <QString>
#include <QStringList>

void applyRussianLocale()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

QString substituteWindowsFonts()
{
    static const QStringList candidates
        = {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
           QStringLiteral("Noto Sans"), QStringLiteral("FreeSans")};
    const QStringList installed = QFontDatabase().families();
    for (const QString &family : candidates) {
        if (!installed.contains(family))
            continue;
        if (!QFontDatabase().writingSystems(family).contains(QFontDatabase::Cyrillic))
            continue;
        QFont::insertSubstitution(QStringLiteral("MS Shell Dlg 2"), family);
        QFont::insertSubstitution(QStringLiteral("MS Shell Dlg"), family);
        return family;
    }
    return QString();
}

void setupPlatform()
{
    initIconResources();
    applyRussianLocale();
    substituteWindowsFonts();
    DecimalCommaGuard::install();
}
