#include "dataproviders/FileDataProvider.h"

#include "core/AbstractTrace.h"
#include "core/CalibrationProcessors.h"
#include "core/ContourTrace.h"
#include "core/Logger.h"
#include "core/SafeFile.h"
#include "core/Settings.h"
#include "core/TraceFileReader.h"
#include "processing/DataProcessors.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

FileDataProvider::FileDataProvider(const QString &fileName)
    : DataProvider(fileName)
    , fileName(fileName)
{ }

FileDataProvider::~FileDataProvider()
{
    // The worker reads fileName: it must be gone before the members are.
    finishWorker();
}

void FileDataProvider::prepare()
{
    trace()->setName(QFileInfo(fileName).fileName());
    trace()->clearPointProcessors();
}

QString FileDataProvider::failureReason() const
{
    const QMutexLocker locker(&m_failureMutex);
    return m_failureReason;
}

void FileDataProvider::setFailureReason(const QString &reason)
{
    const QMutexLocker locker(&m_failureMutex);
    m_failureReason = reason;
}

bool FileDataProvider::obtainData()
{
    setFailureReason(QString());
    logger.log(INFO, "FileDataProvider obtain data from " + fileName.toStdString());
    QFile file(fileName);
    if (!openFile(file))
        return false;
    const int type = traceTypeOfFirstLine(file);
    file.close();

    switch (type) {
    case PROFILE:
    case ADDITIONAL_TRACE:
        return readProfileTraceFile(fileName);
    case CONTOUR:
    case CONTOURPROF:
        return readContourTraceFile(fileName);
    default:
        if (fileName.endsWith(QLatin1String(".T46")))
            return readBinaryFile(fileName);
        return readColumnsFile(fileName);
    }
}

namespace {

// The contour files' readers convert every sample; only a contour trace has the three channels
// the conversion works on.
void addContourConversion(AbstractTrace *trace)
{
    if (dynamic_cast<ContourTrace *>(trace))
        trace->addPointProcessor(new ContourConversionPointProcessor);
}

} // namespace

bool FileDataProvider::readProfileTraceFile(const QString &path)
{
    return readTraceFile(path);
}

bool FileDataProvider::readContourTraceFile(const QString &path)
{
    addContourConversion(trace());
    return readTraceFile(path);
}

bool FileDataProvider::readTraceFile(const QString &path)
{
    QFile file(path);
    if (!trace() || !openFile(file))
        return false;
    // A profile trace has no point processors: its samples are held once until processed.
    trace()->beginRawOnlyAppends();
    const TraceReadResult result
        = readNativeTrace(file, path, *trace(), Settings::snapshot(), readProgress());
    file.close();
    return concludeRead(path, result, true);
}

bool FileDataProvider::readBinaryFile(const QString &path)
{
    return readContourFormat(path, readBinaryContour, true);
}

bool FileDataProvider::readColumnsFile(const QString &path)
{
    // The column reader's log line names the file only.
    return readContourFormat(path, readNumberColumns, false);
}

bool FileDataProvider::readContourFormat(const QString &path, ContourFormatReader reader,
                                         bool logDetail)
{
    addContourConversion(trace());
    QFile file(path);
    if (!trace() || !openFile(file))
        return false;
    logger.log(INFO, "Open file " + path.toStdString());
    const TraceReadResult result = reader(file, *trace(), Settings::snapshot(), readProgress());
    file.close();
    if (!concludeRead(path, result, logDetail))
        return false;
    logger.log(INFO, "Close file " + path.toStdString());
    return true;
}

bool FileDataProvider::openFile(QFile &file)
{
    const RegularFileOpen opened = openRegularFile(file);
    if (opened == RegularFileOpen::Opened)
        return true;
    const QString path = file.fileName();
    setFailureReason(opened == RegularFileOpen::NotARegularFile
                         ? QStringLiteral("это не обычный файл")
                         : QStringLiteral("файл не найден или недоступен для чтения"));
    qDebug().noquote() << "Can't open file " + path;
    logger.log(ERROR, openFailureLogLine(path, opened));
    emit dataReadError(QStringLiteral("Can't open file "));
    return false;
}

TraceReadProgress FileDataProvider::readProgress()
{
    return {[this](int from, int count) { emit dataBatchReady(from, count); },
            [this] {
                return cancelRequested();
            }};
}

namespace {

// The reason of a refused read for the user: the kind of fault, with the line when the reader
// names one.
QString russianReason(const TraceReadResult &result)
{
    static const QRegularExpression lineNumber(QStringLiteral("^(?:header )?line (\\d+)"));
    const QRegularExpressionMatch match = lineNumber.match(result.detail);
    const QString line = match.hasMatch() ? match.captured(1) : QString();
    switch (result.status) {
    case TraceReadResult::BadNumber:
        if (result.detail.contains(QStringLiteral("not finite"))) {
            return line.isEmpty()
                ? QStringLiteral("в файле стоит nan или бесконечность")
                : QStringLiteral("в строке %1 стоит nan или бесконечность").arg(line);
        }
        return line.isEmpty() ? QStringLiteral("в файле стоит не число")
                              : QStringLiteral("в строке %1 стоит не число").arg(line);
    case TraceReadResult::WrongTraceClass:
        return QStringLiteral("заголовок файла называет трассу другого вида");
    case TraceReadResult::TooLong:
        return line.isEmpty() ? QStringLiteral("файл слишком велик")
                              : QStringLiteral("строка %1 длиннее допустимого (1 МиБ)").arg(line);
    case TraceReadResult::Damaged:
        if (result.detail.contains(QStringLiteral("but the file ends"))
            || result.detail.contains(QStringLiteral("the file ends inside"))) {
            return QStringLiteral("файл обрывается раньше, чем указано в его заголовке");
        }
        if (result.detail.contains(QStringLiteral("beyond the range of counts")))
            return QStringLiteral("число точек или трасс в заголовке вне допустимого диапазона");
        return QStringLiteral("файл повреждён");
    case TraceReadResult::Empty:
        return QStringLiteral("файл пуст");
    case TraceReadResult::TooLarge:
        if (result.detail.contains(QStringLiteral("additional traces")))
            return QStringLiteral("в файле больше %1 дополнительных трасс")
                .arg(kMaxAdditionalTraces);
        return QStringLiteral("точек в файле больше, чем помещается в памяти");
    default:
        return QStringLiteral("файл повреждён или не является файлом трассы");
    }
}

} // namespace

bool FileDataProvider::concludeRead(const QString &path, const TraceReadResult &result,
                                    bool logDetail)
{
    switch (result.status) {
    case TraceReadResult::Ok:
        return true;
    case TraceReadResult::Cancelled:
        logger.log(INFO, "Reading of " + path.toStdString() + " cancelled");
        return false;
    default:
        break;
    }
    const QString message = result.status == TraceReadResult::WrongTraceClass
        ? QStringLiteral("Wrong trace type in ") + path
        : QStringLiteral("Error in ") + path;
    // A file without samples is said so in every format.
    const QString line = logDetail || result.status == TraceReadResult::Empty
        ? message + QStringLiteral(": ") + result.detail
        : message;
    logger.log(ERROR, line.toStdString());
    setFailureReason(russianReason(result));
    emit dataReadError(message);
    return false;
}
