#include "reports/HtmlReport.h"

#include "core/SafeFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QLocale>
#include <QStringList>

namespace {

// The map value under key, escaped; an absent key reads as fallback.
QString escapedValue(const QMap<QString, QString> &data, const QString &key,
                     const QString &fallback = QString())
{
    return data.value(key, fallback).toHtmlEscaped();
}

// A count of indexed entries: text that is not a number reads as 0.
int countValue(const QMap<QString, QString> &data, const QString &key)
{
    return data.value(key).toInt();
}

QStringList trimmedItems(const QString &text)
{
    QStringList items = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString &item : items)
        item = item.trimmed();
    return items;
}

bool isPassFlag(const QString &flag)
{
    static const QStringList passing {QStringLiteral("1"), QStringLiteral("true"),
                                      QStringLiteral("yes"), QStringLiteral("y"),
                                      QStringLiteral("ok")};
    return passing.contains(flag.toLower());
}

const QString kDocumentEnd = QStringLiteral("</body>\n</html>\n");

} // namespace

QString htmlDocumentHead(const QString &title, const QString &extraCss)
{
    return QStringLiteral(
               "<!doctype html>\n<html lang=\"ru\">\n<head>\n  <meta charset=\"utf-8\">\n"
               "  <meta name=\"viewport\" content=\"width=device-width, "
               "initial-scale=1\">\n  <title>")
        + title.toHtmlEscaped()
        + QStringLiteral("</title>\n  <style>\n    body{ font-family: Arial, Helvetica, "
                         "sans-serif; margin:20px }\n")
        + extraCss + QStringLiteral("  </style>\n</head>\n<body>\n");
}

QString pixmapToHtmlImg(const QPixmap &picture, const QString &style)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    // A picture that cannot be encoded leaves the buffer empty; the element is still written.
    picture.save(&buffer, "PNG", -1);
    const QString source
        = QStringLiteral("data:image/png;base64,") + QString::fromLatin1(bytes.toBase64());
    const QString styleAttribute
        = style.isEmpty() ? QString() : QStringLiteral("style=\"") + style + QLatin1Char('"');
    // Both placeholders are replaced in one pass, so nothing in the data is taken for one.
    return QStringLiteral("<img src=\"%1\" %2 />").arg(source, styleAttribute);
}

QString htmlPlotDiv(const QVector<QPixmap> &images)
{
    if (images.isEmpty())
        return QString();
    return QStringLiteral("<div class=\"plot\">\n")
        + pixmapToHtmlImg(images.first(), QStringLiteral("max-width:100%; height:auto;"))
        + QStringLiteral("\n</div>\n");
}

void htmlGroupTable(const QMap<QString, QString> &data, const QString &groupKey,
                    const QString &caption, int count, QVector<QString> &tables)
{
    if (count <= 0)
        return;
    QString table = QStringLiteral("<table width=\"100%\">\n<tr><th colspan=\"2\">")
        + caption.toHtmlEscaped() + QStringLiteral("</th></tr>\n");
    for (int i = 0; i < count; ++i) {
        const QString prefix = QStringLiteral("%1[%2].").arg(groupKey).arg(i);
        table += QStringLiteral("<tr>\n  <th>")
            + escapedValue(data, prefix + QStringLiteral("name")) + QStringLiteral("</th>\n  <th>")
            + escapedValue(data, prefix + QStringLiteral("value"))
            + QStringLiteral("</th>\n</tr>\n");
    }
    table += QStringLiteral("</table>\n");
    tables.append(table);
}

QFile *writeHtmlFile(const QString &path, const QString &html)
{
    const QByteArray bytes = html.toUtf8();
    if (!writeFileAtomically(
            path, [&bytes](QIODevice &device) { device.write(bytes); }, nullptr, QIODevice::Text))
        return nullptr;
    return new QFile(path);
}

