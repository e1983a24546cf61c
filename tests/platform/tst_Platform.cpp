// The platform layer and the GUI test harness: decimal entry, locale and fonts, the dialog runner
// that blocks keyboard jogging, the prompts and desktop seams, and the harness's own tools.

#include "core/Logger.h"
#include "platform/Desktop.h"
#include "platform/DialogRunner.h"
#include "platform/DotToCommaFilter.h"
#include "platform/Prompts.h"
#include "support/Heartbeat.h"
#include "support/LogReader.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ModalAnswerer.h"
#include "support/gui/PlotDriver.h"
#include "support/gui/RecordingDesktop.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"

#include <QAction>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QThread>
#include <QVBoxLayout>
#include <qcustomplot.h>

using namespace testsupport;

namespace {

// A widget that sends a Qt warning whenever it paints.
class NoisyWidget : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        qWarning("painting went wrong");
        QLabel::paintEvent(event);
    }
};

// Types text as key presses and releases whose text is each character, as a keyboard layout gives
// them (QTest::keyClicks knows Latin letters only).
void typeText(QWidget *widget, const QString &text)
{
    for (QChar c : text) {
        const int key = c.toUpper().unicode();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void localeIsRussian();
    void windowsFontHasCyrillic();

    void typedDecimals_data();
    void typedDecimals();
    void filterPassesOtherKeys();
    void inputDialogTakesPeriod();

    void runDialogBlocksJogging();
    void blockersNestAndForgetDeletedReceivers();
    void interceptorAnswersDialogs();

    void realMessageBoxThroughPrompts();
    void scriptedPromptsAnswerInOrder();
    void desktopFailuresAreReported_data();
    void desktopFailuresAreReported();

    void plotDriverHitsCoordinates();
    void plotDriverWheelAndDrag();
    void grabWritesPictureAndCatchesWarnings();
    void windowKeysReachWindowThenFocus();
    void heartbeatSeesBlockedLoop();
    void tempSettingsAndLog();
};

void TestPlatform::localeIsRussian()
{
    QCOMPARE(QLocale().decimalPoint(), QChar(','));
    QDoubleSpinBox spin;
    spin.setDecimals(3);
    spin.setValue(2.5);
    QCOMPARE(spin.text(), QStringLiteral("2,500"));
}

void TestPlatform::windowsFontHasCyrillic()
{
    const QString family = substituteWindowsFonts();
    QVERIFY2(!family.isEmpty(), "no installed font with Cyrillic letters");
    const QFont font(QStringLiteral("MS Shell Dlg 2"));
    QCOMPARE(QFontInfo(font).family(), family);
    const QFontMetrics metrics(font);
    for (QChar c : QStringLiteral("ЖжЩщЁё"))
        QVERIFY2(metrics.inFont(c), qPrintable(QString(c)));
}

void TestPlatform::typedDecimals_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("expected");
    QTest::newRow("period") << "0.005" << 0.005;
    QTest::newRow("comma") << "2,5" << 2.5;
    QTest::newRow("period twice keeps the first") << "1.2.5" << 1.25;
    QTest::newRow("Cyrillic yu (the period key on a Russian layout)") << "3ю75" << 3.75;
    QTest::newRow("Cyrillic be") << "4б5" << 4.5;
    QTest::newRow("slash") << "7/125" << 7.125;
    QTest::newRow("question mark") << "0?5" << 0.5;
    QTest::newRow("angle bracket") << "6>25" << 6.25;
}

void TestPlatform::typedDecimals()
{
    QFETCH(QString, typed);
    QFETCH(double, expected);
    // A plain spin box: the application-wide guard installs the filter when it is polished.
    QWidget window;
    auto *spin = new QDoubleSpinBox(&window);
    spin->setDecimals(3);
    spin->setRange(0, 1000);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    spin->setFocus();
    spin->selectAll();
    typeText(spin, typed);
    spin->interpretText();
    QCOMPARE(spin->value(), expected);
}

void TestPlatform::filterPassesOtherKeys()
{
    QDoubleSpinBox spin;
    spin.setDecimals(2);
    spin.setSingleStep(0.25);
    spin.setValue(1.0);
    installDotToCommaFilter(&spin);
    QCOMPARE(installDotToCommaFilter(&spin), installDotToCommaFilter(&spin));
    QTest::keyClick(&spin, Qt::Key_Up);
    QCOMPARE(spin.value(), 1.25);
    QTest::keyClick(&spin, Qt::Key_Down);
    QTest::keyClick(&spin, Qt::Key_Down);
    QCOMPARE(spin.value(), 0.75);
}

