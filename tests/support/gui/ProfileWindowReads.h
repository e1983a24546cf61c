#pragma once

#include <QString>

class ProfileAnalisisWidget;

namespace testsupport {

// Waits until the parameters the profile window evaluates on the thread pool are shown; false
// when they are not within waitMs.
bool parametersShown(ProfileAnalisisWidget &window, int waitMs = 20000);

// Reads the file into the window through its data road (a new file provider and a read of the
// kind) and waits for the read's end and its parameters.
bool readIntoWindow(ProfileAnalisisWidget &window, const QString &path, int kind,
                    int waitMs = 20000);

} // namespace testsupport
