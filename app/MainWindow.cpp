#include "MainWindow.h"

#include "InfoWindow.h"
#include "contour/ContourAnalisisWidget.h"
#include "core/Constants.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "core/TraceFileReader.h"
#include "dataproviders/FileDataProvider.h"
#include "device/ui/DeviceControlWidget.h"
#include "device/ui/KeyReceiver.h"
#include "platform/ChosenFile.h"
#include "platform/DialogRunner.h"
#include "platform/Prompts.h"
#include "profile/ProfileAnalisisWidget.h"
#include "settings/SettingsDialog.h"
#include "ui_MainWindow.h"

#include <QCloseEvent>
#include <QDialog>
#include <QFile>
#include <QMenuBar>
#include <QShortcut>
#include <QTabBar>

namespace {

const QString kProfileTabTitle = QStringLiteral("ПРОФИЛЬ");
const QString kMeasurementTabTitle = QStringLiteral("ИЗМЕРЕНИЯ #%1");

// The measuring window of a tab: a contour window on copies of the traces.
AnalisysWidget *createContourWindow(MainWindow *parent, const QVector<AbstractTrace *> &traces)
{
    auto *window = new ContourAnalisisWidget(parent, false);
    window->setTraces(traces);
    return window;
}

MainWindow::MeasurementWindowFactory &measurementWindowFactory()
{
    static MainWindow::MeasurementWindowFactory factory = &createContourWindow;
    return factory;
}

} // namespace

MainWindow::CommandScope::CommandScope(MainWindow *window)
    : m_window(window)
{
    ++m_window->m_runningCommands;
    m_window->applyJogRule();
}

MainWindow::CommandScope::~CommandScope()
{
    --m_window->m_runningCommands;
    m_window->applyJogRule();
}

void MainWindow::setMeasurementWindowFactory(MeasurementWindowFactory factory)
{
    measurementWindowFactory() = factory ? std::move(factory) : &createContourWindow;
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui_MainWindow)
{
    ui->setupUi(this);
    logger.log(INFO, "Start Programm");
    qRegisterMetaType<QVector<AbstractTrace *>>("QVector<AbstractTrace*>");

    profileWidget = new ProfileAnalisisWidget(this);
    connect(this, &MainWindow::settingsChanged, profileWidget,
            &ProfileAnalisisWidget::settingsChanged);
    ui->tabWidget->addTab(profileWidget, kProfileTabTitle);
    updateWindowTitle(Settings::instance()->device.device_type);
    connect(ui->tabWidget, &QTabWidget::currentChanged, this, &MainWindow::onCurrentTabChanged);

    connect(ui->actionProgramInfo, &QAction::triggered, this, &MainWindow::openInfoWindow);
    connect(ui->actionOpenTrace, &QAction::triggered, this, &MainWindow::openNewTrace);
    connect(ui->actionSaveToLocalFormat, &QAction::triggered, this, &MainWindow::saveToLocalFormat);
    connect(ui->actionSaveToPointFormat, &QAction::triggered, this, &MainWindow::saveToPointFormat);
    m_saveShortcut = new QShortcut(QKeySequence(Qt::CTRL + Qt::Key_S), this);
    connect(m_saveShortcut, &QShortcut::activated, this, &MainWindow::saveToLocalFormat);

    connect(profileWidget, SIGNAL(readyForMeasurment(QVector<AbstractTrace *>)), this,
            SLOT(createMeasurmentWidget(QVector<AbstractTrace *>)));

    connect(ui->tabWidget, &QTabWidget::tabCloseRequested, this, &MainWindow::onTabCloseRequested);
    ui->tabWidget->setTabsClosable(true);
    QTabBar *bar = ui->tabWidget->tabBar();
    if (QWidget *closeButton = bar->tabButton(0, QTabBar::RightSide)) {
        closeButton->deleteLater();
        bar->setTabButton(0, QTabBar::RightSide, nullptr);
    }

    connect(ui->actionSettings, &QAction::triggered, this, &MainWindow::openSettings);
    connect(ui->actionPrint, &QAction::triggered, this, &MainWindow::printReport);
    m_printShortcut = new QShortcut(QKeySequence(Qt::CTRL + Qt::Key_P), this);
    connect(m_printShortcut, &QShortcut::activated, this, &MainWindow::printReport);

    connect(profileWidget, &ProfileAnalisisWidget::lockButtons, this, &MainWindow::onLockButtons);
    connect(profileWidget, &ProfileAnalisisWidget::unlockButtons, this,
            &MainWindow::onUnlockButtons);
    connect(profileWidget, &ProfileAnalisisWidget::newDeviceType, this,
            &MainWindow::updateWindowTitle);

    if (profileWidget->keyReceiver)
        qApp->installEventFilter(profileWidget->keyReceiver);
}

