#include "core/Settings.h"

#include "core/Constants.h"
#include "core/Logger.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <QSet>
#include <algorithm>
#include <cmath>
#include <mutex>

const QVector<QString> kParameterIndexNames = {
    QStringLiteral("Ra"),      QStringLiteral("Rmax"),     QStringLiteral("Rp"),
    QStringLiteral("Rv"),      QStringLiteral("Rz"),       QStringLiteral("R3z"),
    QStringLiteral("Rz10"),    QStringLiteral("Rc"),       QStringLiteral("Rt"),
    QStringLiteral("Rq"),      QStringLiteral("Rsk"),      QStringLiteral("Rku"),
    QStringLiteral("RSm"),     QStringLiteral("Rm"),       QStringLiteral("RΔq(Δq)"),
    QStringLiteral("RΔa(Δa)"), QStringLiteral("S"),        QStringLiteral("D"),
    QStringLiteral("Dp"),      QStringLiteral("L0"),       QStringLiteral("l0"),
    QStringLiteral("λq"),      QStringLiteral("λa"),       QStringLiteral("ηp"),
    QStringLiteral("tp"),      QStringLiteral("Rk"),       QStringLiteral("Rpk"),
    QStringLiteral("Rvk"),     QStringLiteral("Mr1(tp1)"), QStringLiteral("Mr2(tp2)"),
    QStringLiteral("Wa"),      QStringLiteral("Wmax"),     QStringLiteral("Wp"),
    QStringLiteral("Wv"),      QStringLiteral("Wz"),       QStringLiteral("Wc"),
    QStringLiteral("Wt"),      QStringLiteral("Wq"),       QStringLiteral("Wsk"),
    QStringLiteral("Wku"),     QStringLiteral("WSm"),      QStringLiteral("WΔq"),
    QStringLiteral("WΔa"),     QStringLiteral("Pa"),       QStringLiteral("Pmax"),
    QStringLiteral("Pp"),      QStringLiteral("Pv"),       QStringLiteral("Pz"),
    QStringLiteral("Pc"),      QStringLiteral("Pt"),       QStringLiteral("Pq"),
    QStringLiteral("Psk"),     QStringLiteral("Pku"),      QStringLiteral("PSm"),
    QStringLiteral("PΔq"),     QStringLiteral("PΔa"),
};

const QString kDefaultGraphColor = QStringLiteral("#0048ba");
const QString kDefaultSelectedGraphColor = QStringLiteral("#ff0000");
const QString kDefaultVisualObjectsColor = QStringLiteral("#9b870c");

namespace {

const QString kSettingsFileName = QStringLiteral("settings.ini");

// A stored number that does not convert reads as 0, as QVariant converts it; a value that is not
// finite (a hand-edited "nan" or "inf") falls back to the default instead of poisoning every
// computation that uses it.
double readDouble(const QSettings &file, const QString &key, double defaultValue)
{
    const double value = file.value(key, defaultValue).toDouble();
    return std::isfinite(value) ? value : defaultValue;
}

int readInt(const QSettings &file, const QString &key, int defaultValue)
{
    return file.value(key, defaultValue).toInt();
}

bool readBool(const QSettings &file, const QString &key, bool defaultValue)
{
    return file.value(key, defaultValue).toBool();
}

QString readString(const QSettings &file, const QString &key, const QString &defaultValue)
{
    return file.value(key, defaultValue).toString();
}

// The first line of an INI text that QSettings cannot read, which makes it report FormatError
// and leave the line out: a line that is not blank, not a ';' comment, not a "[section]" and
// holds no '='. Its number (counted from 1) and text; 0 when there is none.
int firstNonIniLine(const QByteArray &text, QByteArray *line = nullptr)
{
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray trimmed = lines.at(i).trimmed();
        const bool readable = trimmed.isEmpty() || trimmed.startsWith(';')
            || (trimmed.startsWith('[') ? trimmed.contains(']') : trimmed.contains('='));
        if (!readable) {
            if (line)
                *line = trimmed;
            return i + 1;
        }
    }
    return 0;
}

QByteArray fileContent(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int clampInt(int value, int low, int high)
{
    return value < low ? low : (value > high ? high : value);
}

// How often the current thread holds the write lock (nested lockers count once each).
thread_local int t_writeLockDepth = 0;

} // namespace

