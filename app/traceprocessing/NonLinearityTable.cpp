#include "traceprocessing/NonLinearityTable.h"

#include "core/SafeFile.h"

#include "processing/ProfileFilters.h"

#include <QDir>
#include <QIODevice>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

constexpr double kShortCut = 2000.0;
const char kTableDir[] = "non_linearity";
const char kTableFile[] = "non_linearity/non_linearity.txt";

// Why no table can be built from `source` and its smoothed `result`; empty when one can. An
// input without points makes the empty table, one point a table of one point.
QString tableProblem(const QVector<QVector<double>> &source, const QVector<QVector<double>> &result)
{
    const QVector<double> &x = source.value(0);
    if (x.size() < 2)
        return QString();
    const auto [low, high] = std::minmax_element(x.begin(), x.end());
    // Spreading a run of equal X towards a far next X can overflow, and so can the span.
    if (!std::all_of(x.begin(), x.end(), [](double v) { return std::isfinite(v); })
        || !std::isfinite(*high - *low))
        return QStringLiteral("координаты X файла выходят за пределы допустимых чисел");
    // The low-pass divides by the span of X.
    if (*high == *low)
        return QStringLiteral("все точки файла имеют одну координату X");
    for (const QVector<double> &channel : result) {
        if (!std::all_of(channel.begin(), channel.end(), [](double v) { return std::isfinite(v); }))
            return QStringLiteral("сглаживание дало значения, которые не являются числами");
    }
    return QString();
}

} // namespace

NonLinearityTable::NonLinearityTable(QIODevice *device)
    : source(2)
    , result(2)
{
    if (!device)
        return;
    QTextStream stream(device);
    while (!stream.atEnd()) {
        const QString line = stream.readLine().trimmed();
        if (line.isEmpty())
            continue;
        const QStringList parts = line.split(QLatin1Char('\t'), Qt::SkipEmptyParts);
        if (parts.size() != 3)
            continue;
        double values[3];
        bool valid = true;
        for (int i = 0; i < 3 && valid; ++i) {
            values[i] = parts.at(i).toDouble(&valid);
            // "inf" and "nan" read as numbers; a table of them would poison every trace.
            valid = valid && std::isfinite(values[i]);
        }
        if (!valid)
            continue;
        const double y = values[1] + values[2] / 1000.0;
        if (!std::isfinite(y))
            continue;
        source[0].append(values[0]);
        source[1].append(y);
    }
    source[0] = Algos::spreadEqualRuns(source[0]);
    device->close();
}

void NonLinearityTable::smooth()
{
    if (source.value(0).isEmpty()) {
        result = QVector<QVector<double>>(2);
        return;
    }
    result = Algos::gaussianFilter(source, DBL_MAX, kShortCut);
}

QString NonLinearityTable::filePath()
{
    return QDir::current().filePath(QLatin1String(kTableFile));
}

bool NonLinearityTable::save()
{
    errorString = tableProblem(source, result);
    if (!errorString.isEmpty())
        return false;
    if (!QDir::current().mkpath(QLatin1String(kTableDir))) {
        errorString = QStringLiteral("не удалось создать папку %1").arg(QLatin1String(kTableDir));
        return false;
    }
    // The table is written beside the old one and replaces it only when every byte reached the
    // disk, so a full disk or a size limit leaves the previous table as it was.
    return writeFileAtomically(
        filePath(),
        [this](QIODevice &device) {
            if (result.size() < 2 || result.at(0).size() != result.at(1).size())
                return;
            QTextStream out(&device);
            for (int i = 0; i < result.at(0).size(); ++i)
                out << result.at(0).at(i) << '\t' << result.at(1).at(i) << '\n';
            out.flush();
        },
        &errorString, QIODevice::Text);
}