void TestPlatform::inputDialogTakesPeriod()
{
    // The real input dialog of the default prompts: its spin box gets the filter too.
    QWidget parent;
    ModalAnswerer answerer([](QWidget *modal) {
        auto *spin = modal->findChild<QDoubleSpinBox *>();
        QVERIFY(spin);
        spin->selectAll();
        QTest::keyClicks(spin, QStringLiteral("0.25"));
        ModalAnswerer::accept(modal);
    });
    bool ok = false;
    Prompts defaults;
    const double value = defaults.getDouble(
        &parent, QStringLiteral("Радиус"), QStringLiteral("Радиус в мм"), 1.0, 0.001, 1e12, 3, &ok);
    QVERIFY(answerer.answered());
    QVERIFY(ok);
    QCOMPARE(value, 0.25);
}

void TestPlatform::runDialogBlocksJogging()
{
    QObject receiver;
    registerJogReceiver(&receiver);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Диалог"));
    bool blockedInside = false;
    ModalAnswerer answerer([&](QWidget *modal) {
        blockedInside = receiver.signalsBlocked() && jogBlocked();
        ModalAnswerer::accept(modal);
    });
    QCOMPARE(runDialog(&dialog), int(QDialog::Accepted));
    QVERIFY(answerer.answered());
    QCOMPARE(answerer.answeredTitle(), QStringLiteral("Диалог"));
    QVERIFY(blockedInside);
    QVERIFY(!receiver.signalsBlocked());
    QVERIFY(!jogBlocked());
    unregisterJogReceiver(&receiver);
}

void TestPlatform::blockersNestAndForgetDeletedReceivers()
{
    QObject kept;
    auto *dropped = new QObject;
    registerJogReceiver(&kept);
    registerJogReceiver(dropped);
    registerJogReceiver(&kept);
    QCOMPARE(jogReceivers().size(), 2);
    {
        JogBlocker outer;
        QVERIFY(kept.signalsBlocked());
        delete dropped;
        {
            JogBlocker inner;
            QVERIFY(kept.signalsBlocked());
            QObject late;
            registerJogReceiver(&late);
            QVERIFY2(late.signalsBlocked(), "a receiver registered inside a dialog starts blocked");
            unregisterJogReceiver(&late);
        }
        QVERIFY2(kept.signalsBlocked(), "the inner block must not unblock the outer one");
    }
    QVERIFY(!kept.signalsBlocked());
    QCOMPARE(jogReceivers(), QList<QObject *>() << &kept);
    // A receiver blocked by its owner stays blocked after a dialog.
    kept.blockSignals(true);
    {
        JogBlocker blocker;
    }
    QVERIFY(kept.signalsBlocked());
    unregisterJogReceiver(&kept);
}

void TestPlatform::interceptorAnswersDialogs()
{
    QObject receiver;
    registerJogReceiver(&receiver);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Первый"));
    DialogInterceptor outer([](QDialog *d) { d->accept(); });
    {
        DialogInterceptor inner([](QDialog *d) { d->reject(); });
        QCOMPARE(runDialog(&dialog), int(QDialog::Rejected));
        QCOMPARE(inner.seen, QStringList {QStringLiteral("Первый")});
    }
    dialog.setWindowTitle(QStringLiteral("Второй"));
    QCOMPARE(runDialog(&dialog), int(QDialog::Accepted));
    QCOMPARE(outer.seen, QStringList {QStringLiteral("Второй")});
    QVERIFY(outer.jogWasBlocked);
    QVERIFY(!receiver.signalsBlocked());
    unregisterJogReceiver(&receiver);
}

void TestPlatform::realMessageBoxThroughPrompts()
{
    QObject receiver;
    registerJogReceiver(&receiver);
    bool blockedInside = false;
    QString text;
    ModalAnswerer answerer([&](QWidget *modal) {
        blockedInside = receiver.signalsBlocked();
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        text = box->text();
        box->button(QMessageBox::No)->click();
    });
    const auto answer = Prompts::instance()->question(nullptr, QStringLiteral("Удаление"),
                                                      QStringLiteral("Вы уверены?"));
    QVERIFY(answerer.answered());
    QCOMPARE(answer, QMessageBox::No);
    QCOMPARE(text, QStringLiteral("Вы уверены?"));
    QVERIFY(blockedInside);
    unregisterJogReceiver(&receiver);
}