ConsoleParams::ConsoleParams()
    : name(QStringLiteral("No console"))
    , tool_head_radius_down(20.0)
    , tool_head_radius_up(20.0)
    , double_sided_probe_high(22.0)
    , needle_bias(0.0)
    , roughness_ratio(6.2)
{ }

PreferencesSettings::PreferencesSettings()
    : disabled_params_count(kParameterIndexNames.size())
    , graph_color(kDefaultGraphColor)
    , selected_graph_color(kDefaultSelectedGraphColor)
    , visual_objects_color(kDefaultVisualObjectsColor)
{
    enabled_params.insert(0, QStringLiteral("Ra"));
    for (int i = 0; i < kParameterIndexNames.size(); ++i)
        disabled_params.insert(i, kParameterIndexNames.at(i));
}

Settings::Settings() = default;

QReadWriteLock &Settings::lock()
{
    static QReadWriteLock settingsLock;
    return settingsLock;
}

Settings::WriteLocker::WriteLocker()
{
    relock();
}

Settings::WriteLocker::~WriteLocker()
{
    unlock();
}

void Settings::WriteLocker::relock()
{
    if (m_locked)
        return;
    if (t_writeLockDepth == 0)
        lock().lockForWrite();
    ++t_writeLockDepth;
    m_locked = true;
}

void Settings::WriteLocker::unlock()
{
    if (!m_locked)
        return;
    m_locked = false;
    if (--t_writeLockDepth == 0)
        lock().unlock();
}

Settings::ReadLocker::ReadLocker()
    : m_locked(t_writeLockDepth == 0)
{
    if (m_locked)
        lock().lockForRead();
}

Settings::ReadLocker::~ReadLocker()
{
    if (m_locked)
        lock().unlock();
}

Settings *Settings::instance()
{
    // A function-local static is constructed once, even when two threads ask at once.
    static Settings *const record = [] {
        auto *created = new Settings(readFile(kSettingsFileName));
        return created;
    }();
    return record;
}

Settings Settings::snapshot()
{
    Settings *record = instance();
    const ReadLocker locker;
    return *record;
}

Settings::WriteLocker Settings::writeLocker()
{
    instance();
    return WriteLocker();
}

bool Settings::modify(const std::function<void(Settings &)> &change)
{
    Settings *record = instance();
    const WriteLocker locker;
    change(*record);
    return record->save();
}

bool Settings::save()
{
    const ReadLocker locker;
    if (writeFile(kSettingsFileName))
        return true;
    logger.log(ERROR, "Can't write settings file " + kSettingsFileName.toStdString());
    return false;
}

Settings Settings::readFile(const QString &fileName)
{
    Settings record;
    record.load(fileName);
    return record;
}

