#include "support/TempSettings.h"

#include <QDir>
#include <QFile>
#include <QSettings>

namespace testsupport {

namespace {
void replaceRecord(const Settings &with)
{
    Settings *record = Settings::instance();
    QWriteLocker locker = Settings::writeLocker();
    *record = with;
}
} // namespace

QString TempSettings::fileName()
{
    return QDir::current().absoluteFilePath(QStringLiteral("settings.ini"));
}

TempSettings::TempSettings()
    : m_previous(Settings::snapshot())
{
    QFile::remove(fileName());
    replaceRecord(Settings::readFile(fileName()));
}

TempSettings::TempSettings(const std::function<void(Settings &)> &preset)
    : TempSettings()
{
    change(preset);
}

TempSettings::~TempSettings()
{
    replaceRecord(m_previous);
    QFile::remove(fileName());
}

void TempSettings::change(const std::function<void(Settings &)> &change)
{
    {
        QWriteLocker locker = Settings::writeLocker();
        change(*Settings::instance());
    }
    Settings::instance()->save();
}

QVariant TempSettings::stored(const QString &key) const
{
    if (!saved())
        return QVariant();
    QSettings file(fileName(), QSettings::IniFormat);
    return file.value(key);
}

bool TempSettings::saved() const
{
    return QFile::exists(fileName());
}

void TempSettings::forgetFile()
{
    QFile::remove(fileName());
}

} // namespace testsupport
