// The progress window of the calibration sequences and the serial terminal window.

#include "device/ui/Loader.h"
#include "device/ui/PanelRig.h"
#include "device/ui/TermiteDialog.h"
#include "support/Heartbeat.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ModalAnswerer.h"
#include "support/gui/WindowGrab.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextEdit>

using namespace testsupport;

class TestLoaderAndTerminal : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { rig.reset(); }

    void loaderFollowsProgress_data();
    void loaderFollowsProgress();
    void loaderCancel();

    void terminalSends_data();
    void terminalSends();
    void terminalReceives();

private:
    std::unique_ptr<PanelRig> rig;
};

void TestLoaderAndTerminal::loaderFollowsProgress_data()
{
    QTest::addColumn<QList<int>>("progress");
    QTest::addColumn<int>("shown");
    QTest::addColumn<bool>("closes");
    QTest::newRow("30 then 100 closes") << QList<int> {30, 100} << 100 << true;
    QTest::newRow("a jump past 100 keeps it open") << QList<int> {90, 101} << 90 << false;
    QTest::newRow("99 keeps it open") << QList<int> {10, 99} << 99 << false;
}

void TestLoaderAndTerminal::loaderFollowsProgress()
{
    QFETCH(QList<int>, progress);
    QFETCH(int, shown);
    QFETCH(bool, closes);
    rig = std::make_unique<PanelRig>();
    rig->build([](Settings &) {}, false);
    rig->window->show();
    Device &device = rig->panel->device;
    // The device asks for the progress window and reports its stages; the panel opens the
    // window and hands the reports on to it.
    QString title;
    int value = -1;
    QString stage;
    bool openAfterReports = false;
    bool closedByItself = false;
    qint64 closedAfterMs = -1;
    int longestStallMs = -1;
    ModalAnswerer answerer([&](QWidget *modal) {
        auto *loader = qobject_cast<Loader *>(modal);
        if (!loader) {
            ModalAnswerer::reject(modal);
            return;
        }
        title = loader->textLabel->text();
        Heartbeat heartbeat;
        QElapsedTimer clock;
        for (int p : progress) {
            clock.start();
            emit device.setStatusProgressBar(p, QStringLiteral("Этап %1").arg(p));
        }
        value = loader->progressBar->value();
        stage = loader->statusLabel->text();
        // The last stage stays on screen for a moment, without stopping the program meanwhile.
        openAfterReports = loader->isVisible();
        closedByItself = QTest::qWaitFor([loader] { return !loader->isVisible(); },
                                         closes ? 5000 : Loader::kCloseDelayMs + 200);
        closedAfterMs = clock.elapsed();
        longestStallMs = heartbeat.longestStallMs();
        if (!closedByItself)
            ModalAnswerer::reject(modal);
    });
    emit device.openLoader(QStringLiteral("Идёт калибровка"));
    QTRY_VERIFY_WITH_TIMEOUT(answerer.answered(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 8000);
    QCOMPARE(title, QStringLiteral("Идёт калибровка"));
    QCOMPARE(value, shown);
    QCOMPARE(stage, QStringLiteral("Этап %1").arg(progress.last()));
    QVERIFY(openAfterReports);
    QCOMPARE(closedByItself, closes);
    if (closes) {
        QVERIFY2(closedAfterMs >= Loader::kCloseDelayMs - 20,
                 qPrintable(QString::number(closedAfterMs)));
        QVERIFY2(longestStallMs < 300,
                 qPrintable(QStringLiteral("GUI stall %1 ms").arg(longestStallMs)));
    }
}

void TestLoaderAndTerminal::loaderCancel()
{
    rig = std::make_unique<PanelRig>();
    rig->build([](Settings &) {}, false);
    Loader loader(rig->panel, QStringLiteral("Идёт поиск минимума"));
    loader.show();
    QStringList order;
    connect(&loader, &Loader::loaderCanceled, this,
            [&] { order << (loader.isVisible() ? "cancel while shown" : "cancel after close"); });
    connect(&loader, &QDialog::finished, this, [&] { order << "closed"; });
    QVERIFY(QTest::qWaitForWindowExposed(&loader));
    const GrabResult grab = grabWindow(&loader, QStringLiteral("loader_plain"));
    VERIFY_GRAB(grab);
    emit loader.cancelButton->released();
    QCOMPARE(order, (QStringList {"cancel while shown", "closed"}));
    QVERIFY(!loader.isVisible());
}

void TestLoaderAndTerminal::terminalSends_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("returnKey");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("echo");
    QTest::newRow("button adds the line break to the echo")
        << "CP" << false << QByteArray("CP") << "CP\n";
    QTest::newRow("return sends the line") << "CP" << true << QByteArray("CP") << "CP\n";
    QTest::newRow("pasted lines go joined") << "CP\nCM" << false << QByteArray("CPCM") << "CP\nCM";
    QTest::newRow("empty entry sends nothing") << "" << false << QByteArray() << "";
    // Return on an empty entry: nothing to send, and the link is not handed an empty text.
    QTest::newRow("line breaks alone send nothing") << "" << true << QByteArray() << "";
}