void Settings::load(const QString &fileName)
{
    const QSettings file(fileName, QSettings::IniFormat);
    const Settings defaults;

    CalibrationSettings &c = calibration;
    const CalibrationSettings &dc = defaults.calibration;
    c.tool_head_radius_down
        = readDouble(file, "calibration/tool_head_radius_down", dc.tool_head_radius_down);
    c.tool_head_radius_up
        = readDouble(file, "calibration/tool_head_radius_up", dc.tool_head_radius_up);
    c.double_sided_probe_high
        = readDouble(file, "calibration/double_sided_probe_high", dc.double_sided_probe_high);
    c.needle_bias = readDouble(file, "calibration/needle_bias", dc.needle_bias);
    c.rack_prpendicular = readDouble(file, "calibration/rack_prpendicular", dc.rack_prpendicular);
    c.reference_ball_radius
        = readDouble(file, "calibration/reference_ball_radius", dc.reference_ball_radius);
    c.roughness_reference_value
        = readDouble(file, "calibration/roughness_reference_value", dc.roughness_reference_value);
    c.roughness_ratio = readDouble(file, "calibration/roughness_ratio", dc.roughness_ratio);
    c.calibration_Ra_value
        = readDouble(file, "calibration/calibration_Ra_value", dc.calibration_Ra_value);
    c.x_axis_compression_ratio
        = readDouble(file, "calibration/x_axis_compression_ratio", dc.x_axis_compression_ratio);
    c.y_axis_compression_ratio
        = readDouble(file, "calibration/y_axis_compression_ratio", dc.y_axis_compression_ratio);
    c.displacement_coefficient
        = readDouble(file, "calibration/displacement_coefficient", dc.displacement_coefficient);
    c.upload_device_settings
        = readBool(file, "calibration/upload_device_settings", dc.upload_device_settings);
    c.non_linearity_data
        = readString(file, "calibration/non_linearity_data", dc.non_linearity_data);

    DeviceSettings &d = device;
    const DeviceSettings &dd = defaults.device;
    d.alternative_managment
        = readBool(file, "device/alternative_managment", dd.alternative_managment);
    d.power_pressing = readInt(file, "device/power_pressing", dd.power_pressing);
    d.spinbox_filter_length_index
        = readInt(file, "device/spinbox_filter_length_index", dd.spinbox_filter_length_index);
    d.trace_length = readInt(file, "device/trace_length", dd.trace_length);
    d.measurement_mode = readInt(file, "device/measurement_mode", dd.measurement_mode);
    d.device_type = readInt(file, "device/device_type", dd.device_type);

    view.axis_unit = readInt(file, "view/axis_unit", defaults.view.axis_unit);
    view.angles_in_deg = readBool(file, "view/angles_in_deg", defaults.view.angles_in_deg);

    PreferencesSettings &p = preferences;
    const PreferencesSettings &dp = defaults.preferences;
    p.alternative_measurement
        = readBool(file, "preferenses/alternative_measurement", dp.alternative_measurement);
    p.meadian_filter = readBool(file, "preferenses/meadian_filter", dp.meadian_filter);
    p.thread_angle_compensation
        = readBool(file, "preferenses/thread_angle_compensation", dp.thread_angle_compensation);
    p.base_filter = readBool(file, "preferenses/base_filter", dp.base_filter);
    p.meadian_filter_value
        = readInt(file, "preferenses/meadian_filter_value", dp.meadian_filter_value);
    p.thread_angle_compensation_value = readDouble(
        file, "preferenses/thread_angle_compensation_value", dp.thread_angle_compensation_value);
    p.histogramm_density_value
        = readInt(file, "preferenses/histogramm_density_value", dp.histogramm_density_value);
    p.non_linearity = readBool(file, "preferenses/non_linearity", dp.non_linearity);
    p.save_trace_folder = readString(file, "preferenses/save_trace_folder", dp.save_trace_folder);
    p.save_report_folder
        = readString(file, "preferenses/save_report_folder", dp.save_report_folder);
    p.enabled_params_count
        = clampInt(readInt(file, "preferenses/enabled_params_count", 1), 0, kMaxStoredListCount);
    p.disabled_params_count
        = clampInt(readInt(file, "preferenses/disabled_params_count", kParameterIndexNames.size()),
                   0, kMaxStoredListCount);

    p.enabled_params.clear();
    for (int i = 0; i < p.enabled_params_count; ++i)
        p.enabled_params.insert(
            i, readString(file, QStringLiteral("preferenses/enabled_%1").arg(i), "Ra"));
    p.disabled_params.clear();
    for (int i = 0; i < p.disabled_params_count; ++i) {
        const QString defaultName
            = i < kParameterIndexNames.size() ? kParameterIndexNames.at(i) : QString();
        p.disabled_params.insert(
            i, readString(file, QStringLiteral("preferenses/disabled_%1").arg(i), defaultName));
    }
    reconcileParameterLists();

    p.standartisation_value
        = readInt(file, "preferenses/standartisation_value", dp.standartisation_value);
    p.is_ask_before_change_filter
        = readBool(file, "preferenses/is_ask_before_change_filter", dp.is_ask_before_change_filter);
    p.profile_filter_mode
        = readInt(file, "preferenses/profile_filter_mode", dp.profile_filter_mode);
    p.is_accept_filter = readBool(file, "preferenses/is_accept_filter", dp.is_accept_filter);
    p.inscribed_circle_radius_measurement
        = readDouble(file, "preferenses/inscribed_circle_radius_measurement",
                     dp.inscribed_circle_radius_measurement);
    p.graph_color = readString(file, "preferenses/graph_color", dp.graph_color);
    p.selected_graph_color
        = readString(file, "preferenses/selected_graph_color", dp.selected_graph_color);
    p.visual_objects_color
        = readString(file, "preferenses/visual_objects_color", dp.visual_objects_color);

    ServiceSettings &s = service;
    const ServiceSettings &ds = defaults.service;
    s.factory_name = readString(file, "servise/factory_name", ds.factory_name);
    s.default_trace_file_name
        = readString(file, "servise/default_trace_file_name", ds.default_trace_file_name);
    s.demo_regime = readBool(file, "servise/demo_regime", ds.demo_regime);
    s.test_sensor_mode = readBool(file, "servise/test_sensor_mode", ds.test_sensor_mode);
    s.scale_x_resolution = readInt(file, "servise/scale_x_resolution", ds.scale_x_resolution);
    s.scale_z_resolution = readInt(file, "servise/scale_z_resolution", ds.scale_z_resolution);
    s.scale_r_resolution = readInt(file, "servise/scale_r_resolution", ds.scale_r_resolution);
    s.is_developer_mode = readBool(file, "servise/is_developer_mode", ds.is_developer_mode);
    s.is_disabled_gauss_filter
        = readBool(file, "servise/is_disabled_gauss_filter", ds.is_disabled_gauss_filter);
    s.is_disabled_radius_elimination = readBool(file, "servise/is_disabled_radius_elimination",
                                                ds.is_disabled_radius_elimination);
    s.sensor_number = readInt(file, "servise/sensor_number", ds.sensor_number);

    movement.mm_per_rotation
        = readDouble(file, "movement/mm_per_rotation", defaults.movement.mm_per_rotation);
    movement.current_speed
        = readInt(file, "movement/current_speed", defaults.movement.current_speed);
    const int pressing
        = readInt(file, "movement/needle_pressing", MovementSettings::E_PRESSING_DOWN);
    movement.needle_pressing = pressing == MovementSettings::E_PRESSING_UP
        ? MovementSettings::E_PRESSING_UP
        : MovementSettings::E_PRESSING_DOWN;

    controllers.clear();
    const int controllerCount
        = clampInt(readInt(file, "controllers/count", 0), 0, kMaxStoredListCount);
    for (int i = 0; i < controllerCount; ++i)
        controllers.append(readString(file, QStringLiteral("controllers/c_%1").arg(i), QString()));

    consoles.clear();
    const int consoleCount = clampInt(readInt(file, "consoles/count", 0), 0, kMaxStoredListCount);
    current_console = ConsoleParams();
    current_console.name
        = readString(file, "consoles/current_console", QStringLiteral("No console"));
    const ConsoleParams dcon;
    for (int i = 0; i < consoleCount; ++i) {
        const QString prefix = QStringLiteral("consoles/p_%1").arg(i);
        ConsoleParams console;
        console.name = readString(file, prefix, QString());
        console.tool_head_radius_down
            = readDouble(file, prefix + "/tool_head_radius_down", dcon.tool_head_radius_down);
        console.tool_head_radius_up
            = readDouble(file, prefix + "/tool_head_radius_up", dcon.tool_head_radius_up);
        console.double_sided_probe_high
            = readDouble(file, prefix + "/double_sided_probe_high", dcon.double_sided_probe_high);
        console.needle_bias = readDouble(file, prefix + "/needle_bias", dcon.needle_bias);
        console.roughness_ratio
            = readDouble(file, prefix + "/roughness_ratio", dcon.roughness_ratio);
        consoles.append(console);
        // Every match is copied, so the last console of that name wins.
        if (console.name == current_console.name)
            current_console = console;
    }

    current_controller_name
        = readString(file, "controllers/current_controller_name", QStringLiteral("No name"));

    keepIndicesInRange();

    if (file.status() == QSettings::FormatError) {
        QByteArray text;
        const int number = firstNonIniLine(fileContent(fileName), &text);
        logger.log(WARNING,
                   QStringLiteral("%1 line %2 is not an INI line and is left out: %3")
                       .arg(QFileInfo(fileName).fileName())
                       .arg(number)
                       .arg(QString::fromUtf8(text.left(80)))
                       .toStdString());
    }
}

