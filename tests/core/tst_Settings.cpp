#include "core/Constants.h"
#include "core/Logger.h"
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "core/TraceReadChains.h"
#include "processing/MaterialRatio.h"
#include "processing/PostProcessors.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"

#include <QSemaphore>
#include <QSettings>
#include <QtConcurrent>

#include <atomic>
#include <thread>

class TestSettings : public QObject
{
    Q_OBJECT

private:
    static void writeIni(const QString &path, const QVector<QPair<QString, QVariant>> &values)
    {
        QSettings file(path, QSettings::IniFormat);
        for (const auto &entry : values)
            file.setValue(entry.first, entry.second);
        file.sync();
    }

    static QByteArray fileBytes(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A record in which every member differs from its default and stays within its range.
    static void changeEveryMember(Settings &s)
    {
        CalibrationSettings &c = s.calibration;
        c.tool_head_radius_down = 1.5;
        c.tool_head_radius_up = 2.25;
        c.double_sided_probe_high = 3.125;
        c.needle_bias = -0.5;
        c.rack_prpendicular = 0.1;
        c.reference_ball_radius = 12.7;
        c.roughness_reference_value = 3.2;
        c.roughness_ratio = 5.5;
        c.calibration_Ra_value = 0.8;
        c.x_axis_compression_ratio = 1.000123456789;
        c.y_axis_compression_ratio = 0.99;
        c.displacement_coefficient = 1e-7;
        c.upload_device_settings = true;
        c.non_linearity_data = QStringLiteral("1\t2; 3=4 [a] \"кавычки\" #x");
        DeviceSettings &d = s.device;
        d.alternative_managment = true;
        d.power_pressing = 4;
        d.spinbox_filter_length_index = 3;
        d.trace_length = 12;
        d.measurement_mode = 2;
        d.device_type = 0;
        ServiceSettings &v = s.service;
        v.default_trace_file_name = QStringLiteral("Вал, 7/8");
        v.factory_name = QStringLiteral("Завод «Калибр» №1");
        v.demo_regime = true;
        v.test_sensor_mode = true;
        v.scale_x_resolution = 3;
        v.scale_z_resolution = 4;
        v.scale_r_resolution = 5;
        v.is_developer_mode = true;
        v.is_disabled_gauss_filter = false;
        v.is_disabled_radius_elimination = false;
        v.sensor_number = 17;
        s.movement.needle_pressing = MovementSettings::E_PRESSING_UP;
        s.movement.current_speed = 2;
        s.movement.mm_per_rotation = 0.75;
        s.view.angles_in_deg = true;
        s.view.axis_unit = 2;
        PreferencesSettings &p = s.preferences;
        p.alternative_measurement = true;
        p.meadian_filter = true;
        p.thread_angle_compensation = true;
        p.base_filter = true;
        p.meadian_filter_value = 7;
        p.thread_angle_compensation_value = 55.5;
        p.histogramm_density_value = 25;
        p.enabled_params = {{0, QStringLiteral("Rz")}, {1, QStringLiteral("Ra")}};
        p.enabled_params_count = 2;
        p.disabled_params.clear();
        for (const QString &name : kParameterIndexNames) {
            if (name != QLatin1String("Ra") && name != QLatin1String("Rz"))
                p.disabled_params.insert(p.disabled_params.size(), name);
        }
        p.disabled_params_count = p.disabled_params.size();
        p.standartisation_value = 1;
        p.is_ask_before_change_filter = false;
        p.profile_filter_mode = 2;
        p.is_accept_filter = false;
        p.inscribed_circle_radius_measurement = 2.5;
        p.graph_color = QStringLiteral("#112233");
        p.selected_graph_color = QStringLiteral("#445566");
        p.visual_objects_color = QStringLiteral("#778899");
        p.non_linearity = true;
        p.save_trace_folder = QStringLiteral("/home/оператор/профили/");
        p.save_report_folder = QStringLiteral("C:/Отчёты/");
        s.controllers = QStringList {QStringLiteral("Иванов"), QStringLiteral("Петров П.П.")};
        s.current_controller_name = QStringLiteral("Петров П.П.");
        ConsoleParams first;
        first.name = QStringLiteral("Консоль А");
        first.tool_head_radius_down = 2.0;
        first.tool_head_radius_up = 3.0;
        first.double_sided_probe_high = 4.0;
        first.needle_bias = 0.25;
        first.roughness_ratio = 6.0;
        ConsoleParams second = first;
        second.name = QStringLiteral("Консоль Б");
        second.tool_head_radius_down = 9.5;
        s.consoles = {first, second};
        s.current_console = second;
    }

private slots:
    void defaultsWithoutFile()
    {
        testsupport::ScratchDir scratch;
        const Settings s = Settings::readFile(scratch.filePath("settings.ini"));
        QCOMPARE(s.preferences.enabled_params_count, 1);
        QCOMPARE(s.preferences.enabled_params.value(0), QStringLiteral("Ra"));
        QCOMPARE(s.preferences.disabled_params_count, 56);
        QCOMPARE(s.preferences.disabled_params.values().toVector(), kParameterIndexNames);
        QCOMPARE(s.device.spinbox_filter_length_index, 1);
        QCOMPARE(s.device.device_type, 2);
        QCOMPARE(s.calibration.reference_ball_radius, 15.875);
        QCOMPARE(s.service.default_trace_file_name, QStringLiteral("Деталь"));
        QCOMPARE(s.service.is_disabled_gauss_filter, true);
        QCOMPARE(s.movement.needle_pressing, MovementSettings::E_PRESSING_DOWN);
        QCOMPARE(s.preferences.graph_color, QStringLiteral("#0048ba"));
        QCOMPARE(s.current_controller_name, QStringLiteral("No name"));
        QCOMPARE(s.current_console.name, QStringLiteral("No console"));
        QCOMPARE(s.current_console.double_sided_probe_high, 22.0);
        QVERIFY(s.controllers.isEmpty());
        QVERIFY(s.consoles.isEmpty());
    }

    void parameterNamesAreExact()
    {
        QCOMPARE(kParameterIndexNames.size(), 56);
        QCOMPARE(kParameterIndexNames.at(14), QString::fromUtf8("R\u0394q(\u0394q)"));
        QCOMPARE(kParameterIndexNames.at(21), QString::fromUtf8("\u03bbq"));
        QCOMPARE(kParameterIndexNames.at(23), QString::fromUtf8("\u03b7p"));
        QCOMPARE(kParameterIndexNames.at(19), QStringLiteral("L0"));
        QCOMPARE(kParameterIndexNames.at(20), QStringLiteral("l0"));
        QCOMPARE(kParameterIndexNames.last(), QString::fromUtf8("P\u0394a"));
    }

    void saveWritesEveryKeyOfADefaultRecord()
    {
        testsupport::ScratchDir scratch;
        const QString path = scratch.filePath("settings.ini");
        Settings::readFile(path).writeFile(path);
        const QSettings file(path, QSettings::IniFormat);
        const QStringList keys = file.allKeys();
        // 14 calibration, 6 device, 11 service, 2 view, 20 preferences scalars, 1 + 56 list
        // entries, controllers count + current, consoles count + current, 3 movement.
        QCOMPARE(keys.size(), 14 + 6 + 11 + 2 + 20 + 1 + 56 + 2 + 2 + 3);
        QCOMPARE(file.value("preferenses/enabled_0").toString(), QStringLiteral("Ra"));
        QCOMPARE(file.value("preferenses/disabled_55").toString(), QString::fromUtf8("P\u0394a"));
        QCOMPARE(file.value("controllers/count").toString(), QStringLiteral("0"));
        QCOMPARE(file.value("consoles/count").toString(), QStringLiteral("0"));
        QCOMPARE(file.value("consoles/current_console").toString(), QStringLiteral("No console"));
        QCOMPARE(file.value("controllers/current_controller_name").toString(),
                 QStringLiteral("No name"));
        QVERIFY(file.contains("servise/is_disabled_radius_elimination"));
        QVERIFY(file.contains("calibration/rack_prpendicular"));
        QVERIFY(file.contains("preferenses/meadian_filter_value"));
    }

    // The file the program writes, byte for byte: from the defaults, from a record in which every
    // member differs from its default, and over an older file whose keys the record does not
    // hold (saving removes no key). A record read from such a file writes the same bytes again.
    void writtenFileIsByteExact_data()
    {
        QTest::addColumn<QString>("golden");
        QTest::addColumn<QByteArray>("older");
        QTest::addColumn<bool>("changed");
        QTest::newRow("defaults") << "defaults.ini" << QByteArray() << false;
        QTest::newRow("every member changed") << "every_member.ini" << QByteArray() << true;
        QTest::newRow("over an older file")
            << "over_older_file.ini"
            << QByteArray("[device]\ndevice_type=0\nold_key=5\n\n[controllers]\ncount=6\n"
                          "c_5=Сидоров\n\n[elsewhere]\nvalue=1\n")
            << true;
    }
    void writtenFileIsByteExact()
    {
        QFETCH(QString, golden);
        QFETCH(QByteArray, older);
        QFETCH(bool, changed);
        testsupport::ScratchDir scratch;
        const QString path = scratch.filePath("settings.ini");
        if (!older.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(older);
        }
        Settings s = Settings::readFile(scratch.filePath("missing.ini"));
        if (changed)
            changeEveryMember(s);
        QVERIFY(s.writeFile(path));
        const QByteArray expected
            = fileBytes(QStringLiteral(TEST_FIXTURES_DIR "/settings/") + golden);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(fileBytes(path), expected);

        // Loading walks the same keys: what was read writes the same file over itself.
        QVERIFY(Settings::readFile(path).writeFile(path));
        QCOMPARE(fileBytes(path), expected);
    }

    // A line that is not INI (a hand edit, a damaged file) is logged once when the file is read,
    // and left out. A save over a file that holds such a line (edited while the program runs)
    // writes the file and is a success.
    void lineThatIsNotIniSpoilsNoSave_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("text without '='") << QByteArray("some words");
        QTest::newRow("section without ']'") << QByteArray("[device");
        QTest::newRow("control characters") << QByteArray("\x01\x02");
    }
    void lineThatIsNotIniSpoilsNoSave()
    {
        QFETCH(QByteArray, line);
        const QString logPath
            = QFileInfo(QString::fromStdString(logger.filePath())).absoluteFilePath();
        const qint64 logStart = QFileInfo(logPath).size();
        testsupport::ScratchDir scratch;
        const QString path = scratch.filePath("settings.ini");
        Settings s = Settings::readFile(scratch.filePath("missing.ini"));
        QVERIFY(s.writeFile(path));
        QByteArray damaged = fileBytes(path);
        damaged.replace("[device]\n", "[device]\n" + line + "\n");
        const auto damage = [&path, &damaged] {
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(damaged) == damaged.size();
        };

        QVERIFY(damage());
        QCOMPARE(Settings::readFile(path).device.device_type, 2);
        QFile log(logPath);
        QVERIFY(log.open(QIODevice::ReadOnly));
        log.seek(logStart);
        const QByteArray logged = log.readAll();
        QCOMPARE(logged.count("is not an INI line"), 1);
        const int number = damaged.left(damaged.indexOf("\n" + line + "\n") + 1).count('\n') + 1;
        QVERIFY2(logged.contains("WARNING: settings.ini line " + QByteArray::number(number)
                                 + " is not an INI line and is left out"),
                 logged.constData());

        for (int i = 0; i < 3; ++i) {
            QVERIFY(damage());
            s.service.sensor_number = 10 + i;
            QVERIFY2(s.writeFile(path), qPrintable(QString::number(i)));
            QVERIFY(!fileBytes(path).split('\n').contains(line));
            QCOMPARE(Settings::readFile(path).service.sensor_number, 10 + i);
        }
    }

