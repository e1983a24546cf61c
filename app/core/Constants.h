#pragma once

#include <QFont>
#include <QPen>
#include <QString>
#include <QVector>

// Values shared by every part of the program. They are built by static initialisation
// before main runs, in the order below, and never change afterwards.

// Value text of a measurement that cannot be computed.
inline const QString kUnknownText = QStringLiteral("неизвестно");
// Main window title for every device kind except the profilometer.
inline const QString kApplicationTitle = QStringLiteral("Корване");
// Main window title for the profilometer (device kinds PROFILE and ADDITIONAL_TRACE).
inline const QString kProfilometerTitle = QStringLiteral("Профилометр модели T46");
inline const QString kVersion = QStringLiteral("2.0.4");
inline const QString kProfilometerVersion = QStringLiteral("10.0.0");
inline const QFont kMonospaceFont = QFont(QStringLiteral("Monospace"));

namespace constants_detail {
inline QPen makePen(const QColor &color, qreal width, Qt::PenStyle style)
{
    return QPen(QBrush(color, Qt::SolidPattern), width, style, Qt::SquareCap, Qt::BevelJoin);
}
} // namespace constants_detail

// Unselected measurement graphics and plot items (cosmetic pen).
inline const QPen kItemPen = constants_detail::makePen(Qt::black, 0, Qt::SolidLine);
// Selected measurement graphics (cosmetic pen).
inline const QPen kSelectedItemPen = constants_detail::makePen(Qt::green, 0, Qt::SolidLine);
// Reper points and axis markers.
inline const QPen kReperPen = constants_detail::makePen(Qt::magenta, 1.0, Qt::DashLine);

// Profile filter cut-off lengths in micrometres, longest first. Index i is the filter that the
// instrument knows as number i + 1.
inline const QVector<double> kFilterLengths = {8000, 2500, 800, 250, 80};

// Main window title for a device kind: the profilometer kinds (2 and 3) get the profilometer
// title, every other value the application title.
inline QString windowTitleForDeviceType(int deviceType)
{
    return (deviceType == 2 || deviceType == 3) ? kProfilometerTitle : kApplicationTitle;
}
