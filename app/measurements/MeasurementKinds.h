#pragma once

#include <QString>

// The kinds of measurement on a contour plot. NO_MEASUREMENT means that no tool is active.
enum E_MEASUREMENTS {
    VERTICAL_DISTANCE = 0,
    HORISONTAL_DISTANCE = 1,
    MAX_MIN_DISTANCE = 2,
    DIRECT_DISTANCE = 3,
    VERTICAL_ANGLE = 4,
    HORIZONTAL_ANGLE = 5,
    REGULAR_ANGLE = 6,
    REGULAR_RADIUS = 7,
    ARCS_RADIUS = 8,
    LAY_FLAT = 9,
    LAY_FLAT_BY_TWO = 10,
    MEAN_HEIGHT = 11,
    RMSE = 12,
    RDEM = 13,
    RDEM_SPECIFIED = 14,
    RDEM_FILTER = 15,
    RDEM_BY_TWO_SEGMENT = 16,
    RDEM_FITER_BY_TWO_SEGMENT = 17,
    RDEM_WITH_POLAR_GRAPH = 18,
    AVG_DIAMETERT = 19,
    RA = 20,
    RZ = 21,
    CIRCUMF_AG = 22,
    CIRCUMF_AG_SPECIFIED = 23,
    CLICK_HORIZONTAL_LINE = 24,
    CLICK_VERTICAL_LINE = 25,
    CLICK_DOUBLE_LINE = 26,
    CLICK_POINT = 27,
    MIDDLE_POINT = 28,
    THREAD = 29,
    FIND_MAX_POINT = 30,
    FIND_MIN_POINT = 31,
    AG_TEXT_PLACEMENT = 32,
    COMPARE_PLANE_DXF = 33,
    ERROR_PLANE = 34,
    NO_MEASUREMENT = 35,
};

constexpr int kMeasurementKindCount = 35;

// How the operator gives a kind its input.
enum class KindInput {
    Click, // clicks on trace points; the segment selection is off
    Ranges, // ranges dragged along trace curves
    ClickUnlessAlternative, // clicks, or ranges while preferenses/alternative_measurement is set
    // Clicks on trace points while the segment selection stays on; the kind ignores the ranges.
    PointClicks,
    // One click that takes the whole trace under the marker; the segment selection stays on and
    // the kind ignores the ranges.
    TraceClick,
};

// The groups of the measurement tree, in the order of its group rows. A kind's measurements are
// listed in its group; the protocol numbers them within it.
enum class MeasurementGroup {
    Lengths,
    Deviations,
    Angles,
    Radii,
    Roughness,
    ConstructionGeometry,
    None, // never listed (levelling), or no kind at all
};

constexpr int kMeasurementGroupCount = 6;

// One row of the groups table: the tree's group row and what the protocol writes for it.
struct MeasurementGroupInfo
{
    MeasurementGroup group;
    const char *rowText; // the group row's text (UTF-8)
    const char *icon; // the group row's icon, a resource path
    // The protocol: the designation prefix (UTF-8; "L" makes L_1, L_2, ...), the key prefix of
    // the entries ("distance[%1]."), the key of their count and of the group's name. Null for
    // the construction geometry, which the protocol leaves out.
    const char *prefix;
    const char *entryKey;
    const char *countKey;
    const char *nameKey;
};

// The row of a group; the row of MeasurementGroup::None (no texts) for a value outside the groups.
const MeasurementGroupInfo &measurementGroupInfo(MeasurementGroup group);

// The number a kind asks for before it starts.
enum class KindPrompt {
    None,
    Count, // the number of ranges
    Radius, // a radius in the display unit
};

// What a piece of construction geometry is to the intersections.
enum class ConstructionRole {
    None,
    Circle, // centre and radius
    HorizontalLine, // y = k·x + b with k = 0
    VerticalLine, // x = b
    TwoPointLine, // y = k·x + b
    ThreadLine, // y = k·x + b, the mean-diameter line of a thread
};

// One row of the kinds table.
struct MeasurementKindInfo
{
    E_MEASUREMENTS kind;
    const char *className;
    const char *baseClassName;
    const char *name; // display name (UTF-8)
    const char *groupText; // group text (UTF-8); nothing reads it but groupName()
    // The tree group its measurements are listed in, by the stored type.
    MeasurementGroup group;
    bool primary; // false for construction geometry
    int reperPoints; // reper points made by the constructor
    KindInput input;
    // Measurements of the kind join the measurement list; the levelling kinds never do.
    bool listed;
    // Choosing the kind makes the reper points of the plot snap targets of the selection marker.
    bool showsReperPoints;
    KindPrompt prompt;
    // The kind the measurement stores and the tree groups it by (13 for kinds 14 to 17).
    int storedType;
    // The tool button's icon, a resource path; null for NO_MEASUREMENT.
    const char *icon;
    ConstructionRole role;
};

// The row of a kind; the row of NO_MEASUREMENT for a value outside 0 to 34.
const MeasurementKindInfo &measurementKindInfo(int kind);

QString measurementKindName(int kind);
QString measurementKindGroupText(int kind);
// The tree group of a stored type (Measurement::type); None for a kind that is never listed.
MeasurementGroup measurementGroupOf(int kind);

// Whether the kind takes clicks with the segment selection off, for the given
// alternative-measurement setting. NO_MEASUREMENT counts as a click kind.
bool isClickKind(int kind, bool alternativeMeasurement);
// Whether the operator makes the kind by clicks (rather than by dragging ranges), whether or not
// the segment selection stays on meanwhile.
bool takesClicks(int kind, bool alternativeMeasurement);

// The routine of the intersections for a pair of construction kinds (in either order).
enum class IntersectionRoutine {
    None,
    Circles,
    LineAndCircle,
    VerticalAndCircle,
    VerticalAndLine,
    LineAndLine,
};

IntersectionRoutine intersectionRoutine(int kindA, int kindB);