QFile *writeSensorTestReport(const QMap<QString, QString> &data, const QString &path,
                             const QDateTime &now)
{
    const QStringList references = trimmedItems(data.value(QStringLiteral("reference_values")));
    const QStringList measured = trimmedItems(data.value(QStringLiteral("measured_values")));
    const QStringList tolerances = trimmedItems(data.value(QStringLiteral("in_tolerance")));
    const int n = references.size();
    if (measured.size() != n || tolerances.size() != n)
        return nullptr;

    const QString dash = QStringLiteral("—");
    QString html = htmlDocumentHead(
        QStringLiteral("Тест датчика"),
        QStringLiteral(
            "    .card{ max-width:500px; margin:0 auto; border:1px solid #e0e0e0; "
            "border-radius:8px; padding:18px; box-shadow:0 2px 6px rgba(0,0,0,0.05);} \n"
            "    h1{ font-size:18px; margin:0 0 10px 0 }\n"
            "    .meta{ display:flex; gap:20px; margin-bottom:14px; color:#444 }\n"
            "    .meta .item{ font-size:14px }\n"
            "    table{ width:auto; border-collapse:collapse; margin:12px auto }\n"
            "    th, td{ padding:6px 10px; font-size:18px; font-weight:600; border:2px solid "
            "#ddd; text-align:center }\n"
            "    th{ background:#f7f7f7 }\n"
            "    .ok{ color: #107a2a; font-weight:700 } /* green */\n"
            "    .bad{ color: #c02727; font-weight:700 } /* red */\n"
            "    .small-note{ font-size:12px; color:#666; margin-top:10px }\n"));
    html += QStringLiteral("<div class=\"card\">\n  <div class=\"meta\">\n");
    html += QStringLiteral(
                "    <div class=\"item\" style=\"font-size:18px\"><strong>Датчик №:</strong> ")
        + escapedValue(data, QStringLiteral("sensor_number"), dash) + QStringLiteral("</div>\n");
    html += QStringLiteral("    <div class=\"item\" style=\"font-size:18px\"><strong>РИ:</strong> ")
        + escapedValue(data, QStringLiteral("execution_grade"), dash) + QStringLiteral("</div>\n");
    html += QStringLiteral("    <div style=\"flex:1\"></div>\n");
    html += QStringLiteral(
                "    <div class=\"item\" style=\"font-size:18px\"><strong>Дата:</strong> ")
        + QLocale().toString(now, QLocale::ShortFormat).toHtmlEscaped()
        + QStringLiteral("</div>\n");
    html += QStringLiteral("  </div>\n");
    html += QStringLiteral("<table>\n  <thead>\n    <tr>\n      <th>Эталон (Ra)</th>\n"
                           "      <th>Измеренное (Ra)</th>\n      <th>В допуске</th>\n"
                           "    </tr>\n  </thead>\n  <tbody>\n");
    for (int i = 0; i < n; ++i) {
        const QString mark = isPassFlag(tolerances.at(i))
            ? QStringLiteral("<span class=\"ok\">&#10003;</span>")
            : QStringLiteral("<span class=\"bad\">&#10007;</span>");
        html += QStringLiteral("    <tr>\n      <td>") + references.at(i).toHtmlEscaped()
            + QStringLiteral("</td>\n      <td>") + measured.at(i).toHtmlEscaped()
            + QStringLiteral("</td>\n      <td>") + mark + QStringLiteral("</td>\n    </tr>\n");
    }
    html += QStringLiteral("  </tbody>\n</table>\n");
    html += QStringLiteral("</div>\n");
    html += kDocumentEnd;
    return writeHtmlFile(path, html);
}

QFile *writeMeasurementReport(const QMap<QString, QString> &data, const QVector<QPixmap> &images,
                              const QString &path)
{
    QString html = htmlDocumentHead(
        QStringLiteral("Отчёт измерения"),
        QStringLiteral("    body{ font-family: Arial, Helvetica, sans-serif; color:#222; "
                       "margin:20px; }\n"
                       "    h1{ font-size:40px; margin:0; text-align:center }\n"
                       "    .header{ display:flex; justify-content:space-between; "
                       "align-items:flex-end; margin-bottom:16px }\n"
                       "    .detail{ font-size:18px }\n"
                       "    table{ width:100%; border-collapse:collapse; margin-top:14px }\n"
                       "    th, td{ border:1px solid #333; padding:6px 8px; text-align:center }\n"
                       "    th{ background:#f0f0f0; font-weight:600 }\n"
                       "    img{ max-width:100%; height:auto; margin:18px 0 }\n"));
    html += QStringLiteral("<div class=\"header\">\n  <div></div>\n  <h1>")
        + escapedValue(data, QStringLiteral("factory_name"))
        + QStringLiteral("</h1>\n  <div class=\"detail\">")
        + escapedValue(data, QStringLiteral("detail_name")) + QStringLiteral("</div>\n</div>\n");

    html += QStringLiteral("<table>\n  <tr>\n    <th>Контролёр</th>\n    <th>Фильтр</th>\n"
                           "    <th>Длина</th>\n    <th>Скорость</th>\n"
                           "    <th>Дата измерения</th>\n  </tr>\n");
    const int traceCount = countValue(data, QStringLiteral("trace_count"));
    for (int i = 0; i < traceCount; ++i) {
        const QString prefix = QStringLiteral("trace[%1].").arg(i);
        html += QStringLiteral("  <tr>\n");
        for (const char *field :
             {"controller_name", "filter", "trace_length", "speed", "creation_date"}) {
            html += QStringLiteral("    <td>") + escapedValue(data, prefix + QLatin1String(field))
                + QStringLiteral("</td>\n");
        }
        html += QStringLiteral("  </tr>\n");
    }
    html += QStringLiteral("</table>\n");

    html += htmlPlotDiv(images);

    html += QStringLiteral("<table>\n  <tr>\n    <th>Параметр</th>\n    <th>Значение</th>\n"
                           "  </tr>\n");
    const int paramCount = countValue(data, QStringLiteral("param_count"));
    for (int i = 0; i < paramCount; ++i) {
        const QString prefix = QStringLiteral("param[%1].").arg(i);
        html += QStringLiteral("  <tr>\n    <td>")
            + escapedValue(data, prefix + QStringLiteral("name"))
            + QStringLiteral("</td>\n    <td>")
            + escapedValue(data, prefix + QStringLiteral("value"))
            + QStringLiteral("</td>\n  </tr>\n");
    }
    html += QStringLiteral("</table>\n");
    html += kDocumentEnd;
    return writeHtmlFile(path, html);
}

