#pragma once

#include <QDateTime>
#include <QFile>
#include <QMap>
#include <QPixmap>
#include <QString>
#include <QVector>

// HTML reports: one self-contained UTF-8 page per call, built from a report map (display texts
// under plain keys such as "factory_name" and indexed keys such as "param[2].name") and the plot
// pictures, of which only the first is ever shown, embedded as base64 PNG.
//
// Every text taken from the report map is HTML-escaped before it enters the page, so that a
// name read from a trace file cannot inject markup or scripts into the page the browser opens.
// The fixed markup of the layouts is written as it stands.
//
// Every writer returns the written file, closed and without a parent, owned by the caller; null
// when nothing was written (the file could not be opened or written whole, or the input was
// refused). The writers
// show nothing and log nothing: reporting a failure is the caller's business. GUI thread only
// (the pictures are QPixmaps).

enum E_REPORT_TYPE {
    SENSOR_TEST_REPORT = 0,
    MEASUREMENT_REPORT = 1,
    PLOT_REPORT = 2,
    MEASUREMENT_PROTOCOL = 3
};

// Writes the report of the given kind (an E_REPORT_TYPE value) to path; any other kind writes
// nothing and returns null. `now` is the date shown by the sensor test.
QFile *writeHtmlReport(const QMap<QString, QString> &data, const QVector<QPixmap> &images,
                       const QString &path, int type,
                       const QDateTime &now = QDateTime::currentDateTime());

// The four layouts. The sensor test refuses (null, file untouched) when its three
// comma-separated lists differ in length; it shows `now` in the default locale's short format.
QFile *writeSensorTestReport(const QMap<QString, QString> &data, const QString &path,
                             const QDateTime &now = QDateTime::currentDateTime());
QFile *writeMeasurementReport(const QMap<QString, QString> &data, const QVector<QPixmap> &images,
                              const QString &path);
// The plot block alone, without any page frame; an empty file when there is no picture.
QFile *writePlotReport(const QVector<QPixmap> &images, const QString &path);
QFile *writeMeasurementProtocol(const QMap<QString, QString> &data, const QVector<QPixmap> &images,
                                const QString &path);

// The page up to and including the opening body tag; the title is escaped, extraCss (lines that
// start with four blanks and end with a line feed) is inserted unchanged after the base rule.
QString htmlDocumentHead(const QString &title, const QString &extraCss);
// One <img> element with the picture embedded as a PNG data URL; an empty style gives no style
// attribute. A picture that cannot be encoded gives an empty data part.
QString pixmapToHtmlImg(const QPixmap &picture, const QString &style);
// The plot block of the first picture, or empty text for no picture.
QString htmlPlotDiv(const QVector<QPixmap> &images);
// Appends to `tables` one two-column table of the entries groupKey[0] .. groupKey[count - 1]
// (fields "name" and "value") under the caption; nothing for a count of 0 or less. Caption,
// names and values are escaped.
void htmlGroupTable(const QMap<QString, QString> &data, const QString &groupKey,
                    const QString &caption, int count, QVector<QString> &tables);
// Replaces (or creates) the file with the UTF-8 document, whole or not at all: a write that
// fails leaves the previous file as it was and gives null, as does a file that cannot be opened.
QFile *writeHtmlFile(const QString &path, const QString &html);
