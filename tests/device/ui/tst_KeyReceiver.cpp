// Keyboard jogging through the application-wide key filter, and the marked level bar.

#include "device/ui/KeyReceiver.h"
#include "device/ui/MarkedProgressBar.h"
#include "platform/DialogRunner.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ModalAnswerer.h"
#include "support/gui/WindowGrab.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QVBoxLayout>

using namespace testsupport;

namespace {

// A main window with the entries of a form (a line edit, a spin box, an editable and a plain
// combo box) and jog buttons that log their signals. The focus starts on the window itself, off
// every entry.
struct Rig
{
    QWidget window;
    QLineEdit *edit = nullptr;
    QSpinBox *spin = nullptr;
    QComboBox *editableCombo = nullptr;
    QComboBox *plainCombo = nullptr;
    QPushButton *left = nullptr;
    QPushButton *up = nullptr;
    QPushButton *start = nullptr;
    QPushButton *stop = nullptr;
    KeyReceiver receiver;
    QStringList events;

    Rig()
    {
        window.setObjectName(QStringLiteral("MainWindow"));
        auto *layout = new QVBoxLayout(&window);
        edit = new QLineEdit(QStringLiteral("abc"), &window);
        spin = new QSpinBox(&window);
        spin->setRange(0, 10);
        spin->setValue(5);
        editableCombo = new QComboBox(&window);
        editableCombo->setEditable(true);
        editableCombo->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
        plainCombo = new QComboBox(&window);
        plainCombo->addItems({QStringLiteral("x"), QStringLiteral("y")});
        left = new QPushButton(QStringLiteral("влево"), &window);
        up = new QPushButton(QStringLiteral("вверх"), &window);
        start = new QPushButton(QStringLiteral("ТРАССА"), &window);
        stop = new QPushButton(QStringLiteral("СТОП"), &window);
        for (QWidget *w : std::initializer_list<QWidget *> {edit, spin, editableCombo, plainCombo,
                                                            left, up, start, stop})
            layout->addWidget(w);
        for (QPushButton *b : {left, up, start, stop}) {
            QObject::connect(b, &QPushButton::pressed,
                             [this, b] { events << b->text() + " down"; });
            QObject::connect(b, &QPushButton::released, [this, b] { events << b->text() + " up"; });
        }
        receiver.keyMap.insert(Qt::Key_Left, left);
        receiver.keyMap.insert(Qt::Key_Up, up);
        receiver.keyMap.insert(Qt::Key_Down, up);
        receiver.keyMap.insert(Qt::Key_Return, start);
        receiver.keyMap.insert(Qt::Key_Space, stop);
        qApp->installEventFilter(&receiver);
        registerJogReceiver(&receiver);
        window.show();
        window.activateWindow();
        window.setFocus();
    }
    ~Rig()
    {
        unregisterJogReceiver(&receiver);
        qApp->removeEventFilter(&receiver);
    }

    QWidget *entry(const QString &name) const
    {
        if (name == QLatin1String("edit"))
            return edit;
        if (name == QLatin1String("spin"))
            return spin;
        if (name == QLatin1String("editable combo"))
            return editableCombo;
        if (name == QLatin1String("plain combo"))
            return plainCombo;
        return nullptr;
    }
    // What the entries show: the line edit's text and cursor, the spin box's value, the combo
    // boxes' current texts.
    QString entries() const
    {
        return QStringLiteral("%1@%2 %3 %4 %5")
            .arg(edit->text())
            .arg(edit->cursorPosition())
            .arg(spin->value())
            .arg(editableCombo->currentText(), plainCombo->currentText());
    }
};

} // namespace

class TestKeyReceiver : public QObject
{
    Q_OBJECT

private slots:
    void mappedKeysWorkTheButtons_data();
    void mappedKeysWorkTheButtons();
    void keysOfAnOpenListAreItsOwn_data();
    void keysOfAnOpenListAreItsOwn();
    void blockedReceiverPassesKeysOn();
    void releaseStopsWhereverItArrives();
    void releaseWithoutItsPressIsPassedOn();
    void deactivationReleasesHeldKeys();
    void ctrlStateFollowsKeys();
    void ctrlReleasedInADialogIsNotStuck();
    void barDrawsMiddleLine_data();
    void barDrawsMiddleLine();
};