    void saveLoadRoundTrip()
    {
        testsupport::ScratchDir scratch;
        const QString path = scratch.filePath("settings.ini");
        Settings s = Settings::readFile(path);
        s.calibration.tool_head_radius_down = 12.345678901234;
        s.calibration.non_linearity_data = QStringLiteral("1 2; 3 4, произвольный текст");
        s.calibration.upload_device_settings = true;
        s.device.device_type = 0;
        s.device.spinbox_filter_length_index = 3;
        s.service.factory_name = QStringLiteral("Завод «Калибр» №1");
        s.service.default_trace_file_name = QStringLiteral("Вал 7/8");
        s.movement.needle_pressing = MovementSettings::E_PRESSING_UP;
        s.movement.mm_per_rotation = 0.5;
        s.view.axis_unit = 2;
        s.preferences.graph_color = QStringLiteral("#123456");
        s.preferences.save_trace_folder = QStringLiteral("/home/оператор/профили");
        s.controllers = QStringList {QStringLiteral("Иванов"), QStringLiteral("Петров")};
        s.current_controller_name = QStringLiteral("Петров");
        ConsoleParams console;
        console.name = QStringLiteral("Консоль А");
        console.tool_head_radius_up = 7.5;
        console.roughness_ratio = 3.25;
        s.consoles = {console};
        s.current_console = console;
        s.writeFile(path);

        const Settings r = Settings::readFile(path);
        QCOMPARE(r.calibration.tool_head_radius_down, 12.345678901234);
        QCOMPARE(r.calibration.non_linearity_data, s.calibration.non_linearity_data);
        QCOMPARE(r.calibration.upload_device_settings, true);
        QCOMPARE(r.device.device_type, 0);
        QCOMPARE(r.device.spinbox_filter_length_index, 3);
        QCOMPARE(r.service.factory_name, s.service.factory_name);
        QCOMPARE(r.service.default_trace_file_name, s.service.default_trace_file_name);
        QCOMPARE(r.movement.needle_pressing, MovementSettings::E_PRESSING_UP);
        QCOMPARE(r.movement.mm_per_rotation, 0.5);
        QCOMPARE(r.view.axis_unit, 2);
        QCOMPARE(r.preferences.graph_color, QStringLiteral("#123456"));
        QCOMPARE(r.preferences.save_trace_folder, s.preferences.save_trace_folder);
        QCOMPARE(r.controllers, s.controllers);
        QCOMPARE(r.current_controller_name, QStringLiteral("Петров"));
        QCOMPARE(r.consoles.size(), 1);
        QCOMPARE(r.current_console.name, QStringLiteral("Консоль А"));
        QCOMPARE(r.current_console.tool_head_radius_up, 7.5);
        QCOMPARE(r.current_console.roughness_ratio, 3.25);
        QCOMPARE(r.preferences.enabled_params, s.preferences.enabled_params);
        QCOMPARE(r.preferences.disabled_params, s.preferences.disabled_params);
    }

