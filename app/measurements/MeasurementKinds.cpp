#include "measurements/MeasurementKinds.h"

namespace {

using I = KindInput;
using P = KindPrompt;
using R = ConstructionRole;

#define ICON(file) ":/icons/icons/" file

// clang-format off
const MeasurementKindInfo kKinds[kMeasurementKindCount + 1] = {
    // kind, class, base, name, group text, primary, reper points, input, listed,
    // shows reper points, prompt, stored type, icon, construction role
    {VERTICAL_DISTANCE, "VerticalDistanceMeasurment", "DistanceMeasurement", "Высота", "Длины",
     true, 2, I::ClickUnlessAlternative, true, true, P::None, 0, ICON("vdist.png"), R::None},
    {HORISONTAL_DISTANCE, "HorisontalDistanceMeasurment", "DistanceMeasurement", "Длина", "Длины",
     true, 2, I::ClickUnlessAlternative, true, true, P::None, 1, ICON("hdist.png"), R::None},
    {MAX_MIN_DISTANCE, "MaxMinDistanceMeasurement", "DistanceMeasurement", "Наибольшая высота",
     "Длины", true, 2, I::Ranges, true, false, P::None, 2, ICON("vdistmax1.png"), R::None},
    {DIRECT_DISTANCE, "DirectDistanceMeasurement", "DistanceMeasurement", "Прямая", "Длины",
     true, 2, I::ClickUnlessAlternative, true, true, P::None, 3, ICON("ddist.png"), R::None},
    {VERTICAL_ANGLE, "VerticalAngleMeasurement", "AngleMeasurement", "Угол (В)", "Углы",
     true, 1, I::Ranges, true, false, P::None, 4, ICON("vangle.png"), R::None},
    {HORIZONTAL_ANGLE, "HorizontalAngleMeasurement", "AngleMeasurement", "Угол (Г)", "Углы",
     true, 1, I::Ranges, true, false, P::None, 5, ICON("hangle.png"), R::None},
    {REGULAR_ANGLE, "RegularAngleMeasurement", "AngleMeasurement", "Угол", "Углы",
     true, 1, I::Ranges, true, false, P::None, 6, ICON("angle.png"), R::None},
    {REGULAR_RADIUS, "RegularRadiusMeasurement", "CurvatureMeasurement", "Радиус", "Радиусы",
     true, 1, I::Ranges, true, false, P::None, 7, ICON("rad.png"), R::None},
    {ARCS_RADIUS, "ArcsRadiusMeasurement", "CurvatureMeasurement", "Радиус (A)", "Радиусы",
     true, 1, I::Ranges, true, false, P::None, 8, ICON("radarc.png"), R::None},
    {LAY_FLAT, "LayFlatMeasurement", "Measurement", "Выравнивание", "",
     true, 0, I::Ranges, false, false, P::None, 9, ICON("flat.png"), R::None},
    {LAY_FLAT_BY_TWO, "LayFlatByTwoMeasurement", "Measurement", "Выравнивание", "",
     true, 0, I::Ranges, false, false, P::None, 10, ICON("flatByTwoSelection.png"), R::None},
    {MEAN_HEIGHT, "MeanHeightMeasurement", "DistanceMeasurement", "Ср. Высота", "Длины",
     true, 2, I::Ranges, true, false, P::None, 11, ICON("mheight.png"), R::None},
    {RMSE, "RMSEMeasurement", "ErrorMeasurement", "Отклонение от прямой",
     "Отклонения от окружности",
     true, 0, I::Ranges, true, false, P::None, 12, ICON("lineerr.png"), R::None},
    {RDEM, "RDEMeasurement", "RadiusDisplacementErrorMeasurement", "Отклонение от окружности",
     "Отклонения",
     true, 0, I::Ranges, true, false, P::None, 13, ICON("raderr.png"), R::None},
    {RDEM_SPECIFIED, "RDEMSpecified", "RadiusDisplacementErrorMeasurement",
     "Отклонение от окружности", "Отклонения от окружности указанного радиуса",
     true, 0, I::Ranges, true, false, P::Radius, 13, ICON("raderr_R.png"), R::None},
    {RDEM_FILTER, "RadiusDisplacementFilterErrorMeasurement",
     "RadiusDisplacementErrorMeasurement", "Отклонение от окружности",
     "Отклонения от радиуса с фильтрацией",
     true, 0, I::Ranges, true, false, P::None, 13, ICON("raderFilter1.png"), R::None},
    {RDEM_BY_TWO_SEGMENT, "RadiusDisplacementErrorMeasurementByTwoSegment",
     "RadiusDisplacementErrorMeasurement", "Отклонение от окружности",
     "Отклонения от окружности с фильтрацией",
     true, 0, I::Ranges, true, false, P::Count, 13, ICON("Rader_2zelect.png"), R::None},
    {RDEM_FITER_BY_TWO_SEGMENT, "RDEMFiterByTwoSegment", "RadiusDisplacementErrorMeasurement",
     "Отклонение от окружности", "Отклонения от окружности с фильтрацией",
     true, 0, I::Ranges, true, false, P::Count, 13, ICON("Rader_2zelect_filter.png"), R::None},
    {RDEM_WITH_POLAR_GRAPH, "RDEMWithPolarGraph", "RadiusDisplacementErrorMeasurement",
     "Отклонение от окружности", "Отклонения от окружности с полярной осью",
     true, 0, I::Ranges, true, false, P::None, 18, ICON("raderr.png"), R::None},
    {AVG_DIAMETERT, "AvgDiametertMeasurement", "DistanceMeasurement", "Ср. Высота", "Длины",
     true, 2, I::Ranges, true, false, P::None, 19, nullptr, R::None},
    {RA, "RAMeasurement", "RoughnessMeasurement", "Ra", "Шероховатости",
     true, 0, I::Ranges, true, false, P::None, 20, ICON("Ra.png"), R::None},
    {RZ, "RZMeasurement", "RoughnessMeasurement", "Rz", "Шероховатости",
     true, 0, I::Ranges, true, false, P::None, 21, ICON("Rz.png"), R::None},
    {CIRCUMF_AG, "CircumfAGMeasurement", "CurvatureMeasurement", "Окружность", "Радиусы",
     false, 1, I::Ranges, true, false, P::None, 22, ICON("Circle.png"), R::Circle},
    {CIRCUMF_AG_SPECIFIED, "CircumfAGSpecified", "CurvatureMeasurement", "Окружность", "Радиусы",
     false, 1, I::Ranges, true, false, P::Radius, 23, ICON("Circle_input Radius.png"), R::Circle},
    {CLICK_HORIZONTAL_LINE, "ClickHorizontalLine", "ClickDistaceMeasurement",
     "Горизонтальная прямая", "Доп геометрия Линии",
     false, 0, I::Click, true, true, P::None, 24, ICON("Horizontal_line.png"),
     R::HorizontalLine},
    {CLICK_VERTICAL_LINE, "ClickVerticalLine", "ClickDistaceMeasurement", "Вертикальная прямая",
     "Доп геометрия Линии",
     false, 0, I::Click, true, true, P::None, 25, ICON("Vertical_line.png"), R::VerticalLine},
    {CLICK_DOUBLE_LINE, "ClickDoubleLine", "ClickDistaceMeasurement", "Прямая по двум точкам",
     "Доп геометрия Линии",
     false, 0, I::Click, true, true, P::None, 26, ICON("2dot_line.png"), R::TwoPointLine},
    {CLICK_POINT, "ClickPoint", "ClickDistaceMeasurement", "Точка на трассе",
     "Доп геометрия Линии",
     false, 1, I::Click, true, false, P::None, 27, ICON("Point.png"), R::None},
    {MIDDLE_POINT, "MiddlePoint", "ClickDistaceMeasurement", "Средняя точка",
     "Доп геометрия Линии",
     false, 1, I::Ranges, true, true, P::None, 28, ICON("mid_point.png"), R::None},
    {THREAD, "Thread", "ClickDistaceMeasurement", "Средний диаметр", "Доп геометрия Линии",
     false, 0, I::Ranges, true, false, P::None, 29, ICON("MidLine.png"), R::ThreadLine},
    {FIND_MAX_POINT, "FindMaxPoint", "AdditionalGeometrySelection", "Точка максимума",
     "Доп геометрия Линии",
     true, 1, I::Ranges, true, false, P::None, 30, ICON("Max_point.png"), R::None},
    {FIND_MIN_POINT, "FindMinPoint", "AdditionalGeometrySelection", "Точка минимума",
     "Доп геометрия Линии",
     true, 1, I::Ranges, true, false, P::None, 31, ICON("Min_point.png"), R::None},
    {AG_TEXT_PLACEMENT, "AgTextPlacement", "Measurement", "Текст", "Текст",
     false, 0, I::Click, true, false, P::None, 32, ICON("text_placement.png"), R::None},
    {COMPARE_PLANE_DXF, "ComparePlaneDXF", "ComparePlaneMeasurement", "Чертёж DXF",
     "Сравнение с чертежём",
     true, 0, I::Ranges, true, false, P::None, 33, ICON("open.png"), R::None},
    {ERROR_PLANE, "ErrorPlane", "ErrorMeasurement", "Отклонение от прямой",
     "Отклонения от графика",
     true, 0, I::Ranges, true, false, P::None, 34, ICON("lineerr.png"), R::None},
    {NO_MEASUREMENT, "", "", "", "",
     true, 0, I::Click, true, false, P::None, 35, nullptr, R::None},
};
// clang-format on

#undef ICON

bool isLine(ConstructionRole role)
{
    return role == R::HorizontalLine || role == R::TwoPointLine || role == R::ThreadLine;
}

// The routine for an ordered pair; intersectionRoutine tries both orders.
IntersectionRoutine orderedRoutine(ConstructionRole a, ConstructionRole b)
{
    if (a == R::Circle && b == R::Circle)
        return IntersectionRoutine::Circles;
    if (a == R::Circle && isLine(b))
        return IntersectionRoutine::LineAndCircle;
    if (a == R::Circle && b == R::VerticalLine)
        return IntersectionRoutine::VerticalAndCircle;
    if (a == R::VerticalLine && isLine(b))
        return IntersectionRoutine::VerticalAndLine;
    if (a == R::TwoPointLine && isLine(b))
        return IntersectionRoutine::LineAndLine;
    if (a == R::ThreadLine && b == R::HorizontalLine)
        return IntersectionRoutine::LineAndLine;
    return IntersectionRoutine::None;
}

} // namespace

const MeasurementKindInfo &measurementKindInfo(int kind)
{
    if (kind < 0 || kind >= kMeasurementKindCount)
        return kKinds[NO_MEASUREMENT];
    return kKinds[kind];
}

QString measurementKindName(int kind)
{
    return QString::fromUtf8(measurementKindInfo(kind).name);
}

QString measurementKindGroupText(int kind)
{
    return QString::fromUtf8(measurementKindInfo(kind).groupText);
}

bool isClickKind(int kind, bool alternativeMeasurement)
{
    switch (measurementKindInfo(kind).input) {
    case KindInput::Click:
        return true;
    case KindInput::ClickUnlessAlternative:
        return !alternativeMeasurement;
    case KindInput::Ranges:
        return false;
    }
    return true;
}

IntersectionRoutine intersectionRoutine(int kindA, int kindB)
{
    const ConstructionRole a = measurementKindInfo(kindA).role;
    const ConstructionRole b = measurementKindInfo(kindB).role;
    const IntersectionRoutine forward = orderedRoutine(a, b);
    return forward != IntersectionRoutine::None ? forward : orderedRoutine(b, a);
}