void TestPlatform::scriptedPromptsAnswerInOrder()
{
    ScriptedPrompts prompts;
    prompts.answers << int(QMessageBox::Yes) << QStringLiteral("/tmp/a.txt") << QVariant() << 2.5
                    << QStringLiteral("Удалить");
    Prompts *p = Prompts::instance();
    QCOMPARE(p, static_cast<Prompts *>(&prompts));
    QCOMPARE(p->question(nullptr, "Вопрос", "Продолжить?"), QMessageBox::Yes);
    QCOMPARE(p->saveFileName(nullptr, "Сохранить", "/tmp", "*.txt"), QStringLiteral("/tmp/a.txt"));
    bool ok = true;
    QCOMPARE(p->getText(nullptr, "Имя", "Введите имя", QLineEdit::Normal, "старое", &ok),
             QStringLiteral("старое"));
    QVERIFY(!ok);
    QCOMPARE(p->getDouble(nullptr, "Число", "Введите", 1.0, 0, 10, 2, &ok), 2.5);
    QVERIFY(ok);
    QMenu menu;
    QAction *keep = menu.addAction(QStringLiteral("Оставить"));
    QAction *remove = menu.addAction(QStringLiteral("Удалить"));
    QSignalSpy triggered(remove, &QAction::triggered);
    QCOMPARE(p->execMenu(&menu, QPoint()), remove);
    QCOMPARE(triggered.count(), 1);
    Q_UNUSED(keep);
    // An empty script cancels; a message box then gives its default answer.
    QCOMPARE(p->warning(nullptr, "Ошибка", "Нет данных"), QMessageBox::Ok);
    QCOMPARE(p->openFileName(nullptr, "Открыть", "", ""), QString());
    QCOMPARE(prompts.kinds(),
             (QStringList {"question", "save", "text", "double", "menu", "warning", "open"}));
    QCOMPARE(prompts.asked.at(5).text, QStringLiteral("Нет данных"));
}

void TestPlatform::desktopFailuresAreReported_data()
{
    QTest::addColumn<bool>("fileManager");
    QTest::addColumn<bool>("succeed");
    QTest::newRow("browser opens") << false << true;
    QTest::newRow("browser fails") << false << false;
    QTest::newRow("file manager shows") << true << true;
    QTest::newRow("file manager fails") << true << false;
}

void TestPlatform::desktopFailuresAreReported()
{
    QFETCH(bool, fileManager);
    QFETCH(bool, succeed);
    RecordingDesktop desktop;
    desktop.succeed = succeed;
    ScriptedPrompts prompts;
    LogReader log;
    const QString file = QFileInfo(QStringLiteral("отчёт 1.html")).absoluteFilePath();
    const bool result
        = fileManager ? showInFileManager(nullptr, file) : openInBrowser(nullptr, file);
    QCOMPARE(result, succeed);
    QCOMPARE(fileManager ? desktop.shown : desktop.opened, QStringList {file});
    QVERIFY((fileManager ? desktop.opened : desktop.shown).isEmpty());
    if (succeed) {
        QVERIFY(prompts.asked.isEmpty());
    } else {
        QCOMPARE(prompts.kinds(), QStringList {"warning"});
        QCOMPARE(prompts.asked.at(0).title, QStringLiteral("Ошибка"));
        QVERIFY(prompts.asked.at(0).text.contains(QStringLiteral("отчёт 1.html")));
        QCOMPARE(log.entries().size(), 1);
        QVERIFY(log.entries().at(0).startsWith(QStringLiteral("ERROR: ")));
    }
}

void TestPlatform::plotDriverHitsCoordinates()
{
    QCustomPlot plot;
    plot.resize(500, 300);
    plot.xAxis->setRange(0, 10);
    plot.yAxis->setRange(-1, 1);
    PlotDriver driver(&plot);
    QList<QPointF> pressed;
    QList<QPointF> released;
    connect(&plot, &QCustomPlot::mousePress, this, [&](QMouseEvent *e) {
        pressed << QPointF(plot.xAxis->pixelToCoord(e->pos().x()),
                           plot.yAxis->pixelToCoord(e->pos().y()));
    });
    connect(&plot, &QCustomPlot::mouseRelease, this, [&](QMouseEvent *e) {
        released << QPointF(plot.xAxis->pixelToCoord(e->pos().x()),
                            plot.yAxis->pixelToCoord(e->pos().y()));
    });
    driver.click(2.5, 0.5);
    QCOMPARE(pressed.size(), 1);
    QCOMPARE(released.size(), 1);
    // One pixel is 10/axis width in x and 2/axis height in y.
    QVERIFY(qAbs(pressed.at(0).x() - 2.5) < 0.05);
    QVERIFY(qAbs(pressed.at(0).y() - 0.5) < 0.02);
    QCOMPARE(driver.coords(driver.pixel(7.0, -0.5)).toPoint(), QPointF(7.0, -0.5).toPoint());
}