    void reconciliation_data()
    {
        QTest::addColumn<QStringList>("enabled");
        QTest::addColumn<QStringList>("disabled");
        QTest::addColumn<QStringList>("expectedEnabled");
        QTest::addColumn<QStringList>("expectedDisabled");

        QStringList allButRa
            = QList<QString>(kParameterIndexNames.begin() + 1, kParameterIndexNames.end());
        QTest::newRow("complete lists stay")
            << QStringList {"Ra"} << allButRa << QStringList {"Ra"} << allButRa;

        QStringList missingTwo = allButRa;
        missingTwo.removeAll("Rz");
        missingTwo.removeAll("PΔa");
        QTest::newRow("missing names appended in index order")
            << QStringList {"Ra"} << missingTwo << QStringList {"Ra"}
            << (missingTwo + QStringList {"Rz", "PΔa"});

        QStringList withUnknown = allButRa;
        withUnknown.insert(3, "Xyz");
        QTest::newRow("unknown name stays")
            << QStringList {"Ra", "Foo"} << withUnknown << QStringList {"Ra", "Foo"} << withUnknown;

        QTest::newRow("empty disabled list gets all missing names")
            << QStringList {"Rz", "Ra"} << QStringList {} << QStringList {"Rz", "Ra"} << [] {
                   QStringList rest;
                   for (const QString &n : kParameterIndexNames)
                       if (n != "Ra" && n != "Rz")
                           rest << n;
                   return rest;
               }();
    }

