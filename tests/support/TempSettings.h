#pragma once

#include "core/Settings.h"

#include <QString>
#include <QVariant>

#include <functional>

namespace testsupport {

// The one reset of the settings for tests: the process's record (`Settings::instance()`) gets the
// defaults of a first start, and settings.ini of the working directory is deleted, as in a
// folder where the program never ran. TempSettings does this and puts the previous record back
// afterwards; a test that wants the defaults for each test function calls this in init().
void resetSettings();

// Gives a test a fresh settings record and settings file, and puts the previous record back when
// it goes out of scope.
//
// The record (`Settings::instance()`) is loaded once per process; the fixture replaces its
// contents with the defaults (as read from a missing settings.ini), optionally changed by a
// preset, which is saved to settings.ini in the working directory (each test executable runs in
// its own scratch folder). `stored(key)` reads what the program saved, so a test checks "the
// setting saved" against the file, not the record:
//
//     TempSettings settings([](Settings &s) { s.device.device_type = CONTOUR; });
//     ...
//     QCOMPARE(settings.stored("movement/current_speed").toInt(), 2);
class TempSettings
{
public:
    TempSettings();
    explicit TempSettings(const std::function<void(Settings &)> &preset);
    ~TempSettings();
    TempSettings(const TempSettings &) = delete;
    TempSettings &operator=(const TempSettings &) = delete;

    Settings *operator->() const { return Settings::instance(); }
    Settings &record() const { return *Settings::instance(); }

    // Changes the record and saves it, as the program's own writers do.
    void change(const std::function<void(Settings &)> &change);
    // The value settings.ini holds for "group/key" (invalid when the key is absent).
    QVariant stored(const QString &key) const;
    // True when settings.ini exists (something was saved).
    bool saved() const;
    // Deletes settings.ini without touching the record (to see whether a later step saves).
    void forgetFile();

    static QString fileName();

private:
    Settings m_previous;
};

} // namespace testsupport