MainWindow::~MainWindow()
{
    logger.log(INFO, "End programm");
    if (profileWidget->keyReceiver)
        qApp->removeEventFilter(profileWidget->keyReceiver);
    delete ui;
}

void MainWindow::updateWindowTitle(int deviceType)
{
    setWindowTitle(windowTitleForDeviceType(deviceType));
}

void MainWindow::applyJogRule()
{
    KeyReceiver *receiver = profileWidget ? profileWidget->keyReceiver : nullptr;
    if (!receiver)
        return;
    receiver->blockSignals(ui->tabWidget->currentIndex() != 0 || m_runningCommands > 0);
}

void MainWindow::onCurrentTabChanged(int)
{
    applyJogRule();
}

AnalisysWidget *MainWindow::currentAnalysisWindow() const
{
    return qobject_cast<AnalisysWidget *>(ui->tabWidget->currentWidget());
}

QString MainWindow::chooseTraceFile(QWidget *parent)
{
    const QString path = Prompts::instance()->openFileName(
        parent, QStringLiteral("Открыть трассу"),
        Settings::instance()->preferences.save_trace_folder,
        QStringLiteral("Данные трассы (*.txt | *.igs | *.T46)"));
    if (!path.isEmpty()) {
        Settings::modify([&path](Settings &s) {
            s.preferences.save_trace_folder
                = path.section(QLatin1Char('/'), 0, -2) + QLatin1Char('/');
        });
    }
    return path;
}

void MainWindow::openNewTrace()
{
    QString path;
    {
        CommandScope scope(this);
        path = chooseTraceFile(this);
    }
    if (path.isEmpty())
        return;
    // The first line is read here, on the window's thread: a FIFO, a device or a folder is
    // refused before anything waits on it.
    QFile file(path);
    if (!openChosenFile(this, file))
        return;
    // The kind is read as the file reader reads it, so that both agree on the trace's class;
    // a file without a type line (binary or number columns) is a contour.
    int type = traceTypeOfFirstLine(file);
    file.close();
    if (type < 0)
        type = CONTOUR;
    if (profileWidget->setDataProvider(new FileDataProvider(path)))
        profileWidget->startReading(type);
}

void MainWindow::saveToLocalFormat()
{
    if (!m_saveShortcut->isEnabled())
        return;
    CommandScope scope(this);
    if (AnalisysWidget *window = currentAnalysisWindow())
        window->saveData(LOCAL_FORMAT);
}

void MainWindow::saveToPointFormat()
{
    CommandScope scope(this);
    if (AnalisysWidget *window = currentAnalysisWindow())
        window->saveData(POINT_FORMAT);
}

void MainWindow::createMeasurmentWidget(QVector<AbstractTrace *> t)
{
    const MeasurementWindowFactory &factory = measurementWindowFactory();
    AnalisysWidget *window = factory ? factory(this, t) : nullptr;
    if (!window) {
        Prompts::instance()->warning(this, QStringLiteral("Ошибка"),
                                     QStringLiteral("Окно измерений недоступно."));
        return;
    }
    const int n = ++m_measurementTabCounter;
    logger.log(INFO, "Create measurment #" + std::to_string(n));
    const int index = ui->tabWidget->addTab(window, kMeasurementTabTitle.arg(n));
    ui->tabWidget->setCurrentIndex(index);
    // The measuring window recalculates its measurements when the settings change.
    if (window->metaObject()->indexOfSlot("recalcAllMeasurements()") >= 0)
        connect(this, SIGNAL(settingsChanged()), window, SLOT(recalcAllMeasurements()));
}