    void reconciliation()
    {
        QFETCH(QStringList, enabled);
        QFETCH(QStringList, disabled);
        QFETCH(QStringList, expectedEnabled);
        QFETCH(QStringList, expectedDisabled);

        testsupport::ScratchDir scratch;
        const QString path = scratch.filePath("settings.ini");
        QVector<QPair<QString, QVariant>> values;
        values.append({"preferenses/enabled_params_count", enabled.size()});
        values.append({"preferenses/disabled_params_count", disabled.size()});
        for (int i = 0; i < enabled.size(); ++i)
            values.append({QStringLiteral("preferenses/enabled_%1").arg(i), enabled.at(i)});
        for (int i = 0; i < disabled.size(); ++i)
            values.append({QStringLiteral("preferenses/disabled_%1").arg(i), disabled.at(i)});
        writeIni(path, values);

        const Settings s = Settings::readFile(path);
        QCOMPARE(QStringList(s.preferences.enabled_params.values()), expectedEnabled);
        QCOMPARE(QStringList(s.preferences.disabled_params.values()), expectedDisabled);
        QCOMPARE(s.preferences.disabled_params.lastKey(), expectedDisabled.size() - 1);
        QCOMPARE(s.preferences.enabled_params_count, expectedEnabled.size());
        QCOMPARE(s.preferences.disabled_params_count, expectedDisabled.size());
    }

