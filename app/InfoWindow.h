#pragma once

#include <QDialog>

// The About window: the program's version for the kind of instrument named in the settings (the
// profilometer's own version for device kinds 2 and 3), a developer credit and a contact line.
// Fixed size, modal; the main window opens a new one each time.
class InfoWindow : public QDialog
{
    Q_OBJECT

public:
    explicit InfoWindow(QWidget *parent = nullptr);

    // The version shown for a device kind.
    static QString versionText(int deviceType);

private:
    void setupLayout();
};
