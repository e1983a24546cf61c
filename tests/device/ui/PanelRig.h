#pragma once

#include "core/Settings.h"
#include "device/DevicePort.h"
#include "device/ui/DeviceControlWidget.h"
#include "device/ui/KeyReceiver.h"
#include "support/SimulatedInstrument.h"
#include "support/TempSettings.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QtTest>

#include <functional>
#include <memory>

namespace testsupport {

constexpr int kWaitMs = 8000;

// A main window ("MainWindow") holding a device panel that is connected to a simulated
// instrument on a pseudo-terminal, with fresh settings.
struct PanelRig
{
    std::unique_ptr<TempSettings> settings;
    std::unique_ptr<SimulatedInstrument> sim;
    std::unique_ptr<QWidget> window;
    DeviceControlWidget *panel = nullptr;
    QStringList panelSignals;

    ~PanelRig()
    {
        window.reset();
        sim.reset();
        qunsetenv(DevicePort::kPortsVariable);
        settings.reset();
    }

    // Builds the panel with settings changed by preset; without an instrument the panel's
    // port search finds nothing.
    void build(const std::function<void(Settings &)> &preset, bool withInstrument,
               SimulatedInstrument::Kind kind = SimulatedInstrument::Profilometer)
    {
        settings = std::make_unique<TempSettings>(preset);
        if (withInstrument) {
            sim = std::make_unique<SimulatedInstrument>(kind);
            qputenv(DevicePort::kPortsVariable, sim->linkPath().toLocal8Bit());
        } else {
            qputenv(DevicePort::kPortsVariable, QByteArray("/nonexistent/tty-of-the-test"));
        }
        window = std::make_unique<QWidget>();
        window->setObjectName(QStringLiteral("MainWindow"));
        window->resize(460, 480);
        auto *layout = new QVBoxLayout(window.get());
        panel = new DeviceControlWidget(window.get());
        layout->addWidget(panel);
        QObject::connect(panel, &DeviceControlWidget::lockButtons,
                         [this] { panelSignals << QStringLiteral("lock"); });
        QObject::connect(panel, &DeviceControlWidget::unlockButtons,
                         [this] { panelSignals << QStringLiteral("unlock"); });
    }

    // Builds the panel on a simulated instrument of that kind and waits until the instrument has
    // been identified and set up; the commands of the start-up are then forgotten.
    bool connect(
        SimulatedInstrument::Kind kind,
        const std::function<void(Settings &)> &preset = [](Settings &) {})
    {
        const bool profilometer = kind == SimulatedInstrument::Profilometer;
        build(
            [&](Settings &s) {
                s.device.device_type = profilometer ? PROFILE : CONTOUR;
                preset(s);
            },
            true, kind);
        if (!sim->isValid())
            return false;
        const int state = profilometer ? Device::POSITION : Device::CONTOUR_PACKET;
        QDeadlineTimer deadline(kWaitMs);
        while (
            !deadline.hasExpired()
            && !(panel->device.replyState == state && sim->received.contains("CM") && sim->idle()))
            QTest::qWait(5);
        // The last command of the start-up is the speed.
        while (!deadline.hasExpired()
               && !sim->received.endsWith(
                   (profilometer ? "PS" : "SX")
                   + QByteArray::number(Settings::instance()->movement.current_speed)))
            QTest::qWait(5);
        if (deadline.hasExpired())
            return false;
        clearCommands();
        return true;
    }

    void clearCommands()
    {
        sim->received.clear();
        sim->commands.clear();
    }

    // Waits until the instrument has received the command count times.
    bool waitForCommand(const QByteArray &command, int count = 1, int timeoutMs = kWaitMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (sim->count(command) < count && !deadline.hasExpired())
            QTest::qWait(2);
        return sim->count(command) >= count;
    }

    template<typename T = QPushButton>
    T *child(const char *name) const
    {
        return panel->findChild<T *>(QString::fromLatin1(name));
    }
    QPushButton *button(const char *name) const { return child<QPushButton>(name); }
};

} // namespace testsupport
