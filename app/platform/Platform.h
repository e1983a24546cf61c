#pragma once

class QString;

// What the program sets up once at start-up, before its first window (main does it, and so does
// every GUI test): setupPlatform() runs all of the steps below.
void setupPlatform();

// Russian/Russia as the default locale of every widget: numbers are shown and typed with the
// decimal comma. Trace files and settings.ini do not use the locale (they write the C form).
void applyRussianLocale();

// The forms ask for the Windows logical font "MS Shell Dlg 2"; it is mapped to an installed font
// with Cyrillic letters. Returns the family chosen (empty when none of the candidates is
// installed, in which case the toolkit's default font is used). "Monospace" is left to
// fontconfig.
QString substituteWindowsFonts();

// Registers the compiled-in icons (":/icons/icons/..."). Done before main by a static
// initialiser; calling it again does nothing. Returns 1.
int initIconResources();
// Unregisters the icons; the matching exit-time step. Returns 1.
int cleanupIconResources();