void TestPlatform::plotDriverWheelAndDrag()
{
    QCustomPlot plot;
    plot.resize(500, 300);
    plot.setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot.xAxis->setRange(0, 10);
    plot.yAxis->setRange(0, 10);
    PlotDriver driver(&plot);
    driver.wheel(4.0, 6.0, 1);
    QVERIFY2(plot.xAxis->range().size() < 10.0, "a wheel notch forward zooms in");
    // Zooming keeps the point under the pointer at its place in the range.
    const QCPRange x = plot.xAxis->range();
    QVERIFY2(qAbs((4.0 - x.lower) / x.size() - 0.4) < 0.01,
             qPrintable(QStringLiteral("%1..%2").arg(x.lower).arg(x.upper)));

    plot.xAxis->setRange(0, 10);
    plot.yAxis->setRange(0, 10);
    driver.refresh();
    driver.drag({5.0, 5.0}, {{4.0, 5.0}, {3.0, 5.0}});
    QVERIFY2(qAbs(plot.xAxis->range().lower - 2.0) < 0.1,
             qPrintable(QString::number(plot.xAxis->range().lower)));
    QVERIFY(qAbs(plot.yAxis->range().lower) < 0.1);
}

void TestPlatform::grabWritesPictureAndCatchesWarnings()
{
    QLabel label(QStringLiteral("Длина трассы, мкм"));
    label.resize(200, 40);
    const GrabResult grab = grabWindow(&label, QStringLiteral("label"));
    VERIFY_GRAB(grab);
    QVERIFY(QFileInfo::exists(grab.path));
    QVERIFY(inkRatio(grab.image) > 0.01);

    NoisyWidget noisy(QStringLiteral("Ошибка"));
    const GrabResult bad = grabWindow(&noisy, QStringLiteral("noisy"));
    QVERIFY(!bad.ok());
    QVERIFY(bad.problem().contains(QStringLiteral("painting went wrong")));
}

void TestPlatform::windowKeysReachWindowThenFocus()
{
    QWidget window;
    window.setObjectName(QStringLiteral("MainWindow"));
    auto *layout = new QVBoxLayout(&window);
    auto *edit = new QLineEdit(&window);
    layout->addWidget(edit);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    edit->setFocus();

    QStringList seen;
    struct Recorder : QObject
    {
        QStringList *seen;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::KeyRelease)
                seen->append(watched->objectName());
            return false;
        }
    } recorder;
    recorder.seen = &seen;
    edit->setObjectName(QStringLiteral("edit"));
    qApp->installEventFilter(&recorder);
    windowKeyRelease(&window, Qt::Key_Left);
    qApp->removeEventFilter(&recorder);
    QCOMPARE(seen.value(0), QStringLiteral("MainWindowWindow"));
    QVERIFY(seen.contains(QStringLiteral("edit")));
}

void TestPlatform::heartbeatSeesBlockedLoop()
{
    Heartbeat heartbeat;
    QTest::qWait(50);
    QThread::msleep(300);
    QTest::qWait(20);
    QVERIFY2(heartbeat.longestStallMs() >= 250,
             qPrintable(QString::number(heartbeat.longestStallMs())));
    heartbeat.restart();
    QTest::qWait(50);
    QVERIFY(heartbeat.ticks() > 0);
}

void TestPlatform::tempSettingsAndLog()
{
    const int before = Settings::instance()->movement.current_speed;
    {
        TempSettings settings([](Settings &s) { s.movement.current_speed = 3; });
        QCOMPARE(settings->movement.current_speed, 3);
        QCOMPARE(settings.stored(QStringLiteral("movement/current_speed")).toInt(), 3);
        settings.forgetFile();
        QVERIFY(!settings.saved());
        settings.change([](Settings &s) { s.device.trace_length = 12; });
        QCOMPARE(settings.stored(QStringLiteral("device/trace_length")).toInt(), 12);
    }
    QCOMPARE(Settings::instance()->movement.current_speed, before);

    LogReader log;
    logger.log(INFO, "harness line");
    logger.log(ERROR, "harness error");
    QCOMPARE(log.entries(),
             (QStringList {QStringLiteral("INFO: harness line"),
                           QStringLiteral("ERROR: harness error")}));
    QCOMPARE(log.messages().value(1), QStringLiteral("harness error"));
    log.skip();
    QVERIFY(log.entries().isEmpty());
}

GUI_TEST_MAIN(TestPlatform)
#include "tst_Platform.moc"