namespace {

bool holdsUnsavedMeasurements(QWidget *tab)
{
    const auto *contour = qobject_cast<const ContourAnalisisWidget *>(tab);
    return contour && contour->hasUnsavedMeasurements();
}

} // namespace

void MainWindow::onTabCloseRequested(int index)
{
    if (index <= 0)
        return;
    if (holdsUnsavedMeasurements(ui->tabWidget->widget(index))) {
        CommandScope scope(this);
        if (Prompts::instance()->question(
                this, QStringLiteral("Закрытие вкладки"),
                QStringLiteral("Закрыть вкладку? Измерения не сохранены в протокол."))
            != QMessageBox::Yes)
            return;
    }
    logger.log(INFO, "Delete tab measurmen #" + std::to_string(index));
    QWidget *window = ui->tabWidget->widget(index);
    ui->tabWidget->removeTab(index);
    if (window)
        window->deleteLater();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    QStringList unsaved;
    for (int i = 1; i < ui->tabWidget->count(); ++i) {
        if (holdsUnsavedMeasurements(ui->tabWidget->widget(i)))
            unsaved << ui->tabWidget->tabText(i);
    }
    if (!unsaved.isEmpty()) {
        CommandScope scope(this);
        if (Prompts::instance()->question(
                this, QStringLiteral("Выход"),
                QStringLiteral("Закрыть программу? Измерения не сохранены в протокол: ")
                    + unsaved.join(QStringLiteral(", ")) + QLatin1Char('.'))
            != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::printReport()
{
    if (!m_printShortcut->isEnabled())
        return;
    CommandScope scope(this);
    logger.log(INFO, "Saving report");
    AnalisysWidget *window = currentAnalysisWindow();
    // The profile window's traces matter only for its own report: a measurement tab reports
    // on its copies even after the profile window was emptied.
    if (window == profileWidget && profileWidget->allTraces().isEmpty()) {
        Prompts::instance()->warning(this, QStringLiteral("Ошибка печати отчёта"),
                                     QStringLiteral("Нет трасс для сохранения отчёта"));
        return;
    }
    if (Settings::instance()->controllers.isEmpty()) {
        bool ok = false;
        const QString name = Prompts::instance()->getItem(this, QStringLiteral("Контроллер"),
                                                          QStringLiteral("Имя контролёра"),
                                                          QStringList(), -1, true, &ok);
        // An empty name is no operator: asked again next time, like a cancel.
        if (!ok || name.trimmed().isEmpty())
            return;
        Settings::modify([&name](Settings &s) {
            s.current_controller_name = name;
            s.controllers.append(name);
        });
        profileWidget->settingsChanged();
    }
    if (window)
        window->saveReport(this);
}

void MainWindow::openSettings()
{
    CommandScope scope(this);
    logger.log(INFO, "Open SettingsDialog");
    {
        SettingsDialog dialog(this, profileWidget->visibleTraces());
        dialog.setWindowFlags(dialog.windowFlags() & ~Qt::WindowContextHelpButtonHint);
        dialog.device = &profileWidget->deviceControlWidget()->device;
        connect(&dialog, &SettingsDialog::setCurrentConsoleForAllTraces, profileWidget,
                [this] { profileWidget->applyCurrentConsoleToTraces(); });
        runDialog(&dialog);
    }
    logger.log(INFO, "Close SettingsDialog");
    emit settingsChanged();
}

void MainWindow::openInfoWindow()
{
    CommandScope scope(this);
    InfoWindow info(this);
    info.setWindowFlags(info.windowFlags() & ~Qt::WindowContextHelpButtonHint);
    runDialog(&info);
}

void MainWindow::onLockButtons()
{
    ui->menubar->setEnabled(false);
    m_saveShortcut->setEnabled(false);
    m_printShortcut->setEnabled(false);
}

void MainWindow::onUnlockButtons()
{
    ui->menubar->setEnabled(true);
    m_saveShortcut->setEnabled(true);
    m_printShortcut->setEnabled(true);
}
