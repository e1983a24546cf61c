#pragma once

#include <QString>
#include <QVector>

class QIODevice;

// Builds the probe's non-linearity table, non_linearity/non_linearity.txt under the working
// directory, from a measured text file: reads the points, smooths them with a Gaussian low-pass
// (cut-off 2000 in the unit of the file's x) and writes one "x<TAB>y" line per point. The
// non-linearity step of the processing chain reads the table whenever it is created.
//
// Input: a line counts when, trimmed, it splits at TABs (empty parts dropped) into exactly three
// finite numbers a, b, c; the point is x = a, y = b + c / 1000. A native contour trace file meets
// this rule. Runs of equal x are spread evenly towards the next x.
//
//     NonLinearityTable table(&file);   // file open for reading; closed afterwards
//     table.smooth();
//     if (!table.save()) warn(table.errorString);
class NonLinearityTable
{
public:
    explicit NonLinearityTable(QIODevice *device);

    void smooth();
    // Replaces the table file whole; on failure the previous file stays as it was and
    // errorString tells why. Points from which no table can be built (every point on one X, or
    // X beyond the range of doubles once equal runs are spread) are refused, not written.
    bool save();

    static QString filePath();

    QVector<QVector<double>> source;
    QVector<QVector<double>> result;
    QString errorString;
};