void TestLoaderAndTerminal::terminalSends()
{
    QFETCH(QString, entry);
    QFETCH(bool, returnKey);
    QFETCH(QByteArray, sent);
    QFETCH(QString, echo);
    rig = std::make_unique<PanelRig>();
    QVERIFY(rig->connect(SimulatedInstrument::Profilometer));
    TermiteDialog terminal(rig->window.get(), &rig->panel->device);
    terminal.show();
    QVERIFY(QTest::qWaitForWindowExposed(&terminal));
    auto *input = terminal.findChild<QTextEdit *>(QStringLiteral("enterTextEdit"));
    auto *display = terminal.findChild<QPlainTextEdit *>(QStringLiteral("displayPlainTextEdit"));
    input->setFocus();
    input->setPlainText(entry);
    if (returnKey) {
        input->moveCursor(QTextCursor::End);
        QTest::keyClick(input, Qt::Key_Return);
    } else if (!entry.contains('\n')) {
        terminal.findChild<QPushButton *>(QStringLiteral("enterPushButton"))->click();
    }
    // The display holds the echo as typed (a plain text edit shows a final line break as an empty
    // last line).
    QCOMPARE(display->toPlainText(), echo);
    QCOMPARE(input->toPlainText(), QString());
    // A later command still goes out: nothing held the link up.
    rig->panel->device.sendRawText(QStringLiteral("CV"));
    QVERIFY(rig->waitForCommand("CV"));
    QCOMPARE(rig->sim->received, sent + "CV");
}

void TestLoaderAndTerminal::terminalReceives()
{
    rig = std::make_unique<PanelRig>();
    rig->build([](Settings &) {}, false);
    Device &device = rig->panel->device;
    TermiteDialog terminal(rig->window.get(), &device);
    auto *display = terminal.findChild<QPlainTextEdit *>(QStringLiteral("displayPlainTextEdit"));
    auto *input = terminal.findChild<QTextEdit *>(QStringLiteral("enterTextEdit"));
    QVERIFY(display->isReadOnly());
    QVERIFY(!terminal.findChild<QPushButton *>(QStringLiteral("startPushButton"))->isEnabled());

    int insertions = 0;
    connect(display->document(), &QTextDocument::contentsChange, this,
            [&](int, int, int added) { insertions += added > 0 ? 1 : 0; });
    emit device.rowDataFromDevice(QStringLiteral("ab"));
    emit device.rowDataFromDevice(QStringLiteral("cd"));
    emit device.rowDataFromDevice(QStringLiteral("ef"));
    QCOMPARE(display->toPlainText(), QString());
    QTRY_COMPARE(display->toPlainText(), QStringLiteral("abcdef"));
    QCOMPARE(insertions, 1);

    // An echo goes where the user put the cursor; received text still goes to the end.
    QTextCursor cursor = display->textCursor();
    cursor.setPosition(3);
    display->setTextCursor(cursor);
    input->setPlainText(QStringLiteral("X"));
    terminal.findChild<QPushButton *>(QStringLiteral("enterPushButton"))->click();
    QCOMPARE(display->toPlainText(), QStringLiteral("abcX\ndef"));
    emit device.rowDataFromDevice(QStringLiteral("!"));
    QTRY_COMPARE(display->toPlainText(), QStringLiteral("abcX\ndef!"));

    // Stopped: received text is dropped for good, also after Start.
    terminal.findChild<QPushButton *>(QStringLiteral("stopPushButton"))->click();
    emit device.rowDataFromDevice(QStringLiteral("lost"));
    terminal.findChild<QPushButton *>(QStringLiteral("startPushButton"))->click();
    QTest::qWait(250);
    QCOMPARE(display->toPlainText(), QStringLiteral("abcX\ndef!"));

    // Clear empties the display; what came in the same moment is shown right after.
    emit device.rowDataFromDevice(QStringLiteral("next"));
    terminal.findChild<QPushButton *>(QStringLiteral("clearPushButton"))->click();
    QTRY_COMPARE(display->toPlainText(), QStringLiteral("next"));

    const GrabResult grab = grabWindow(&terminal, QStringLiteral("terminal"));
    VERIFY_GRAB(grab);
}

GUI_TEST_MAIN(TestLoaderAndTerminal)
#include "tst_LoaderAndTerminal.moc"
