#include "core/Settings.h"

#include "core/Constants.h"
#include "core/Logger.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <QSet>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <mutex>
#include <vector>

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

// How a stored whole number outside its range is taken.
enum class OutOfRange {
    // As it is: the readers of an enumeration give a value they do not know a meaning of
    // their own (an unknown device kind titles the window as the contourograph, and so on).
    Keep,
    // The nearest end of the range.
    Clamp,
    // The key's default: an index into a table, which has no meaning beyond it.
    UseDefault
};

struct IntRange
{
    int low = std::numeric_limits<int>::min();
    int high = std::numeric_limits<int>::max();
    OutOfRange outside = OutOfRange::Keep;
};

IntRange atLeast(int low)
{
    return {low, std::numeric_limits<int>::max(), OutOfRange::Clamp};
}

// A stored number that does not convert reads as 0, as QVariant converts it; a value that is not
// finite (a hand-edited "nan" or "inf") falls back to the default instead of poisoning every
// computation that uses it.
double readValue(const QSettings &file, const QString &key, double defaultValue, IntRange)
{
    const double value = file.value(key, defaultValue).toDouble();
    return std::isfinite(value) ? value : defaultValue;
}

int readValue(const QSettings &file, const QString &key, int defaultValue, IntRange range)
{
    const int value = file.value(key, defaultValue).toInt();
    if (value >= range.low && value <= range.high)
        return value;
    switch (range.outside) {
    case OutOfRange::Clamp:
        return value < range.low ? range.low : range.high;
    case OutOfRange::UseDefault:
        return defaultValue;
    case OutOfRange::Keep:
        break;
    }
    return value;
}

bool readValue(const QSettings &file, const QString &key, bool defaultValue, IntRange)
{
    return file.value(key, defaultValue).toBool();
}

QString readValue(const QSettings &file, const QString &key, const QString &defaultValue, IntRange)
{
    return file.value(key, defaultValue).toString();
}

// Stored as a number: 0 is up, anything else down.
MovementSettings::E_NEEDLE_PRESSING readValue(const QSettings &file, const QString &key,
                                              MovementSettings::E_NEEDLE_PRESSING defaultValue,
                                              IntRange)
{
    return file.value(key, int(defaultValue)).toInt() == MovementSettings::E_PRESSING_UP
        ? MovementSettings::E_PRESSING_UP
        : MovementSettings::E_PRESSING_DOWN;
}

template<typename T>
QVariant storedValue(const T &value)
{
    return QVariant(value);
}

QVariant storedValue(MovementSettings::E_NEEDLE_PRESSING value)
{
    return static_cast<int>(value);
}

// One member of the record kept in settings.ini under its key: how it is read, with its default
// (the member's value in a record of defaults) and its range, and how it is written.
struct StoredKey
{
    std::function<void(Settings &record, const QSettings &file, const Settings &defaults)> read;
    std::function<void(const Settings &record, QSettings &file)> write;
};

// A member of a group of the record, under "group/member".
template<typename Group, typename T>
StoredKey member(const char *key, Group Settings::*group, T Group::*field, IntRange range = {})
{
    const QString name = QLatin1String(key);
    return {[=](Settings &record, const QSettings &file, const Settings &defaults) {
                (record.*group).*field = readValue(file, name, (defaults.*group).*field, range);
            },
            [=](const Settings &record, QSettings &file) {
                file.setValue(name, storedValue((record.*group).*field));
            }};
}

// A member of the record itself.
template<typename T>
StoredKey member(const char *key, T Settings::*field)
{
    const QString name = QLatin1String(key);
    return {[=](Settings &record, const QSettings &file, const Settings &defaults) {
                record.*field = readValue(file, name, defaults.*field, {});
            },
            [=](const Settings &record, QSettings &file) {
                file.setValue(name, storedValue(record.*field));
            }};
}