QFile *writePlotReport(const QVector<QPixmap> &images, const QString &path)
{
    return writeHtmlFile(path, htmlPlotDiv(images));
}

QFile *writeMeasurementProtocol(const QMap<QString, QString> &data, const QVector<QPixmap> &images,
                                const QString &path)
{
    QString html = htmlDocumentHead(QStringLiteral("Протокол измерений"),
                                    QStringLiteral("    table{ border-collapse:collapse; }\n"
                                                   "    th, td{ border:1px solid #000; "
                                                   "padding:6px; }\n"));
    html += QStringLiteral("<h2>Контурограф м.T81</h2>\n");
    html += QStringLiteral("<table width=\"100%\">\n<tr>\n"
                           "  <th width=\"30%\" style=\"font-size:20px;\">")
        + escapedValue(data, QStringLiteral("factory_name"))
        + QStringLiteral("</th>\n  <th width=\"70%\" style=\"font-size:35px;\">")
        + escapedValue(data, QStringLiteral("part_name"))
        + QStringLiteral("</th>\n</tr>\n</table>\n");

    html += QStringLiteral("<table width=\"100%\">\n<tr>\n  <th width=\"20%\">")
        + escapedValue(data, QStringLiteral("date"))
        + QStringLiteral("</th>\n  <th width=\"30%\">Контролёр</th>\n  <th width=\"50%\">")
        + escapedValue(data, QStringLiteral("controller_name")) + QStringLiteral("</th>\n</tr>\n");
    const int traceCount = countValue(data, QStringLiteral("traces_count"));
    for (int i = 0; i < traceCount; ++i) {
        const QString prefix = QStringLiteral("traces[%1].").arg(i);
        html += QStringLiteral("<tr>\n  <th>")
            + escapedValue(data, prefix + QStringLiteral("creation_date"))
            + QStringLiteral("</th>\n  <th>Трасса ")
            + escapedValue(data, prefix + QStringLiteral("id")) + QStringLiteral("</th>\n  <th>")
            + escapedValue(data, prefix + QStringLiteral("trace_author"))
            + QStringLiteral("</th>\n</tr>\n");
    }
    html += QStringLiteral("</table>\n");

    html += QStringLiteral("<p><strong>Комментарий:</strong> ")
        + escapedValue(data, QStringLiteral("comment")) + QStringLiteral("</p>\n");
    html += htmlPlotDiv(images);

    QVector<QString> tables;
    for (const char *group : {"distance", "error", "angle", "radius", "roughness"}) {
        const QString key = QLatin1String(group);
        htmlGroupTable(data, key, data.value(key + QStringLiteral("_name")),
                       countValue(data, key + QStringLiteral("_count")), tables);
    }
    if (!tables.isEmpty()) {
        const QString width = QString::number(100 / tables.size());
        html += QStringLiteral("<table width=\"100%\"><tr>\n");
        for (const QString &table : tables) {
            html += QStringLiteral("<td valign=\"top\" width=\"") + width + QStringLiteral("%\">\n")
                + table + QStringLiteral("</td>\n");
        }
        html += QStringLiteral("</tr></table>\n");
    }
    html += kDocumentEnd;
    return writeHtmlFile(path, html);
}

QFile *writeHtmlReport(const QMap<QString, QString> &data, const QVector<QPixmap> &images,
                       const QString &path, int type, const QDateTime &now)
{
    switch (type) {
    case SENSOR_TEST_REPORT:
        return writeSensorTestReport(data, path, now);
    case MEASUREMENT_REPORT:
        return writeMeasurementReport(data, images, path);
    case PLOT_REPORT:
        return writePlotReport(images, path);
    case MEASUREMENT_PROTOCOL:
        return writeMeasurementProtocol(data, images, path);
    default:
        return nullptr;
    }
}
