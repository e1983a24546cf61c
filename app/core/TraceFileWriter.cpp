#include "core/TraceFileWriter.h"

#include "core/AbstractTrace.h"
#include "core/Logger.h"
#include "core/ProfileTrace.h"
#include "core/SafeFile.h"
#include "core/TraceFileKeys.h"
#include "core/TraceFileReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>

namespace {

// Rows are gathered into chunks of about this size before they go to the device.
constexpr int kWriteChunk = 1 << 16;

// Writes `count` rows made by `row` in chunks.
void writeRows(QIODevice *device, int count, const std::function<void(QByteArray &, int)> &row)
{
    QByteArray chunk;
    chunk.reserve(kWriteChunk + 256);
    for (int i = 0; i < count; ++i) {
        row(chunk, i);
        if (chunk.size() >= kWriteChunk) {
            device->write(chunk);
            chunk.clear();
        }
    }
    if (!chunk.isEmpty())
        device->write(chunk);
}

// A header value on one line: line breaks in a free text would end the header early.
QString singleLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

bool saveFile(const QString &path, const std::function<void(QIODevice *)> &write)
{
    QString error;
    if (writeFileAtomically(
            path, [&write](QIODevice &device) { write(&device); }, &error))
        return true;
    logger.log(ERROR, "Can't write file " + path.toStdString() + ": " + error.toStdString());
    return false;
}

} // namespace

void appendTraceNumber(QByteArray &out, double value)
{
    if (!std::isfinite(value) || value == 0.0) {
        out += traceNumberText(value).toLatin1();
        return;
    }
    // The shortest digits that read back to value, as d.ddde±XX.
    char scientific[32];
    const auto converted = std::to_chars(scientific, scientific + sizeof scientific, value,
                                         std::chars_format::scientific);
    const char *p = scientific;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    char digits[24];
    int digitCount = 0;
    for (; *p != 'e'; ++p) {
        if (*p != '.')
            digits[digitCount++] = *p;
    }
    int exponent = 0;
    std::from_chars(p[1] == '+' ? p + 2 : p + 1, converted.ptr, exponent);

    // The choice between the plain and the exponent form that traceNumberText makes: the
    // shorter one, with the exponent form below 1e-4.
    const int pointPosition = exponent + 1;
    int cutOff = 6;
    if (pointPosition > 0) {
        cutOff = digitCount + 4 + (pointPosition <= 10 ? 1 : (pointPosition > 100 ? 2 : 1));
        if (digitCount > pointPosition)
            ++cutOff;
    }
    if (negative)
        out += '-';
    if (exponent < -4 || exponent > cutOff - 1) {
        out += digits[0];
        if (digitCount > 1) {
            out += '.';
            out.append(digits + 1, digitCount - 1);
        }
        out.append(p, int(converted.ptr - p));
        return;
    }
    if (pointPosition <= 0) {
        out += "0.";
        out.append(QByteArray(-pointPosition, '0'));
        out.append(digits, digitCount);
    } else if (pointPosition >= digitCount) {
        out.append(digits, digitCount);
        out.append(QByteArray(pointPosition - digitCount, '0'));
    } else {
        out.append(digits, pointPosition);
        out += '.';
        out.append(digits + pointPosition, digitCount - pointPosition);
    }
}

QString traceHeaderText(const AbstractTrace *trace)
{
    using namespace TraceFileKeys;
    return kTraceType + QLatin1Char(':') + traceTypeWord(trace->type) + QLatin1Char('\n')
        + trace->headerText() + kControllerName + QLatin1Char(':')
        + singleLine(trace->controllerName) + QLatin1Char('\n') + kCreationDate + QLatin1Char(':')
        + trace->creationDateText() + QLatin1Char('\n');
}

void writePointBlock(QIODevice *device, const AbstractTrace *trace)
{
    const TData &raw = *trace->rawData;
    int count = raw.isEmpty() ? 0 : raw.at(0).size();
    for (const QVector<double> &channel : raw)
        count = std::min(count, int(channel.size()));
    device->write(TraceFileKeys::kPointCount.toLatin1() + ':' + QByteArray::number(count) + '\n');
    writeRows(device, count, [&raw](QByteArray &out, int i) {
        for (const QVector<double> &channel : raw) {
            appendTraceNumber(out, channel.at(i));
            out += '\t';
        }
        out += '\n';
    });
}

bool writeTraceFile(const QString &path, const AbstractTrace *trace)
{
    return saveFile(path, [trace](QIODevice *device) {
        device->write(traceHeaderText(trace).toUtf8());
        const auto *profile = dynamic_cast<const ProfileTrace *>(trace);
        if (trace->type != PROFILE) {
            writePointBlock(device, trace);
            return;
        }
        const int additional = profile ? profile->additionalTraces.size() : 0;
        device->write(TraceFileKeys::kAdditionalTraceCount.toLatin1() + ':'
                      + QByteArray::number(additional) + '\n');
        writePointBlock(device, trace);
        for (int i = 0; i < additional; ++i) {
            const ProfileTrace *child = profile->additionalTraces.at(i);
            device->write(traceHeaderText(child).toUtf8());
            writePointBlock(device, child);
        }
    });
}

void writeColumnsPoints(QIODevice *device, const AbstractTrace *trace)
{
    const TData &processed = *trace->processedData;
    if (processed.size() < 2)
        return;
    const QVector<double> &x = processed.at(0);
    const QVector<double> &y = processed.at(1);
    writeRows(device, std::min(x.size(), y.size()), [&x, &y](QByteArray &out, int i) {
        appendTraceNumber(out, x.at(i));
        out += '\t';
        appendTraceNumber(out, y.at(i));
        out += "\t\n";
    });
}

bool writeColumnsExport(const QString &path, const AbstractTrace *trace)
{
    return saveFile(path, [trace](QIODevice *device) { writeColumnsPoints(device, trace); });
}
