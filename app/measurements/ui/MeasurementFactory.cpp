#include "measurements/ui/MeasurementFactory.h"

#include "measurements/ui/Measurement.h"

// Every kind's creator is declared here, so that the table below can name it as soon as the
// kind defines it.
#define DECLARE_KIND(kind)                                                                         \
    template<>                                                                                     \
    Measurement *createMeasurementKind<kind>(const MeasurementArgs &args);

DECLARE_KIND(VERTICAL_DISTANCE)
DECLARE_KIND(HORISONTAL_DISTANCE)
DECLARE_KIND(MAX_MIN_DISTANCE)
DECLARE_KIND(DIRECT_DISTANCE)
DECLARE_KIND(VERTICAL_ANGLE)
DECLARE_KIND(HORIZONTAL_ANGLE)
DECLARE_KIND(REGULAR_ANGLE)
DECLARE_KIND(REGULAR_RADIUS)
DECLARE_KIND(ARCS_RADIUS)
DECLARE_KIND(LAY_FLAT)
DECLARE_KIND(LAY_FLAT_BY_TWO)
DECLARE_KIND(MEAN_HEIGHT)
DECLARE_KIND(RMSE)
DECLARE_KIND(RDEM)
DECLARE_KIND(RDEM_SPECIFIED)
DECLARE_KIND(RDEM_FILTER)
DECLARE_KIND(RDEM_BY_TWO_SEGMENT)
DECLARE_KIND(RDEM_FITER_BY_TWO_SEGMENT)
DECLARE_KIND(RDEM_WITH_POLAR_GRAPH)
DECLARE_KIND(AVG_DIAMETERT)
DECLARE_KIND(RA)
DECLARE_KIND(RZ)
DECLARE_KIND(CIRCUMF_AG)
DECLARE_KIND(CIRCUMF_AG_SPECIFIED)
DECLARE_KIND(CLICK_HORIZONTAL_LINE)
DECLARE_KIND(CLICK_VERTICAL_LINE)
DECLARE_KIND(CLICK_DOUBLE_LINE)
DECLARE_KIND(CLICK_POINT)
DECLARE_KIND(MIDDLE_POINT)
DECLARE_KIND(THREAD)
DECLARE_KIND(FIND_MAX_POINT)
DECLARE_KIND(FIND_MIN_POINT)
DECLARE_KIND(AG_TEXT_PLACEMENT)
DECLARE_KIND(COMPARE_PLANE_DXF)
DECLARE_KIND(ERROR_PLANE)

#undef DECLARE_KIND

namespace {

// One line per kind, in the order of E_MEASUREMENTS. A kind that exists replaces its nullptr
// with &createMeasurementKind<KIND>.
const MeasurementCreator kCreators[kMeasurementKindCount] = {
    &createMeasurementKind<VERTICAL_DISTANCE>,
    &createMeasurementKind<HORISONTAL_DISTANCE>,
    &createMeasurementKind<MAX_MIN_DISTANCE>,
    &createMeasurementKind<DIRECT_DISTANCE>,
    &createMeasurementKind<VERTICAL_ANGLE>,
    &createMeasurementKind<HORIZONTAL_ANGLE>,
    &createMeasurementKind<REGULAR_ANGLE>,
    &createMeasurementKind<REGULAR_RADIUS>,
    &createMeasurementKind<ARCS_RADIUS>,
    &createMeasurementKind<LAY_FLAT>,
    &createMeasurementKind<LAY_FLAT_BY_TWO>,
    &createMeasurementKind<MEAN_HEIGHT>,
    &createMeasurementKind<RMSE>,
    &createMeasurementKind<RDEM>,
    &createMeasurementKind<RDEM_SPECIFIED>,
    &createMeasurementKind<RDEM_FILTER>,
    &createMeasurementKind<RDEM_BY_TWO_SEGMENT>,
    &createMeasurementKind<RDEM_FITER_BY_TWO_SEGMENT>,
    &createMeasurementKind<RDEM_WITH_POLAR_GRAPH>,
    &createMeasurementKind<AVG_DIAMETERT>,
    &createMeasurementKind<RA>,
    &createMeasurementKind<RZ>,
    &createMeasurementKind<CIRCUMF_AG>,
    &createMeasurementKind<CIRCUMF_AG_SPECIFIED>,
    &createMeasurementKind<CLICK_HORIZONTAL_LINE>,
    &createMeasurementKind<CLICK_VERTICAL_LINE>,
    &createMeasurementKind<CLICK_DOUBLE_LINE>,
    &createMeasurementKind<CLICK_POINT>,
    &createMeasurementKind<MIDDLE_POINT>,
    &createMeasurementKind<THREAD>,
    &createMeasurementKind<FIND_MAX_POINT>,
    &createMeasurementKind<FIND_MIN_POINT>,
    &createMeasurementKind<AG_TEXT_PLACEMENT>,
    &createMeasurementKind<COMPARE_PLANE_DXF>,
    &createMeasurementKind<ERROR_PLANE>,
};

} // namespace

MeasurementCreator measurementCreator(int kind)
{
    if (kind < 0 || kind >= kMeasurementKindCount)
        return nullptr;
    return kCreators[kind];
}

Measurement *createMeasurementOfKind(int kind, const MeasurementArgs &args)
{
    const MeasurementCreator create = measurementCreator(kind);
    return create ? create(args) : nullptr;
}