// Every member of the record that is one key of settings.ini; the lists (parameter names,
// controllers, consoles) are read and written by their own code below. Built on first use, after
// the tables it refers to.
const std::vector<StoredKey> &storedKeys()
{
    using S = Settings;
    using C = CalibrationSettings;
    using D = DeviceSettings;
    using V = ServiceSettings;
    using P = PreferencesSettings;
    static const std::vector<StoredKey> keys = {
        member("calibration/tool_head_radius_down", &S::calibration, &C::tool_head_radius_down),
        member("calibration/tool_head_radius_up", &S::calibration, &C::tool_head_radius_up),
        member("calibration/double_sided_probe_high", &S::calibration, &C::double_sided_probe_high),
        member("calibration/needle_bias", &S::calibration, &C::needle_bias),
        member("calibration/rack_prpendicular", &S::calibration, &C::rack_prpendicular),
        member("calibration/reference_ball_radius", &S::calibration, &C::reference_ball_radius),
        member("calibration/roughness_reference_value", &S::calibration,
               &C::roughness_reference_value),
        member("calibration/roughness_ratio", &S::calibration, &C::roughness_ratio),
        member("calibration/calibration_Ra_value", &S::calibration, &C::calibration_Ra_value),
        member("calibration/x_axis_compression_ratio", &S::calibration,
               &C::x_axis_compression_ratio),
        member("calibration/y_axis_compression_ratio", &S::calibration,
               &C::y_axis_compression_ratio),
        member("calibration/displacement_coefficient", &S::calibration,
               &C::displacement_coefficient),
        member("calibration/upload_device_settings", &S::calibration, &C::upload_device_settings),
        member("calibration/non_linearity_data", &S::calibration, &C::non_linearity_data),

        member("device/alternative_managment", &S::device, &D::alternative_managment),
        member("device/power_pressing", &S::device, &D::power_pressing, atLeast(1)),
        member("device/measurement_mode", &S::device, &D::measurement_mode),
        member("device/device_type", &S::device, &D::device_type),
        member("device/spinbox_filter_length_index", &S::device, &D::spinbox_filter_length_index,
               {0, int(kFilterLengths.size()) - 1, OutOfRange::UseDefault}),
        member("device/trace_length", &S::device, &D::trace_length, atLeast(0)),

        member("servise/factory_name", &S::service, &V::factory_name),
        member("servise/default_trace_file_name", &S::service, &V::default_trace_file_name),
        member("servise/demo_regime", &S::service, &V::demo_regime),
        member("servise/test_sensor_mode", &S::service, &V::test_sensor_mode),
        member("servise/scale_x_resolution", &S::service, &V::scale_x_resolution),
        member("servise/scale_z_resolution", &S::service, &V::scale_z_resolution),
        member("servise/scale_r_resolution", &S::service, &V::scale_r_resolution),
        member("servise/is_developer_mode", &S::service, &V::is_developer_mode),
        member("servise/is_disabled_gauss_filter", &S::service, &V::is_disabled_gauss_filter),
        member("servise/is_disabled_radius_elimination", &S::service,
               &V::is_disabled_radius_elimination),
        member("servise/sensor_number", &S::service, &V::sensor_number, atLeast(0)),

        member("view/axis_unit", &S::view, &ViewSettings::axis_unit),
        member("view/angles_in_deg", &S::view, &ViewSettings::angles_in_deg),

        member("preferenses/alternative_measurement", &S::preferences, &P::alternative_measurement),
        member("preferenses/meadian_filter", &S::preferences, &P::meadian_filter),
        member("preferenses/thread_angle_compensation", &S::preferences,
               &P::thread_angle_compensation),
        member("preferenses/base_filter", &S::preferences, &P::base_filter),
        member("preferenses/meadian_filter_value", &S::preferences, &P::meadian_filter_value,
               atLeast(1)),
        member("preferenses/thread_angle_compensation_value", &S::preferences,
               &P::thread_angle_compensation_value),
        member("preferenses/histogramm_density_value", &S::preferences,
               &P::histogramm_density_value, {1, 100, OutOfRange::Clamp}),
        member("preferenses/non_linearity", &S::preferences, &P::non_linearity),
        member("preferenses/save_trace_folder", &S::preferences, &P::save_trace_folder),
        member("preferenses/save_report_folder", &S::preferences, &P::save_report_folder),
        member("preferenses/standartisation_value", &S::preferences, &P::standartisation_value),
        member("preferenses/is_ask_before_change_filter", &S::preferences,
               &P::is_ask_before_change_filter),
        member("preferenses/profile_filter_mode", &S::preferences, &P::profile_filter_mode),
        member("preferenses/is_accept_filter", &S::preferences, &P::is_accept_filter),
        member("preferenses/inscribed_circle_radius_measurement", &S::preferences,
               &P::inscribed_circle_radius_measurement),
        member("preferenses/graph_color", &S::preferences, &P::graph_color),
        member("preferenses/selected_graph_color", &S::preferences, &P::selected_graph_color),
        member("preferenses/visual_objects_color", &S::preferences, &P::visual_objects_color),

        member("controllers/current_controller_name", &S::current_controller_name),

        member("movement/mm_per_rotation", &S::movement, &MovementSettings::mm_per_rotation),
        // The four tracing speeds.
        member("movement/current_speed", &S::movement, &MovementSettings::current_speed,
               {0, 3, OutOfRange::UseDefault}),
        member("movement/needle_pressing", &S::movement, &MovementSettings::needle_pressing),
    };
    return keys;
}

