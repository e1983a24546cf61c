#include "support/TempSettings.h"

#include <QDir>
#include <QFile>
#include <QSettings>

namespace testsupport {

namespace {
void replaceRecord(const Settings &with)
{
    Settings *record = Settings::instance();
    const auto locker = Settings::writeLocker();
    *record = with;
}
} // namespace

void resetSettings()
{
    QFile::remove(TempSettings::fileName());
    replaceRecord(Settings::readFile(TempSettings::fileName()));
}

QString TempSettings::fileName()
{
    return QDir::current().absoluteFilePath(QStringLiteral("settings.ini"));
}

TempSettings::TempSettings()
    : m_previous(Settings::snapshot())
{
    resetSettings();
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
        const auto locker = Settings::writeLocker();
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
