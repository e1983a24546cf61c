#include "platform/Desktop.h"

#include "core/Logger.h"
#include "platform/Prompts.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace {
Desktop *&answering()
{
    static Desktop *current = nullptr;
    return current;
}

bool showItemsOverDBus(const QString &absolutePath)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    if (!bus.interface()->isServiceRegistered(service).value()) {
        // A file manager may still be started by the bus on demand.
        const QStringList activatable = bus.interface()
                                            ->call(QStringLiteral("ListActivatableNames"))
                                            .arguments()
                                            .value(0)
                                            .toStringList();
        if (!activatable.contains(service))
            return false;
    }
    QDBusMessage call
        = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                         service, QStringLiteral("ShowItems"));
    call << QStringList {QUrl::fromLocalFile(absolutePath).toString()} << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage;
}
} // namespace

Desktop::~Desktop() = default;

Desktop *Desktop::instance()
{
    static Desktop standard;
    return answering() ? answering() : &standard;
}

void Desktop::setInstance(Desktop *desktop)
{
    answering() = desktop;
}

bool Desktop::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

bool Desktop::showFile(const QString &filePath)
{
    const QFileInfo info(filePath);
    if (!info.exists())
        return false;
    if (showItemsOverDBus(info.absoluteFilePath()))
        return true;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absolutePath()));
}

bool openInBrowser(QWidget *parent, const QString &filePath)
{
    const QUrl url = QUrl::fromLocalFile(QFileInfo(filePath).absoluteFilePath());
    if (Desktop::instance()->openUrl(url))
        return true;
    logger.log(ERROR, "Cannot open in the browser: " + filePath.toStdString());
    Prompts::instance()->warning(parent, QStringLiteral("Ошибка"),
                                 QStringLiteral("Не удалось открыть файл в браузере:\n%1")
                                     .arg(QDir::toNativeSeparators(filePath)));
    return false;
}

bool showInFileManager(QWidget *parent, const QString &filePath)
{
    if (Desktop::instance()->showFile(filePath))
        return true;
    logger.log(ERROR, "Cannot show in the file manager: " + filePath.toStdString());
    Prompts::instance()->warning(
        parent, QStringLiteral("Ошибка"),
        QStringLiteral("Не удалось показать файл в файловом менеджере:\n%1")
            .arg(QDir::toNativeSeparators(filePath)));
    return false;
}