// Keeps a hand-edited or damaged settings.ini from sending a later index or loop astray.
//
// Enumerations keep the value the file holds, known or not: their readers give a value they do
// not know its own meaning (a device kind other than the profilometer's titles the window as the
// contourograph, a profile filter mode other than 1 and 2 means no filter, an unknown standard
// proposes no cut-off, and so on). An index into a table, for which no such meaning exists,
// falls back to its key's default when it lies outside the table.
void Settings::keepIndicesInRange()
{
    const Settings defaults;
    device.power_pressing = std::max(device.power_pressing, 1);
    if (device.spinbox_filter_length_index < 0
        || device.spinbox_filter_length_index >= kFilterLengths.size())
        device.spinbox_filter_length_index = defaults.device.spinbox_filter_length_index;
    device.trace_length = std::max(device.trace_length, 0);
    preferences.meadian_filter_value = std::max(preferences.meadian_filter_value, 1);
    preferences.histogramm_density_value = clampInt(preferences.histogramm_density_value, 1, 100);
    // The four tracing speeds.
    if (movement.current_speed < 0 || movement.current_speed > 3)
        movement.current_speed = defaults.movement.current_speed;
    service.sensor_number = std::max(service.sensor_number, 0);
}

void Settings::reconcileParameterLists()
{
    PreferencesSettings &p = preferences;
    QSet<QString> known;
    for (const QString &name : qAsConst(p.enabled_params))
        known.insert(name);
    for (const QString &name : qAsConst(p.disabled_params))
        known.insert(name);

    int nextIndex = p.disabled_params.isEmpty() ? 0 : p.disabled_params.lastKey() + 1;
    for (const QString &name : kParameterIndexNames) {
        if (!known.contains(name))
            p.disabled_params.insert(nextIndex++, name);
    }
    p.enabled_params_count = p.enabled_params.size();
    p.disabled_params_count = p.disabled_params.size();
}