    void lastMatchingConsoleWins()
    {
        testsupport::ScratchDir scratch;
        const QString path = scratch.filePath("settings.ini");
        writeIni(path,
                 {{"consoles/count", 3},
                  {"consoles/current_console", "Б"},
                  {"consoles/p_0", "Б"},
                  {"consoles/p_0/tool_head_radius_down", 1.0},
                  {"consoles/p_1", "В"},
                  {"consoles/p_1/tool_head_radius_down", 2.0},
                  {"consoles/p_2", "Б"},
                  {"consoles/p_2/tool_head_radius_down", 3.0},
                  {"consoles/p_2/needle_bias", 0.25}});
        const Settings s = Settings::readFile(path);
        QCOMPARE(s.consoles.size(), 3);
        QCOMPARE(s.current_console.name, QStringLiteral("Б"));
        QCOMPARE(s.current_console.tool_head_radius_down, 3.0);
        QCOMPARE(s.current_console.needle_bias, 0.25);
        QCOMPARE(s.current_console.tool_head_radius_up, 20.0);
    }

    void unmatchedCurrentConsoleKeepsDefaults()
    {
        testsupport::ScratchDir scratch;
        const QString path = scratch.filePath("settings.ini");
        writeIni(path,
                 {{"consoles/count", 1},
                  {"consoles/current_console", "нет такой"},
                  {"consoles/p_0", "А"},
                  {"consoles/p_0/tool_head_radius_down", 1.0}});
        const Settings s = Settings::readFile(path);
        QCOMPARE(s.current_console.name, QStringLiteral("нет такой"));
        QCOMPARE(s.current_console.tool_head_radius_down, 20.0);
    }

    void shrunkListLeavesStaleKeyUnread()
    {
        testsupport::ScratchDir scratch;
        const QString path = scratch.filePath("settings.ini");
        Settings s = Settings::readFile(path);
        s.controllers = QStringList {"a", "b", "c"};
        s.writeFile(path);
        s.controllers.removeLast();
        s.writeFile(path);
        QCOMPARE(QSettings(path, QSettings::IniFormat).value("controllers/c_2").toString(),
                 QStringLiteral("c"));
        QCOMPARE(Settings::readFile(path).controllers, (QStringList {"a", "b"}));
    }

    // Enumerations keep the value the file holds (their readers know what an unknown value
    // means); an index into a table that no such rule covers falls back to its key's default.
    void outOfRangeValues_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("member");
        QTest::addColumn<double>("expected");