void TestKeyReceiver::mappedKeysWorkTheButtons_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("autoRepeats");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("entries");
    QTest::addColumn<bool>("confirmed");
    const QString untouched = QStringLiteral("abc@3 5 1 x");
    const QStringList none;
    QTest::newRow("left arrow jogs")
        << int(Qt::Key_Left) << QString() << false << QStringList {"влево down", "влево up"}
        << untouched << false;
    QTest::newRow("held key: auto-repeats do nothing")
        << int(Qt::Key_Left) << QString() << true << QStringList {"влево down", "влево up"}
        << untouched << false;
    QTest::newRow("return starts a trace")
        << int(Qt::Key_Return) << QString() << false << QStringList {"ТРАССА down", "ТРАССА up"}
        << untouched << false;
    QTest::newRow("keypad enter is not mapped")
        << int(Qt::Key_Enter) << QString() << false << none << untouched << false;
    // A closed plain combo box moves to another item with the arrows; Return and Space do
    // nothing there and stay the trace and stop keys, and Left moves nothing there.
    QTest::newRow("down arrow moves in a plain combo box")
        << int(Qt::Key_Down) << "plain combo" << false << none << "abc@3 5 1 y" << false;
    QTest::newRow("return on a plain combo box starts a trace")
        << int(Qt::Key_Return) << "plain combo" << false << QStringList {"ТРАССА down", "ТРАССА up"}
        << untouched << false;
    QTest::newRow("space on a plain combo box stops")
        << int(Qt::Key_Space) << "plain combo" << false << QStringList {"СТОП down", "СТОП up"}
        << untouched << false;
    QTest::newRow("left arrow on a plain combo box jogs")
        << int(Qt::Key_Left) << "plain combo" << false << QStringList {"влево down", "влево up"}
        << untouched << false;
    // The keys that edit or confirm an entry are the entry's.
    QTest::newRow("letter typed into a line edit")
        << int(Qt::Key_A) << "edit" << false << none << "abca@4 5 1 x" << false;
    QTest::newRow("return confirms a line edit")
        << int(Qt::Key_Return) << "edit" << false << none << untouched << true;
    QTest::newRow("left arrow moves in a line edit")
        << int(Qt::Key_Left) << "edit" << false << none << "abc@2 5 1 x" << false;
    QTest::newRow("space is typed into a line edit")
        << int(Qt::Key_Space) << "edit" << false << none << "abc @4 5 1 x" << false;
    QTest::newRow("up arrow steps a spin box")
        << int(Qt::Key_Up) << "spin" << false << none << "abc@3 6 1 x" << false;
    QTest::newRow("return confirms a spin box")
        << int(Qt::Key_Return) << "spin" << false << none << untouched << true;
    QTest::newRow("space edits no number: it stops")
        << int(Qt::Key_Space) << "spin" << false << QStringList {"СТОП down", "СТОП up"}
        << untouched << false;
    QTest::newRow("down arrow steps an editable combo box")
        << int(Qt::Key_Down) << "editable combo" << false << none << "abc@3 5 2 x" << false;
    QTest::newRow("return confirms an editable combo box")
        << int(Qt::Key_Return) << "editable combo" << false << none << untouched << true;
}

