#include "platform/ChosenFile.h"

#include "core/Logger.h"
#include "core/SafeFile.h"
#include "platform/Prompts.h"

#include <QFile>

bool openChosenFile(QWidget *parent, QFile &file)
{
    const RegularFileOpen opened = openRegularFile(file);
    if (opened == RegularFileOpen::Opened)
        return true;
    const QString path = file.fileName();
    logger.log(ERROR, openFailureLogLine(path, opened));
    Prompts::instance()->warning(parent, QStringLiteral("Ошибка"),
                                 QStringLiteral("Не удалось открыть файл ") + path);
    return false;
}
