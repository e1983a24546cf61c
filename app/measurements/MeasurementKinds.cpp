#include "measurements/MeasurementKinds.h"

namespace {

using I = KindInput;
using P = KindPrompt;
using R = ConstructionRole;
using G = MeasurementGroup;

#define ICON(file) ":/icons/icons/" file

// clang-format off
const MeasurementKindInfo kKinds[kMeasurementKindCount + 1] = {
    // kind, class, base, name, group text, tree group, primary, reper points, input, listed,
    // shows reper points, prompt, stored type, icon, construction role
    {VERTICAL_DISTANCE, "VerticalDistanceMeasurment", "DistanceMeasurement", "Высота", "Длины",
     G::Lengths,
     true, 2, I::ClickUnlessAlternative, true, true, P::None, 0, ICON("vdist.png"), R::None},
    {HORISONTAL_DISTANCE, "HorisontalDistanceMeasurment", "DistanceMeasurement", "Длина", "Длины",
     G::Lengths,
     true, 2, I::ClickUnlessAlternative, true, true, P::None, 1, ICON("hdist.png"), R::None},
    {MAX_MIN_DISTANCE, "MaxMinDistanceMeasurement", "DistanceMeasurement", "Наибольшая высота",
     "Длины",
     G::Lengths, true, 2, I::Ranges, true, false, P::None, 2, ICON("vdistmax1.png"), R::None},
    {DIRECT_DISTANCE, "DirectDistanceMeasurement", "DistanceMeasurement", "Прямая", "Длины",
     G::Lengths,
     true, 2, I::ClickUnlessAlternative, true, true, P::None, 3, ICON("ddist.png"), R::None},
    {VERTICAL_ANGLE, "VerticalAngleMeasurement", "AngleMeasurement", "Угол (В)", "Углы",
     G::Angles, true, 1, I::Ranges, true, false, P::None, 4, ICON("vangle.png"), R::None},
    {HORIZONTAL_ANGLE, "HorizontalAngleMeasurement", "AngleMeasurement", "Угол (Г)", "Углы",
     G::Angles, true, 1, I::Ranges, true, false, P::None, 5, ICON("hangle.png"), R::None},
    {REGULAR_ANGLE, "RegularAngleMeasurement", "AngleMeasurement", "Угол", "Углы",
     G::Angles, true, 1, I::Ranges, true, false, P::None, 6, ICON("angle.png"), R::None},
    {REGULAR_RADIUS, "RegularRadiusMeasurement", "CurvatureMeasurement", "Радиус", "Радиусы",
     G::Radii, true, 1, I::Ranges, true, false, P::None, 7, ICON("rad.png"), R::None},
    {ARCS_RADIUS, "ArcsRadiusMeasurement", "CurvatureMeasurement", "Радиус (A)", "Радиусы",
     G::Radii, true, 1, I::Ranges, true, false, P::None, 8, ICON("radarc.png"), R::None},
    {LAY_FLAT, "LayFlatMeasurement", "Measurement", "Выравнивание", "",
     G::None, true, 0, I::Ranges, false, false, P::None, 9, ICON("flat.png"), R::None},
    {LAY_FLAT_BY_TWO, "LayFlatByTwoMeasurement", "Measurement", "Выравнивание", "", G::None,
     true, 0, I::Ranges, false, false, P::None, 10, ICON("flatByTwoSelection.png"), R::None},
    {MEAN_HEIGHT, "MeanHeightMeasurement", "DistanceMeasurement", "Ср. Высота", "Длины",
     G::Lengths, true, 2, I::Ranges, true, false, P::None, 11, ICON("mheight.png"), R::None},
    {RMSE, "RMSEMeasurement", "ErrorMeasurement", "Отклонение от прямой",
     "Отклонения от окружности",
     G::Deviations, true, 0, I::Ranges, true, false, P::None, 12, ICON("lineerr.png"), R::None},
    {RDEM, "RDEMeasurement", "RadiusDisplacementErrorMeasurement", "Отклонение от окружности",
     "Отклонения",
     G::Deviations, true, 0, I::Ranges, true, false, P::None, 13, ICON("raderr.png"), R::None},
    {RDEM_SPECIFIED, "RDEMSpecified", "RadiusDisplacementErrorMeasurement",
     "Отклонение от окружности", "Отклонения от окружности указанного радиуса",
     G::Deviations, true, 0, I::Ranges, true, false, P::Radius, 13, ICON("raderr_R.png"), R::None},
    {RDEM_FILTER, "RadiusDisplacementFilterErrorMeasurement",
     "RadiusDisplacementErrorMeasurement", "Отклонение от окружности",
     "Отклонения от радиуса с фильтрацией", G::Deviations,
     true, 0, I::Ranges, true, false, P::None, 13, ICON("raderFilter1.png"), R::None},
    {RDEM_BY_TWO_SEGMENT, "RadiusDisplacementErrorMeasurementByTwoSegment",
     "RadiusDisplacementErrorMeasurement", "Отклонение от окружности",
     "Отклонения от окружности с фильтрацией", G::Deviations,
     true, 0, I::Ranges, true, false, P::Count, 13, ICON("Rader_2zelect.png"), R::None},
    {RDEM_FITER_BY_TWO_SEGMENT, "RDEMFiterByTwoSegment", "RadiusDisplacementErrorMeasurement",
     "Отклонение от окружности", "Отклонения от окружности с фильтрацией", G::Deviations,
     true, 0, I::Ranges, true, false, P::Count, 13, ICON("Rader_2zelect_filter.png"), R::None},
    {RDEM_WITH_POLAR_GRAPH, "RDEMWithPolarGraph", "RadiusDisplacementErrorMeasurement",
     "Отклонение от окружности", "Отклонения от окружности с полярной осью",
     G::Deviations, true, 0, I::Ranges, true, false, P::None, 18, ICON("raderr.png"), R::None},
    {AVG_DIAMETERT, "AvgDiametertMeasurement", "DistanceMeasurement", "Ср. Высота", "Длины",
     G::Lengths, true, 2, I::Ranges, true, false, P::None, 19, nullptr, R::None},
    {RA, "RAMeasurement", "RoughnessMeasurement", "Ra", "Шероховатости",
     G::Roughness, true, 0, I::Ranges, true, false, P::None, 20, ICON("Ra.png"), R::None},
    {RZ, "RZMeasurement", "RoughnessMeasurement", "Rz", "Шероховатости",
     G::Roughness, true, 0, I::Ranges, true, false, P::None, 21, ICON("Rz.png"), R::None},
    {CIRCUMF_AG, "CircumfAGMeasurement", "CurvatureMeasurement", "Окружность", "Радиусы",
     G::ConstructionGeometry,
     false, 1, I::Ranges, true, false, P::None, 22, ICON("Circle.png"), R::Circle},
    {CIRCUMF_AG_SPECIFIED, "CircumfAGSpecified", "CurvatureMeasurement", "Окружность", "Радиусы",
     G::ConstructionGeometry,
     false, 1, I::Ranges, true, false, P::Radius, 23, ICON("Circle_input Radius.png"), R::Circle},
    {CLICK_HORIZONTAL_LINE, "ClickHorizontalLine", "ClickDistaceMeasurement",
     "Горизонтальная прямая", "Доп геометрия Линии", G::ConstructionGeometry,
     false, 0, I::Click, true, true, P::None, 24, ICON("Horizontal_line.png"),
     R::HorizontalLine},
    {CLICK_VERTICAL_LINE, "ClickVerticalLine", "ClickDistaceMeasurement", "Вертикальная прямая",
     "Доп геометрия Линии", G::ConstructionGeometry,
     false, 0, I::Click, true, true, P::None, 25, ICON("Vertical_line.png"), R::VerticalLine},
    {CLICK_DOUBLE_LINE, "ClickDoubleLine", "ClickDistaceMeasurement", "Прямая по двум точкам",
     "Доп геометрия Линии", G::ConstructionGeometry,
     false, 0, I::Click, true, true, P::None, 26, ICON("2dot_line.png"), R::TwoPointLine},
    {CLICK_POINT, "ClickPoint", "ClickDistaceMeasurement", "Точка на трассе",
     "Доп геометрия Линии", G::ConstructionGeometry,
     false, 1, I::Click, true, false, P::None, 27, ICON("Point.png"), R::None},
    {MIDDLE_POINT, "MiddlePoint", "ClickDistaceMeasurement", "Средняя точка",
     "Доп геометрия Линии", G::ConstructionGeometry,
     false, 1, I::PointClicks, true, true, P::None, 28, ICON("mid_point.png"), R::None},
    {THREAD, "Thread", "ClickDistaceMeasurement", "Средний диаметр", "Доп геометрия Линии",
     G::ConstructionGeometry,
     false, 0, I::TraceClick, true, false, P::None, 29, ICON("MidLine.png"), R::ThreadLine},
    {FIND_MAX_POINT, "FindMaxPoint", "AdditionalGeometrySelection", "Точка максимума",
     "Доп геометрия Линии", G::ConstructionGeometry,
     true, 1, I::Ranges, true, false, P::None, 30, ICON("Max_point.png"), R::None},
    {FIND_MIN_POINT, "FindMinPoint", "AdditionalGeometrySelection", "Точка минимума",
     "Доп геометрия Линии", G::ConstructionGeometry,
     true, 1, I::Ranges, true, false, P::None, 31, ICON("Min_point.png"), R::None},
    {AG_TEXT_PLACEMENT, "AgTextPlacement", "Measurement", "Текст", "Текст", G::ConstructionGeometry,
     false, 0, I::Click, true, false, P::None, 32, ICON("text_placement.png"), R::None},
    {COMPARE_PLANE_DXF, "ComparePlaneDXF", "ComparePlaneMeasurement", "Чертёж DXF",
     "Сравнение с чертежём", G::ConstructionGeometry,
     true, 0, I::Ranges, true, false, P::None, 33, ICON("open.png"), R::None},
    {ERROR_PLANE, "ErrorPlane", "ErrorMeasurement", "Отклонение от прямой",
     "Отклонения от графика",
     G::Deviations, true, 0, I::Ranges, true, false, P::None, 34, ICON("lineerr.png"), R::None},
    {NO_MEASUREMENT, "", "", "", "",
     G::None, true, 0, I::Click, true, false, P::None, 35, nullptr, R::None},
};

const MeasurementGroupInfo kGroups[kMeasurementGroupCount + 1] = {
    // group, row text, icon, designation prefix, entry key, count key, name key
    {G::Lengths, "ДЛИНЫ", ICON("hdist.png"), "L", "distance[%1].", "distance_count",
     "distance_name"},
    {G::Deviations, "ОТКЛОНЕНИЯ", ICON("lineerr.png"), "E", "error[%1].", "error_count",
     "error_name"},
    {G::Angles, "УГЛЫ", ICON("angle.png"), "α", "angle[%1].", "angle_count", "angle_name"},
    {G::Radii, "РАДИУСЫ", ICON("rad.png"), "R", "radius[%1].", "radius_count", "radius_name"},
    {G::Roughness, "ШЕРОХОВАТОСТИ", ICON("Ra.png"), "r", "roughness[%1].", "roughness_count",
     "roughness_name"},
    {G::ConstructionGeometry, "ДОП. ГЕОМЕТРИИ", ICON("Horizontal_line.png"),
     nullptr, nullptr, nullptr, nullptr},
    {G::None, "", nullptr, nullptr, nullptr, nullptr, nullptr},
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

const MeasurementGroupInfo &measurementGroupInfo(MeasurementGroup group)
{
    const int index = int(group);
    if (index < 0 || index >= kMeasurementGroupCount)
        return kGroups[kMeasurementGroupCount];
    return kGroups[index];
}

MeasurementGroup measurementGroupOf(int kind)
{
    return measurementKindInfo(kind).group;
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
    case KindInput::PointClicks:
    case KindInput::TraceClick:
        return false;
    }
    return true;
}

bool takesClicks(int kind, bool alternativeMeasurement)
{
    switch (measurementKindInfo(kind).input) {
    case KindInput::Click:
    case KindInput::PointClicks:
    case KindInput::TraceClick:
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
