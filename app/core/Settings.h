#pragma once

#include "processing/CutOffs.h"

#include <QList>
#include <QMap>
#include <QReadWriteLock>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// The 56 known parameter names in index order (the order of the parameter catalogue).
extern const QVector<QString> kParameterIndexNames;

extern const QString kDefaultGraphColor;
extern const QString kDefaultSelectedGraphColor;
extern const QString kDefaultVisualObjectsColor;

// Which profile the profile window shows and additional traces read from files are filtered to.
enum E_PROFILE_FILTER_MODE {
    PRIMARY_PROFILE_MODE = 0,
    ROUGHNESS_PROFILE_MODE = 1,
    WAVINESS_PROFILE_MODE = 2
};

// A named probe record.
struct ConsoleParams
{
    ConsoleParams();

    QString name;
    double tool_head_radius_down;
    double tool_head_radius_up;
    double double_sided_probe_high;
    double needle_bias;
    double roughness_ratio;
};

struct DeviceSettings
{
    bool alternative_managment = false;
    int power_pressing = 1;
    int spinbox_filter_length_index = 1;
    int trace_length = 1;
    int measurement_mode = 0;
    int device_type = 2;
};

struct CalibrationSettings
{
    double tool_head_radius_down = 20.0;
    double tool_head_radius_up = 20.0;
    double double_sided_probe_high = 22.0;
    double needle_bias = 0.0;
    double rack_prpendicular = 0.0;
    double reference_ball_radius = 15.875;
    double roughness_reference_value = 1.2;
    double roughness_ratio = 6.2;
    double calibration_Ra_value = 1.0;
    double x_axis_compression_ratio = 1.0;
    double y_axis_compression_ratio = 1.0;
    double displacement_coefficient = 0.0;
    bool upload_device_settings = false;
    QString non_linearity_data;
};

struct ServiceSettings
{
    QString default_trace_file_name = QStringLiteral("Деталь");
    QString factory_name = QStringLiteral("Завод");
    bool demo_regime = false;
    bool test_sensor_mode = false;
    int scale_x_resolution = 2;
    int scale_z_resolution = 2;
    int scale_r_resolution = 2;
    bool is_developer_mode = false;
    // While true the Gaussian smoothing step of contour finishing runs.
    bool is_disabled_gauss_filter = true;
    // While true the tool radius compensation of contour finishing runs.
    bool is_disabled_radius_elimination = true;
    int sensor_number = 1;
};

struct MovementSettings
{
    enum E_NEEDLE_PRESSING { E_PRESSING_UP = 0, E_PRESSING_DOWN = 1 };

    E_NEEDLE_PRESSING needle_pressing = E_PRESSING_DOWN;
    int current_speed = 0;
    double mm_per_rotation = 1.0;
};

struct ViewSettings
{
    bool angles_in_deg = false;
    int axis_unit = 0;
};

struct PreferencesSettings
{
    PreferencesSettings();

    bool alternative_measurement = false;
    bool meadian_filter = false;
    bool thread_angle_compensation = false;
    bool base_filter = false;
    int meadian_filter_value = 3;
    double thread_angle_compensation_value = 0.0;
    int histogramm_density_value = 10;
    int enabled_params_count = 1;
    int disabled_params_count;
    QMap<int, QString> enabled_params;
    QMap<int, QString> disabled_params;
    int standartisation_value = 0;
    bool is_ask_before_change_filter = true;
    int profile_filter_mode = 0;
    bool is_accept_filter = true;
    double inscribed_circle_radius_measurement = 1.0;
    QString graph_color;
    QString selected_graph_color;
    QString visual_objects_color;
    bool non_linearity = false;
    QString save_trace_folder;
    QString save_report_folder;
};

// The one record of every persistent option, kept in settings.ini in the working directory.
//
// Threads: the GUI thread is the only writer. The data provider's worker thread reads the
// record while the GUI thread may change it, so:
//  - a writer changes members while holding `Settings::writeLocker()` (or through
//    `Settings::modify`, which locks, applies the change and saves). While it holds the lock it
//    may also save, take snapshots and lock again: the thread that holds the write lock reads
//    the record without locking;
//  - code on any thread other than the GUI thread reads through `Settings::snapshot()`, a copy
//    taken under the read lock, and never touches `Settings::instance()` members directly;
//  - the GUI thread may read `Settings::instance()` members directly, since it is the only
//    thread that writes them.
class Settings
{
public:
    // The write lock of the record, held while the object lives. A thread that already holds
    // it may take it again (the inner locker then does nothing).
    class WriteLocker
    {
    public:
        WriteLocker();
        ~WriteLocker();
        WriteLocker(const WriteLocker &) = delete;
        WriteLocker &operator=(const WriteLocker &) = delete;

        void unlock();
        void relock();

    private:
        bool m_locked = false;
    };

    static Settings *instance();

    // A consistent copy of the whole record, safe to call from any thread.
    static Settings snapshot();
    // A copy of one group of the record, taken under the read lock: the cheap form of
    // snapshot() for code that reads one group per sample.
    template<typename Group>
    static Group groupSnapshot(Group Settings::*group)
    {
        Settings *record = instance();
        const ReadLocker locker;
        return record->*group;
    }
    // Write access for the GUI thread: hold the returned locker while changing members.
    static WriteLocker writeLocker();
    // Applies a change under the write lock and saves the record; false when the save failed.
    static bool modify(const std::function<void(Settings &)> &change);

    Settings(const Settings &other) = default;
    Settings &operator=(const Settings &other) = default;
    ~Settings() = default;

    // Writes every member to settings.ini. A file that cannot be written is logged (ERROR) and
    // gives false; the record in memory stays as it is.
    bool save();

    // Reads a record from an INI file, with every default for a missing key and every value
    // brought into its valid range. The loading constructor reads "settings.ini" this way. A
    // line that is not INI is left out and logged (WARNING).
    static Settings readFile(const QString &fileName);
    // Writes every member to an INI file in the order the program always writes them; false
    // when the file could not be written. A line of the old file that is not INI is dropped and
    // is no failure.
    bool writeFile(const QString &fileName) const;

    // Upper bound for the list counts read from the file; a damaged count must not make the
    // start-up read millions of keys.
    static constexpr int kMaxStoredListCount = 4096;

    DeviceSettings device;
    CalibrationSettings calibration;
    ServiceSettings service;
    MovementSettings movement;
    ViewSettings view;
    PreferencesSettings preferences;
    QStringList controllers;
    QList<ConsoleParams> consoles;
    QString current_controller_name = QStringLiteral("No name");
    ConsoleParams current_console;

private:
    // The defaults of every member; the instance is then loaded from settings.ini.
    Settings();

    // The read lock, taken unless the calling thread holds the write lock (which excludes every
    // other writer, so that thread may read as it is).
    class ReadLocker
    {
    public:
        ReadLocker();
        ~ReadLocker();
        ReadLocker(const ReadLocker &) = delete;
        ReadLocker &operator=(const ReadLocker &) = delete;

    private:
        bool m_locked = false;
    };

    // Reads every key of the file (see storedKeys in the source), with its default and range.
    void load(const QString &fileName);
    void reconcileParameterLists();
    static QReadWriteLock &lock();
};