void TestKeyReceiver::mappedKeysWorkTheButtons()
{
    QFETCH(int, key);
    QFETCH(QString, focus);
    QFETCH(bool, autoRepeats);
    QFETCH(QStringList, expected);
    QFETCH(QString, entries);
    QFETCH(bool, confirmed);
    Rig rig;
    QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
    if (QWidget *entry = rig.entry(focus)) {
        entry->setFocus();
        QCOMPARE(rig.window.focusWidget(), entry);
    }
    rig.edit->deselect();
    rig.edit->end(false);
    QSignalSpy editConfirmed(rig.edit, &QLineEdit::returnPressed);
    QSignalSpy spinConfirmed(rig.spin, &QSpinBox::editingFinished);
    QSignalSpy comboConfirmed(rig.editableCombo->lineEdit(), &QLineEdit::returnPressed);
    QString text;
    if (key == Qt::Key_A)
        text = QStringLiteral("a");
    else if (key == Qt::Key_Space)
        text = QStringLiteral(" ");
    sendWindowKey(&rig.window, QEvent::KeyPress, Qt::Key(key), Qt::NoModifier, false, text);
    if (autoRepeats) {
        for (int i = 0; i < 3; ++i) {
            sendWindowKey(&rig.window, QEvent::KeyRelease, Qt::Key(key), Qt::NoModifier, true);
            sendWindowKey(&rig.window, QEvent::KeyPress, Qt::Key(key), Qt::NoModifier, true);
        }
    }
    sendWindowKey(&rig.window, QEvent::KeyRelease, Qt::Key(key), Qt::NoModifier, false, text);
    QCOMPARE(rig.events, expected);
    QCOMPARE(rig.entries(), entries);
    QCOMPARE(editConfirmed.count() + spinConfirmed.count() + comboConfirmed.count() > 0, confirmed);
    QVERIFY(!rig.left->isDown() && !rig.up->isDown() && !rig.start->isDown());
}

void TestKeyReceiver::keysOfAnOpenListAreItsOwn_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QString>("entries");
    QTest::newRow("down and return choose in a plain combo box")
        << "plain combo" << QList<int> {Qt::Key_Down, Qt::Key_Return} << "abc@3 5 1 y";
    QTest::newRow("down and return choose in an editable combo box")
        << "editable combo" << QList<int> {Qt::Key_Down, Qt::Key_Return} << "abc@3 5 2 x";
    QTest::newRow("up, down, down and return choose in a plain combo box")
        << "plain combo" << QList<int> {Qt::Key_Up, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}
        << "abc@3 5 1 y";
}

void TestKeyReceiver::keysOfAnOpenListAreItsOwn()
{
    // The list of a combo box, opened by a click; the keys come along the window system's road,
    // where the list takes its Return before the press is delivered and closes.
    QFETCH(QString, box);
    QFETCH(QList<int>, keys);
    QFETCH(QString, entries);
    Rig rig;
    QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
    auto *combo = qobject_cast<QComboBox *>(rig.entry(box));
    rig.edit->deselect();
    rig.edit->end(false);
    // On its arrow, which opens the list of an editable box too.
    QTest::mouseClick(combo, Qt::LeftButton, {}, QPoint(combo->width() - 6, combo->height() / 2));
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::activePopupWidget(), 3000);
    for (int key : keys)
        systemKeyClick(&rig.window, Qt::Key(key));
    const bool closed = QTest::qWaitFor([] { return !QApplication::activePopupWidget(); }, 3000);
    if (!closed)
        combo->hidePopup();
    QVERIFY2(closed, "the list did not close on Return");
    QCOMPARE(rig.events, QStringList());
    QCOMPARE(rig.entries(), entries);
    QVERIFY(!rig.start->isDown() && !rig.up->isDown());

    // The list closed: the next keys work the buttons again (a closed plain combo box leaves
    // Return to the key map).
    rig.window.setFocus();
    systemKeyClick(&rig.window, Qt::Key_Return);
    QCOMPARE(rig.events, (QStringList {"ТРАССА down", "ТРАССА up"}));
}

void TestKeyReceiver::blockedReceiverPassesKeysOn()
{
    Rig rig;
    QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
    rig.edit->setFocus();
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
    int cursor = -1;
    ModalAnswerer answerer([&](QWidget *modal) {
        dialogEdit->setFocus();
        dialogEdit->setCursorPosition(4);
        windowKeyPress(modal, Qt::Key_Left);
        windowKeyRelease(modal, Qt::Key_Left);
        jogged = !rig.events.isEmpty();
        cursor = dialogEdit->cursorPosition();
        ModalAnswerer::reject(modal);
    });
    dialog.exec();
    QVERIFY(answerer.answered());
    QVERIFY(!jogged);
    QCOMPARE(cursor, 3);
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
    QCOMPARE(rig.events.size(), 2);
}

