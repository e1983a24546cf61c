// Keyboard jogging through the application-wide key filter, and the marked level bar.

#include "device/ui/KeyReceiver.h"
#include "device/ui/MarkedProgressBar.h"
#include "platform/DialogRunner.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ModalAnswerer.h"
#include "support/gui/WindowGrab.h"

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>

using namespace testsupport;

namespace {

// A main window with a focusable entry and two jog buttons that log their signals.
struct Rig
{
    QWidget window;
    QLineEdit *edit = nullptr;
    QPushButton *left = nullptr;
    QPushButton *start = nullptr;
    KeyReceiver receiver;
    QStringList events;

    Rig()
    {
        window.setObjectName(QStringLiteral("MainWindow"));
        auto *layout = new QVBoxLayout(&window);
        edit = new QLineEdit(&window);
        left = new QPushButton(QStringLiteral("влево"), &window);
        start = new QPushButton(QStringLiteral("ТРАССА"), &window);
        layout->addWidget(edit);
        layout->addWidget(left);
        layout->addWidget(start);
        for (QPushButton *b : {left, start}) {
            QObject::connect(b, &QPushButton::pressed,
                             [this, b] { events << b->text() + " down"; });
            QObject::connect(b, &QPushButton::released, [this, b] { events << b->text() + " up"; });
        }
        receiver.keyMap.insert(Qt::Key_Left, left);
        receiver.keyMap.insert(Qt::Key_Return, start);
        qApp->installEventFilter(&receiver);
        registerJogReceiver(&receiver);
        window.show();
        window.activateWindow();
        edit->setFocus();
    }
    ~Rig()
    {
        unregisterJogReceiver(&receiver);
        qApp->removeEventFilter(&receiver);
    }
};

} // namespace

class TestKeyReceiver : public QObject
{
    Q_OBJECT

private slots:
    void mappedKeysWorkTheButtons_data();
    void mappedKeysWorkTheButtons();
    void blockedReceiverPassesKeysOn();
    void releaseStopsWhereverItArrives();
    void deactivationReleasesHeldKeys();
    void ctrlStateFollowsKeys();
    void barDrawsMiddleLine_data();
    void barDrawsMiddleLine();
};

void TestKeyReceiver::mappedKeysWorkTheButtons_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("autoRepeats");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("typed");
    QTest::newRow("left arrow jogs")
        << int(Qt::Key_Left) << false << QStringList {"влево down", "влево up"} << QString();
    QTest::newRow("held key: auto-repeats do nothing")
        << int(Qt::Key_Left) << true << QStringList {"влево down", "влево up"} << QString();
    QTest::newRow("return starts a trace")
        << int(Qt::Key_Return) << false << QStringList {"ТРАССА down", "ТРАССА up"} << QString();
    QTest::newRow("keypad enter is not mapped")
        << int(Qt::Key_Enter) << false << QStringList() << QString();
    QTest::newRow("unmapped letter reaches the entry")
        << int(Qt::Key_A) << false << QStringList() << QStringLiteral("a");
}

void TestKeyReceiver::mappedKeysWorkTheButtons()
{
    QFETCH(int, key);
    QFETCH(bool, autoRepeats);
    QFETCH(QStringList, expected);
    QFETCH(QString, typed);
    Rig rig;
    QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
    const QString text = key == Qt::Key_A ? QStringLiteral("a") : QString();
    sendWindowKey(&rig.window, QEvent::KeyPress, Qt::Key(key), Qt::NoModifier, false, text);
    if (autoRepeats) {
        for (int i = 0; i < 3; ++i) {
            sendWindowKey(&rig.window, QEvent::KeyRelease, Qt::Key(key), Qt::NoModifier, true);
            sendWindowKey(&rig.window, QEvent::KeyPress, Qt::Key(key), Qt::NoModifier, true);
        }
    }
    sendWindowKey(&rig.window, QEvent::KeyRelease, Qt::Key(key), Qt::NoModifier, false, text);
    QCOMPARE(rig.events, expected);
    QCOMPARE(rig.edit->text(), typed);
    QVERIFY(!rig.left->isDown());
}

void TestKeyReceiver::blockedReceiverPassesKeysOn()
{
    Rig rig;
    QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
    rig.edit->setText(QStringLiteral("abc"));
    rig.edit->setCursorPosition(3);
    rig.receiver.blockSignals(true);
    windowKeyPress(&rig.window, Qt::Key_Left);
    windowKeyRelease(&rig.window, Qt::Key_Left);
    QVERIFY(rig.events.isEmpty());
    QCOMPARE(rig.edit->cursorPosition(), 2);
    rig.receiver.blockSignals(false);

    // An open modal dialog switches jogging off as well, also when it was not run through
    // runDialog: the arrows move the dialog's own cursor.
    QDialog dialog(&rig.window);
    auto *dialogEdit = new QLineEdit(QStringLiteral("путь"), &dialog);
    bool jogged = false;
    ModalAnswerer answerer([&](QWidget *modal) {
        dialogEdit->setFocus();
        dialogEdit->setCursorPosition(4);
        windowKeyPress(modal, Qt::Key_Left);
        windowKeyRelease(modal, Qt::Key_Left);
        jogged = !rig.events.isEmpty();
        QCOMPARE(dialogEdit->cursorPosition(), 3);
        ModalAnswerer::reject(modal);
    });
    dialog.exec();
    QVERIFY(answerer.answered());
    QVERIFY(!jogged);
}