bool Settings::writeFile(const QString &fileName) const
{
    QSettings file(fileName, QSettings::IniFormat);

    const CalibrationSettings &c = calibration;
    file.setValue("calibration/tool_head_radius_down", c.tool_head_radius_down);
    file.setValue("calibration/tool_head_radius_up", c.tool_head_radius_up);
    file.setValue("calibration/double_sided_probe_high", c.double_sided_probe_high);
    file.setValue("calibration/needle_bias", c.needle_bias);
    file.setValue("calibration/rack_prpendicular", c.rack_prpendicular);
    file.setValue("calibration/reference_ball_radius", c.reference_ball_radius);
    file.setValue("calibration/roughness_reference_value", c.roughness_reference_value);
    file.setValue("calibration/roughness_ratio", c.roughness_ratio);
    file.setValue("calibration/calibration_Ra_value", c.calibration_Ra_value);
    file.setValue("calibration/x_axis_compression_ratio", c.x_axis_compression_ratio);
    file.setValue("calibration/y_axis_compression_ratio", c.y_axis_compression_ratio);
    file.setValue("calibration/displacement_coefficient", c.displacement_coefficient);
    file.setValue("calibration/upload_device_settings", c.upload_device_settings);
    file.setValue("calibration/non_linearity_data", c.non_linearity_data);

    file.setValue("device/alternative_managment", device.alternative_managment);
    file.setValue("device/power_pressing", device.power_pressing);
    file.setValue("device/measurement_mode", device.measurement_mode);
    file.setValue("device/device_type", device.device_type);
    file.setValue("device/spinbox_filter_length_index", device.spinbox_filter_length_index);
    file.setValue("device/trace_length", device.trace_length);

    const ServiceSettings &s = service;
    file.setValue("servise/factory_name", s.factory_name);
    file.setValue("servise/default_trace_file_name", s.default_trace_file_name);
    file.setValue("servise/demo_regime", s.demo_regime);
    file.setValue("servise/test_sensor_mode", s.test_sensor_mode);
    file.setValue("servise/scale_x_resolution", s.scale_x_resolution);
    file.setValue("servise/scale_z_resolution", s.scale_z_resolution);
    file.setValue("servise/scale_r_resolution", s.scale_r_resolution);
    file.setValue("servise/is_developer_mode", s.is_developer_mode);
    file.setValue("servise/is_disabled_gauss_filter", s.is_disabled_gauss_filter);
    file.setValue("servise/is_disabled_radius_elimination", s.is_disabled_radius_elimination);
    file.setValue("servise/sensor_number", s.sensor_number);

    file.setValue("view/axis_unit", view.axis_unit);
    file.setValue("view/angles_in_deg", view.angles_in_deg);

    const PreferencesSettings &p = preferences;
    file.setValue("preferenses/alternative_measurement", p.alternative_measurement);
    file.setValue("preferenses/meadian_filter", p.meadian_filter);
    file.setValue("preferenses/thread_angle_compensation", p.thread_angle_compensation);
    file.setValue("preferenses/base_filter", p.base_filter);
    file.setValue("preferenses/meadian_filter_value", p.meadian_filter_value);
    file.setValue("preferenses/thread_angle_compensation_value", p.thread_angle_compensation_value);
    file.setValue("preferenses/histogramm_density_value", p.histogramm_density_value);
    file.setValue("preferenses/non_linearity", p.non_linearity);
    file.setValue("preferenses/save_trace_folder", p.save_trace_folder);
    file.setValue("preferenses/save_report_folder", p.save_report_folder);
    file.setValue("preferenses/enabled_params_count", p.enabled_params_count);
    file.setValue("preferenses/disabled_params_count", p.disabled_params_count);
    for (int i = 0; i < p.enabled_params_count; ++i)
        file.setValue(QStringLiteral("preferenses/enabled_%1").arg(i), p.enabled_params.value(i));
    for (int i = 0; i < p.disabled_params_count; ++i)
        file.setValue(QStringLiteral("preferenses/disabled_%1").arg(i), p.disabled_params.value(i));
    file.setValue("preferenses/standartisation_value", p.standartisation_value);
    file.setValue("preferenses/is_ask_before_change_filter", p.is_ask_before_change_filter);
    file.setValue("preferenses/profile_filter_mode", p.profile_filter_mode);
    file.setValue("preferenses/is_accept_filter", p.is_accept_filter);
    file.setValue("preferenses/inscribed_circle_radius_measurement",
                  p.inscribed_circle_radius_measurement);
    file.setValue("preferenses/graph_color", p.graph_color);
    file.setValue("preferenses/selected_graph_color", p.selected_graph_color);
    file.setValue("preferenses/visual_objects_color", p.visual_objects_color);

    file.setValue("controllers/count", QString::number(controllers.size()));
    file.setValue("controllers/current_controller_name", current_controller_name);
    for (int i = 0; i < controllers.size(); ++i)
        file.setValue(QStringLiteral("controllers/c_%1").arg(i), controllers.at(i));

    file.setValue("consoles/count", QString::number(consoles.size()));
    file.setValue("consoles/current_console", current_console.name);
    for (int i = 0; i < consoles.size(); ++i) {
        const QString prefix = QStringLiteral("consoles/p_%1").arg(i);
        const ConsoleParams &console = consoles.at(i);
        file.setValue(prefix, console.name);
        file.setValue(prefix + "/tool_head_radius_down", console.tool_head_radius_down);
        file.setValue(prefix + "/tool_head_radius_up", console.tool_head_radius_up);
        file.setValue(prefix + "/double_sided_probe_high", console.double_sided_probe_high);
        file.setValue(prefix + "/needle_bias", console.needle_bias);
        file.setValue(prefix + "/roughness_ratio", console.roughness_ratio);
    }

    file.setValue("movement/mm_per_rotation", movement.mm_per_rotation);
    file.setValue("movement/current_speed", movement.current_speed);
    file.setValue("movement/needle_pressing", static_cast<int>(movement.needle_pressing));
    file.sync();
    switch (file.status()) {
    case QSettings::NoError:
        return true;
    case QSettings::FormatError:
        // The old file held a line QSettings cannot read: that alone gives FormatError, though the
        // file was written, without the line. Where the line is still there, nothing was written.
        return firstNonIniLine(fileContent(fileName)) == 0;
    default:
        return false;
    }
}