        QTest::newRow("filter index high")
            << "device/spinbox_filter_length_index" << QVariant(9) << "filterIndex" << 1.0;
        QTest::newRow("filter index just past the table")
            << "device/spinbox_filter_length_index" << QVariant(5) << "filterIndex" << 1.0;
        QTest::newRow("filter index negative")
            << "device/spinbox_filter_length_index" << QVariant(-3) << "filterIndex" << 1.0;
        QTest::newRow("filter index text")
            << "device/spinbox_filter_length_index" << QVariant("abc") << "filterIndex" << 0.0;
        QTest::newRow("filter index last entry")
            << "device/spinbox_filter_length_index" << QVariant(4) << "filterIndex" << 4.0;
        QTest::newRow("median window zero")
            << "preferenses/meadian_filter_value" << QVariant(0) << "median" << 1.0;
        QTest::newRow("median window negative")
            << "preferenses/meadian_filter_value" << QVariant(-7) << "median" << 1.0;
        QTest::newRow("device type 7")
            << "device/device_type" << QVariant(7) << "deviceType" << 7.0;
        QTest::newRow("device type 17")
            << "device/device_type" << QVariant(17) << "deviceType" << 17.0;
        QTest::newRow("measurement mode")
            << "device/measurement_mode" << QVariant(-1) << "measurementMode" << -1.0;
        QTest::newRow("axis unit") << "view/axis_unit" << QVariant(5) << "axisUnit" << 5.0;
        QTest::newRow("standard") << "preferenses/standartisation_value" << QVariant(2)
                                  << "standard" << 2.0;
        QTest::newRow("profile mode 3")
            << "preferenses/profile_filter_mode" << QVariant(3) << "profileMode" << 3.0;
        QTest::newRow("profile mode 5")
            << "preferenses/profile_filter_mode" << QVariant(5) << "profileMode" << 5.0;
        QTest::newRow("speed high") << "movement/current_speed" << QVariant(8) << "speed" << 0.0;
        QTest::newRow("speed negative")
            << "movement/current_speed" << QVariant(-1) << "speed" << 0.0;
        QTest::newRow("speed last entry")
            << "movement/current_speed" << QVariant(3) << "speed" << 3.0;
        QTest::newRow("pressing") << "movement/needle_pressing" << QVariant(5) << "pressing" << 1.0;
        QTest::newRow("density") << "preferenses/histogramm_density_value" << QVariant(0)
                                 << "density" << 1.0;
        QTest::newRow("non-finite radius")
            << "calibration/tool_head_radius_down" << QVariant("nan") << "radius" << 20.0;
        QTest::newRow("infinite ratio")
            << "calibration/tool_head_radius_down" << QVariant("inf") << "radius" << 20.0;
        QTest::newRow("valid value kept")
            << "device/spinbox_filter_length_index" << QVariant(2) << "filterIndex" << 2.0;
    }

    void outOfRangeValues()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QString, member);
        QFETCH(double, expected);

        testsupport::ScratchDir scratch;
        const QString path = scratch.filePath("settings.ini");
        writeIni(path, {{key, stored}});
        const Settings s = Settings::readFile(path);
        const QMap<QString, double> members {
            {"filterIndex", s.device.spinbox_filter_length_index},
            {"median", s.preferences.meadian_filter_value},
            {"deviceType", s.device.device_type},
            {"measurementMode", s.device.measurement_mode},
            {"axisUnit", s.view.axis_unit},
            {"standard", s.preferences.standartisation_value},
            {"profileMode", s.preferences.profile_filter_mode},
            {"speed", s.movement.current_speed},
            {"pressing", s.movement.needle_pressing},
            {"density", s.preferences.histogramm_density_value},
            {"radius", s.calibration.tool_head_radius_down},
        };
        QVERIFY(members.contains(member));
        QCOMPARE(members.value(member), expected);
    }

    // The readers of an enumeration give a value they do not know their own meaning instead of
    // a neighbouring valid choice.
    void unknownEnumerationValuesMeanWhatTheirReadersSay()
    {
        testsupport::ScratchDir scratch;
        const QString path = scratch.filePath("settings.ini");
        writeIni(path,
                 {{"device/device_type", 7},
                  {"preferenses/profile_filter_mode", 5},
                  {"preferenses/standartisation_value", 2}});
        const Settings s = Settings::readFile(path);
        QCOMPARE(windowTitleForDeviceType(s.device.device_type), QStringLiteral("Корване"));
        QCOMPARE(Algos::standardCutOff(1.0, s.preferences.standartisation_value), 0);
        ProfileTrace child;
        addAdditionalTraceChain(child, s);
        for (const IDataPostProcessor *processor : qAsConst(child.postProcessors)) {
            QVERIFY(!dynamic_cast<const FilterRoughnessProfileProcessor *>(processor));
            QVERIFY(!dynamic_cast<const FilterWaveProfileProcessor *>(processor));
        }
        QVERIFY(dynamic_cast<const YZeronator *>(child.postProcessors.last()));
    }

    // A list count beyond the entries the file holds (a damaged count) takes the entries it
    // holds, from the first on: no nameless entries are made, and a save writes back only what
    // was there. A count within the entries still governs (stale entries stay unread).
    void listCountsBeyondTheEntries_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("gapAt");
        QTest::addColumn<int>("expected");
        QTest::newRow("99 999 999 for two") << 99999999 << 2 << -1 << 2;
        QTest::newRow("a billion for none") << 1000000000 << 0 << -1 << 0;
        QTest::newRow("five, the third missing") << 5 << 5 << 2 << 2;
        QTest::newRow("two of three") << 2 << 3 << -1 << 2;
        QTest::newRow("negative") << -5 << 3 << -1 << 0;
    }
    void listCountsBeyondTheEntries()
    {
        QFETCH(int, count);
        QFETCH(int, entries);
        QFETCH(int, gapAt);
        QFETCH(int, expected);
        testsupport::ScratchDir scratch;
        const QString path = scratch.filePath("settings.ini");
        QVector<QPair<QString, QVariant>> values {{"controllers/count", count},
                                                  {"consoles/count", count},
                                                  {"preferenses/enabled_params_count", count}};
        const QStringList names {"Ra", "Rz", "Rq", "Rp", "Rv"};
        for (int i = 0; i < entries; ++i) {
            if (i == gapAt)
                continue;
            values.append(
                {QStringLiteral("controllers/c_%1").arg(i), QStringLiteral("К%1").arg(i)});
            values.append({QStringLiteral("consoles/p_%1").arg(i), QStringLiteral("П%1").arg(i)});
            values.append({QStringLiteral("consoles/p_%1/needle_bias").arg(i), i + 0.5});
            values.append({QStringLiteral("preferenses/enabled_%1").arg(i), names.at(i)});
        }
        writeIni(path, values);
        QElapsedTimer timer;
        timer.start();
        const Settings s = Settings::readFile(path);
        QVERIFY(timer.elapsed() < 20000);
        QCOMPARE(s.controllers.size(), expected);
        QCOMPARE(s.consoles.size(), expected);
        QCOMPARE(s.preferences.enabled_params_count, expected);
        for (int i = 0; i < expected; ++i) {
            QCOMPARE(s.controllers.at(i), QStringLiteral("К%1").arg(i));
            QCOMPARE(s.consoles.at(i).name, QStringLiteral("П%1").arg(i));
            QCOMPARE(s.consoles.at(i).needle_bias, i + 0.5);
            QCOMPARE(s.preferences.enabled_params.value(i), names.at(i));
        }

        // Saved back, the file states what it holds.
        const QString saved = scratch.filePath("saved.ini");
        QVERIFY(s.writeFile(saved));
        QVERIFY2(QFileInfo(saved).size() < 8192,
                 qPrintable(QString::number(QFileInfo(saved).size())));
        const QSettings file(saved, QSettings::IniFormat);
        QCOMPARE(file.value("controllers/count").toInt(), expected);
        QCOMPARE(file.value("consoles/count").toInt(), expected);
        QCOMPARE(file.value("preferenses/enabled_params_count").toInt(), expected);
    }

    void instanceLoadsWorkingDirectoryFileOnce()
    {
        // The test's working directory is a fresh scratch folder.
        writeIni(QStringLiteral("settings.ini"), {{"servise/factory_name", "Первый"}});
        Settings *first = Settings::instance();
        QCOMPARE(first->service.factory_name, QStringLiteral("Первый"));
        writeIni(QStringLiteral("settings.ini"), {{"servise/factory_name", "Второй"}});
        QCOMPARE(Settings::instance(), first);
        QCOMPARE(Settings::instance()->service.factory_name, QStringLiteral("Первый"));

        Settings::modify([](Settings &s) { s.service.factory_name = QStringLiteral("Третий"); });
        QCOMPARE(Settings::readFile(QStringLiteral("settings.ini")).service.factory_name,
                 QStringLiteral("Третий"));
    }

    // The writer's own pattern: lock, change, save, read a snapshot, change again through
    // modify. A deadlock shows as a writer that never finishes.
    void writerMaySaveWhileHoldingTheLock()
    {
        QSemaphore done;
        std::atomic<bool> saved {false};
        std::atomic<bool> modified {false};
        std::thread writer([&] {
            {
                const auto locker = Settings::writeLocker();
                Settings::instance()->service.factory_name = QStringLiteral("Под замком");
                saved = Settings::instance()->save();
                const Settings copy = Settings::snapshot();
                const ServiceSettings service = Settings::groupSnapshot(&Settings::service);
                modified = copy.service.factory_name == service.factory_name
                    && Settings::modify([](Settings &s) { s.service.sensor_number = 42; });
            }
            done.release();
        });
        const bool finished = done.tryAcquire(1, 10000);
        if (!finished) {
            writer.detach();
            QFAIL("the writer is still waiting for its own lock");
        }
        writer.join();
        QVERIFY(saved);
        QVERIFY(modified);
        const Settings stored = Settings::readFile(QStringLiteral("settings.ini"));
        QCOMPARE(stored.service.factory_name, QStringLiteral("Под замком"));
        QCOMPARE(stored.service.sensor_number, 42);
    }

    // A nested locker leaves the outer one holding the lock: a reader on another thread waits
    // until the outer locker lets go.
    void nestedLockerKeepsTheOuterLock()
    {
        auto outer = Settings::writeLocker();
        {
            const auto inner = Settings::writeLocker();
            Settings::instance()->service.sensor_number = 7;
        }
        QFuture<int> reader
            = QtConcurrent::run([] { return Settings::snapshot().service.sensor_number; });
        QTest::qWait(100);
        QVERIFY(!reader.isFinished());
        Settings::instance()->service.sensor_number = 8;
        outer.unlock();
        QCOMPARE(reader.result(), 8);
    }

    void failedSaveIsReportedAndLogged()
    {
        Settings::instance();
        // A folder in the place of the file: nothing can be written there, whoever runs the test.
        QFile::remove(QStringLiteral("settings.ini"));
        QVERIFY(QDir().mkdir(QStringLiteral("settings.ini")));
        const bool saved = Settings::instance()->save();
        const bool modified = Settings::modify([](Settings &s) { s.service.sensor_number = 3; });
        QVERIFY(QDir().rmdir(QStringLiteral("settings.ini")));
        QVERIFY(!saved);
        QVERIFY(!modified);
        // The change itself stays in memory.
        QCOMPARE(Settings::instance()->service.sensor_number, 3);
        QFile log(QString::fromStdString(logger.filePath()));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("ERROR: Can't write settings file settings.ini"));
        QVERIFY(Settings::instance()->save());
    }

    // The one reset of the tests gives what a first start in a fresh folder gives.
    void resetGivesTheDefaultsOfAFirstStart()
    {
        Settings::modify([](Settings &s) {
            s.device.device_type = 0;
            s.preferences.enabled_params.insert(1, QStringLiteral("Rz"));
            s.preferences.enabled_params_count = 2;
            s.controllers << QStringLiteral("Иванов");
            s.current_console.name = QStringLiteral("Консоль");
        });
        testsupport::resetSettings();
        QVERIFY(!QFile::exists(QStringLiteral("settings.ini")));
        testsupport::ScratchDir scratch;
        QVERIFY(Settings::instance()->writeFile(scratch.filePath("reset.ini")));
        QVERIFY(Settings::readFile(scratch.filePath("missing.ini"))
                    .writeFile(scratch.filePath("fresh.ini")));
        QFile reset(scratch.filePath("reset.ini"));
        QFile fresh(scratch.filePath("fresh.ini"));
        QVERIFY(reset.open(QIODevice::ReadOnly) && fresh.open(QIODevice::ReadOnly));
        QCOMPARE(reset.readAll(), fresh.readAll());
    }

    void snapshotsOnAWorkerSeeWholeWrites()
    {
        // The worker's copies must always show both members of one change together.
        std::atomic<bool> stop {false};
        std::atomic<int> torn {0};
        QFuture<void> reader = QtConcurrent::run([&] {
            while (!stop.load()) {
                const Settings copy = Settings::snapshot();
                if (copy.calibration.needle_bias != copy.calibration.rack_prpendicular)
                    ++torn;
            }
        });
        for (int i = 0; i < 2000; ++i) {
            const auto locker = Settings::writeLocker();
            Settings::instance()->calibration.needle_bias = i;
            Settings::instance()->calibration.rack_prpendicular = i;
        }
        stop = true;
        reader.waitForFinished();
        QCOMPARE(torn.load(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_Settings.moc"