void TestKeyReceiver::releaseStopsWhereverItArrives()
{
    // The runaway jog: a key pressed over the main window starts a motion; a dialog opens before
    // the key is released, so the release arrives at the dialog. It must stop the motion.
    Rig rig;
    QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
    windowKeyPress(&rig.window, Qt::Key_Left);
    QCOMPARE(rig.events, QStringList {"влево down"});
    QDialog dialog(&rig.window);
    dialog.setWindowTitle(QStringLiteral("Калибровка"));
    ModalAnswerer answerer([&](QWidget *modal) {
        windowKeyRelease(modal, Qt::Key_Left);
        ModalAnswerer::reject(modal);
    });
    runDialog(&dialog);
    QVERIFY(answerer.answered());
    QCOMPARE(rig.events, (QStringList {"влево down", "влево up"}));
    QVERIFY(!rig.left->isDown());
    // The release was handled once: a later stray release over the main window is a plain key
    // release of an unpressed key and releases nothing more.
    windowKeyRelease(&rig.window, Qt::Key_Left);
    QCOMPARE(rig.events.size(), 3);
}

void TestKeyReceiver::deactivationReleasesHeldKeys()
{
    Rig rig;
    QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
    windowKeyPress(&rig.window, Qt::Key_Left);
    windowKeyPress(&rig.window, Qt::Key_Return);
    QEvent deactivate(QEvent::ApplicationDeactivate);
    QCoreApplication::sendEvent(qApp, &deactivate);
    QCOMPARE(rig.events.mid(0, 2), (QStringList {"влево down", "ТРАССА down"}));
    QStringList ups = rig.events.mid(2);
    ups.sort();
    QCOMPARE(ups, (QStringList {"ТРАССА up", "влево up"}));
    QVERIFY(!rig.left->isDown() && !rig.start->isDown());
}

void TestKeyReceiver::ctrlStateFollowsKeys()
{
    Rig rig;
    QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
    QSignalSpy ctrl(&rig.receiver, &KeyReceiver::ctrlStateChanged);
    // As the window system reports Ctrl itself: the press carries the modifiers from before it,
    // the release those from before the release (QKeyEvent gives the state after the key).
    windowKeyPress(&rig.window, Qt::Key_Control, Qt::NoModifier);
    QVERIFY(rig.receiver.ctrlPressed);
    windowKeyRelease(&rig.window, Qt::Key_Control, Qt::ControlModifier);
    QVERIFY(!rig.receiver.ctrlPressed);
    // One signal per delivery: at the native window and at the focus widget.
    QVERIFY(ctrl.count() >= 2);
    QCOMPARE(ctrl.first().at(0).toBool(), true);
    QCOMPARE(ctrl.last().at(0).toBool(), false);
    // The flag follows the keys while jogging is blocked; the signal does not go out.
    rig.receiver.blockSignals(true);
    ctrl.clear();
    windowKeyPress(&rig.window, Qt::Key_Control, Qt::NoModifier);
    QVERIFY(rig.receiver.ctrlPressed);
    QCOMPARE(ctrl.count(), 0);
    rig.receiver.blockSignals(false);
}

void TestKeyReceiver::barDrawsMiddleLine_data()
{
    QTest::addColumn<int>("value");
    QTest::newRow("empty") << 0;
    QTest::newRow("full") << 100;
}

void TestKeyReceiver::barDrawsMiddleLine()
{
    QFETCH(int, value);
    MarkedProgressBar bar;
    bar.setOrientation(Qt::Vertical);
    bar.setTextVisible(false);
    bar.setRange(0, 100);
    bar.setValue(value);
    bar.resize(24, 101);
    const GrabResult grab = grabWindow(&bar, QStringLiteral("bar_%1").arg(value));
    VERIFY_GRAB(grab);
    const QImage image = grab.image.convertToFormat(QImage::Format_RGB32);
    const int middle = image.height() / 2;
    for (int x = 2; x < image.width() - 2; ++x) {
        const QColor c = image.pixelColor(x, middle);
        QVERIFY2(c.red() > 200 && c.green() < 60 && c.blue() < 60,
                 qPrintable(QStringLiteral("x %1: %2").arg(x).arg(c.name())));
    }
    // Away from the line there is no red.
    const QColor above = image.pixelColor(image.width() / 2, middle - 10);
    QVERIFY(!(above.red() > 200 && above.green() < 60));
}

GUI_TEST_MAIN(TestKeyReceiver)
#include "tst_KeyReceiver.moc"
