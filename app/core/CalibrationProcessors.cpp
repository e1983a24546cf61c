#include "core/CalibrationProcessors.h"

#include "core/Logger.h"
#include "core/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDegreesToRadians = 0.017453292519943295;
const char kNonLinearityDir[] = "non_linearity";
const char kNonLinearityFile[] = "non_linearity/non_linearity.txt";

bool nonLinearityFilesExist()
{
    return QDir(QLatin1String(kNonLinearityDir)).exists()
        && QFileInfo::exists(QLatin1String(kNonLinearityFile));
}

} // namespace

NonLinearityEliminationProcessor::NonLinearityEliminationProcessor()
    : IDataPostProcessor(QStringLiteral("NonLinearityEliminationProcessor"))
    , table(new QVector<QVector<double>>(2))
{
    if (!QDir(QLatin1String(kNonLinearityDir)).exists())
        return;
    QFile file {QLatin1String(kNonLinearityFile)};
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    QVector<std::pair<double, double>> rows;
    QTextStream stream(&file);
    for (int lineNumber = 1; !stream.atEnd(); ++lineNumber) {
        const QString line = stream.readLine().trimmed();
        if (line.isEmpty())
            continue;
        const QStringList parts = line.split(QLatin1Char('\t'), Qt::SkipEmptyParts);
        if (parts.size() != 2)
            continue;
        bool xOk = false;
        bool yOk = false;
        const double x = parts.at(0).toDouble(&xOk);
        const double correction = parts.at(1).toDouble(&yOk);
        if (!xOk || !yOk)
            continue;
        // "nan" and "inf" convert, but such a row would make every correction a NaN (and a NaN
        // X cannot be sorted).
        if (!std::isfinite(x) || !std::isfinite(correction)) {
            logger.log(ERROR,
                       std::string("Non-linearity table ") + kNonLinearityFile + ": line "
                           + std::to_string(lineNumber) + " skipped, number not finite");
            continue;
        }
        rows.append({x, correction});
    }
    // The correction walks the table with a cursor that only moves forward, so the rows must
    // stand in increasing X whatever order the file holds them in.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    (*table)[0].reserve(rows.size());
    (*table)[1].reserve(rows.size());
    for (const auto &row : rows) {
        (*table)[0].append(row.first);
        (*table)[1].append(row.second);
    }
}

NonLinearityEliminationProcessor::~NonLinearityEliminationProcessor()
{
    delete table;
}

void NonLinearityEliminationProcessor::process(QVector<QVector<double>> &data)
{
    const QVector<double> &tx = table->at(0);
    const QVector<double> &ty = table->at(1);
    const int rows = tx.size();
    if (rows <= 1 || data.size() < 2 || !nonLinearityFilesExist()
        || !Settings::groupSnapshot(&Settings::preferences).non_linearity)
        return;
    const QVector<double> &x = data.at(0);
    QVector<double> &y = data[1];
    const int count = std::min(x.size(), y.size());
    int i = 0;
    for (int k = 0; k < count; ++k) {
        const double xk = x.at(k);
        double correction = 0.0;
        for (;;) {
            if (i >= rows - 1) {
                correction = ty.at(rows - 1);
                break;
            }
            if (xk <= tx.at(i + 1)) {
                const double width = tx.at(i + 1) - tx.at(i);
                // Two rows of the same X: a sample exactly there takes the first of them.
                if ((i == 0 && xk < tx.at(0)) || width == 0.0)
                    correction = ty.at(i);
                else
                    correction = ty.at(i) + (xk - tx.at(i)) / width * (ty.at(i + 1) - ty.at(i));
                break;
            }
            ++i;
        }
        y[k] -= correction;
    }
}

IDataPostProcessor *NonLinearityEliminationProcessor::clone() const
{
    return new NonLinearityEliminationProcessor;
}

void ContourConversionPointProcessor::process(QVector<double> &sample)
{
    if (sample.size() < 3)
        return;
    const CalibrationSettings calibration = Settings::groupSnapshot(&Settings::calibration);
    double x = sample.at(0);
    double y = sample.at(1);
    const double w = sample.at(2);
    y *= calibration.y_axis_compression_ratio;
    x *= calibration.x_axis_compression_ratio;
    x -= w * calibration.displacement_coefficient;
    y += w / 1000;
    const double t = calibration.rack_prpendicular * kDegreesToRadians;
    x -= std::sin(t) * y;
    y = std::cos(t) * y;
    sample[0] = x;
    sample[1] = y;
}

IDataSinglePointProcessor *ContourConversionPointProcessor::clone() const
{
    return new ContourConversionPointProcessor;
}