// The keys of the lists.
const QString kEnabledCountKey = QStringLiteral("preferenses/enabled_params_count");
const QString kDisabledCountKey = QStringLiteral("preferenses/disabled_params_count");
const QString kEnabledKey = QStringLiteral("preferenses/enabled_%1");
const QString kDisabledKey = QStringLiteral("preferenses/disabled_%1");
const QString kControllerCountKey = QStringLiteral("controllers/count");
const QString kControllerKey = QStringLiteral("controllers/c_%1");
const QString kConsoleCountKey = QStringLiteral("consoles/count");
const QString kCurrentConsoleKey = QStringLiteral("consoles/current_console");
const QString kConsoleKey = QStringLiteral("consoles/p_%1");

// The values of a console, under its own key followed by these.
struct ConsoleValue
{
    const char *key;
    double ConsoleParams::*field;
};
const ConsoleValue kConsoleValues[] = {
    {"/tool_head_radius_down", &ConsoleParams::tool_head_radius_down},
    {"/tool_head_radius_up", &ConsoleParams::tool_head_radius_up},
    {"/double_sided_probe_high", &ConsoleParams::double_sided_probe_high},
    {"/needle_bias", &ConsoleParams::needle_bias},
    {"/roughness_ratio", &ConsoleParams::roughness_ratio},
};

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
    for (const StoredKey &key : storedKeys())
        key.read(*this, file, defaults);

    PreferencesSettings &p = preferences;
    // A list's count says how many of its entries, from the first on, are read. A count beyond
    // the entries the file holds (a damaged count) takes those it holds: entries that are not
    // there would be read as empty names and saved back as such.
    const auto count = [&file](const QString &countKey, int defaultValue, const QString &entryKey) {
        const int stated
            = readValue(file, countKey, defaultValue, {0, kMaxStoredListCount, OutOfRange::Clamp});
        if (!file.contains(countKey))
            return stated;
        int held = 0;
        while (held < stated && file.contains(entryKey.arg(held)))
            ++held;
        return held;
    };
    p.enabled_params_count = count(kEnabledCountKey, 1, kEnabledKey);
    p.disabled_params_count = count(kDisabledCountKey, kParameterIndexNames.size(), kDisabledKey);
    p.enabled_params.clear();
    for (int i = 0; i < p.enabled_params_count; ++i)
        p.enabled_params.insert(i, readValue(file, kEnabledKey.arg(i), QStringLiteral("Ra"), {}));
    p.disabled_params.clear();
    for (int i = 0; i < p.disabled_params_count; ++i) {
        const QString defaultName
            = i < kParameterIndexNames.size() ? kParameterIndexNames.at(i) : QString();
        p.disabled_params.insert(i, readValue(file, kDisabledKey.arg(i), defaultName, {}));
    }
    reconcileParameterLists();

    controllers.clear();
    const int controllerCount = count(kControllerCountKey, 0, kControllerKey);
    for (int i = 0; i < controllerCount; ++i)
        controllers.append(readValue(file, kControllerKey.arg(i), QString(), {}));

    consoles.clear();
    const int consoleCount = count(kConsoleCountKey, 0, kConsoleKey);
    current_console = ConsoleParams();
    current_console.name = readValue(file, kCurrentConsoleKey, current_console.name, {});
    const ConsoleParams defaultConsole;
    for (int i = 0; i < consoleCount; ++i) {
        const QString prefix = kConsoleKey.arg(i);
        ConsoleParams console;
        console.name = readValue(file, prefix, QString(), {});
        for (const ConsoleValue &value : kConsoleValues)
            console.*value.field = readValue(file, prefix + QLatin1String(value.key),
                                             defaultConsole.*value.field, {});
        consoles.append(console);
        // Every match is copied, so the last console of that name wins.
        if (console.name == current_console.name)
            current_console = console;
    }

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
    for (const StoredKey &key : storedKeys())
        key.write(*this, file);

    const PreferencesSettings &p = preferences;
    file.setValue(kEnabledCountKey, p.enabled_params_count);
    file.setValue(kDisabledCountKey, p.disabled_params_count);
    for (int i = 0; i < p.enabled_params_count; ++i)
        file.setValue(kEnabledKey.arg(i), p.enabled_params.value(i));
    for (int i = 0; i < p.disabled_params_count; ++i)
        file.setValue(kDisabledKey.arg(i), p.disabled_params.value(i));

    file.setValue(kControllerCountKey, QString::number(controllers.size()));
    for (int i = 0; i < controllers.size(); ++i)
        file.setValue(kControllerKey.arg(i), controllers.at(i));

    file.setValue(kConsoleCountKey, QString::number(consoles.size()));
    file.setValue(kCurrentConsoleKey, current_console.name);
    for (int i = 0; i < consoles.size(); ++i) {
        const QString prefix = kConsoleKey.arg(i);
        const ConsoleParams &console = consoles.at(i);
        file.setValue(prefix, console.name);
        for (const ConsoleValue &value : kConsoleValues)
            file.setValue(prefix + QLatin1String(value.key), console.*value.field);
    }

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