void TestKeyReceiver::releaseWithoutItsPressIsPassedOn()
{
    // The Return that accepts a dialog is pressed inside it and released over the main window
    // once the dialog has closed: the release is no button's.
    Rig rig;
    QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
    QDialog dialog(&rig.window);
    auto *open = new QPushButton(QStringLiteral("Открыть"), &dialog);
    open->setDefault(true);
    QObject::connect(open, &QPushButton::clicked, &dialog, &QDialog::accept);
    bool closedByReturn = false;
    ModalAnswerer answerer([&](QWidget *modal) {
        windowKeyPress(modal, Qt::Key_Return);
        closedByReturn = ModalAnswerer::waitClosed(modal);
    });
    const int result = runDialog(&dialog);
    QVERIFY(answerer.answered());
    QVERIFY2(closedByReturn, "the Return pressed in the dialog did not reach its default button");
    QCOMPARE(result, int(QDialog::Accepted));
    windowKeyRelease(&rig.window, Qt::Key_Return);
    QVERIFY(rig.events.isEmpty());

    // A press that an entry took: its release after the focus has left the entry releases
    // nothing either.
    rig.spin->setFocus();
    windowKeyPress(&rig.window, Qt::Key_Up);
    rig.window.setFocus();
    windowKeyRelease(&rig.window, Qt::Key_Up);
    QVERIFY(rig.events.isEmpty());
    QCOMPARE(rig.spin->value(), 6);
    QVERIFY(!rig.up->isDown() && !rig.start->isDown());

    // A whole key stroke over the main window still works its button.
    windowKeyPress(&rig.window, Qt::Key_Return);
    windowKeyRelease(&rig.window, Qt::Key_Return);
    QCOMPARE(rig.events, (QStringList {"ТРАССА down", "ТРАССА up"}));
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

void TestKeyReceiver::ctrlReleasedInADialogIsNotStuck()
{
    Rig rig;
    QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
    QSignalSpy ctrl(&rig.receiver, &KeyReceiver::ctrlStateChanged);

    // Ctrl+S opens a dialog, and Ctrl is let go inside it: the flag follows at once, the signal
    // as soon as jogging is back.
    windowKeyPress(&rig.window, Qt::Key_Control, Qt::NoModifier);
    QCOMPARE(ctrl.last().at(0).toBool(), true);
    QDialog dialog(&rig.window);
    bool flagInDialog = true;
    ModalAnswerer answerer([&](QWidget *modal) {
        windowKeyRelease(modal, Qt::Key_Control, Qt::ControlModifier);
        flagInDialog = rig.receiver.ctrlPressed;
        ModalAnswerer::reject(modal);
    });
    runDialog(&dialog);
    QVERIFY(answerer.answered());
    QVERIFY(!flagInDialog);
    QTRY_COMPARE(ctrl.last().at(0).toBool(), false);

    // A release the program never sees (a native dialog takes its keys past it) is noticed from
    // the keyboard's state once the dialog is over.
    // Offscreen, the keyboard's state is what the window system's last key event said; the
    // receiver is taken off while the release comes in, as if a native dialog had taken it.
    const auto runNativeDialog = [&rig](bool releaseCtrl) {
        QDialog native(&rig.window);
        ModalAnswerer answerer([&](QWidget *modal) {
            if (releaseCtrl) {
                qApp->removeEventFilter(&rig.receiver);
                systemKey(modal, QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
                qApp->installEventFilter(&rig.receiver);
            }
            ModalAnswerer::reject(modal);
        });
        runDialog(&native);
        return answerer.answered();
    };
    windowKeyPress(&rig.window, Qt::Key_Control, Qt::NoModifier);
    QVERIFY(rig.receiver.ctrlPressed);
    QVERIFY(runNativeDialog(true));
    QTRY_VERIFY(!rig.receiver.ctrlPressed);
    QCOMPARE(ctrl.last().at(0).toBool(), false);

    // While the keyboard still holds Ctrl after the dialog, the flag stays.
    windowKeyPress(&rig.window, Qt::Key_Control, Qt::NoModifier);
    QVERIFY(runNativeDialog(false));
    QTest::qWait(20);
    QVERIFY(rig.receiver.ctrlPressed);
    QCOMPARE(ctrl.last().at(0).toBool(), true);
    windowKeyRelease(&rig.window, Qt::Key_Control, Qt::ControlModifier);
    QVERIFY(!rig.receiver.ctrlPressed);
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
