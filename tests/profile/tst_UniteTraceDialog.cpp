#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "platform/DialogRunner.h"
#include "profile/UniteTraceDialog.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDoubleSpinBox>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <memory>
#include <vector>

using namespace testsupport;

namespace {

// Traces of the list, kept alive for the test; ids ascend in creation order.
struct TraceSet
{
    AbstractTrace *add(AbstractTrace *trace, const QString &name, int type)
    {
        trace->setName(name);
        trace->setType(type);
        owned.emplace_back(trace);
        map.insert(trace->id, trace);
        return trace;
    }
    AbstractTrace *contour(const QString &name) { return add(new ContourTrace, name, CONTOUR); }

    std::vector<std::unique_ptr<AbstractTrace>> owned;
    QMap<int, AbstractTrace *> map;
};

QStringList offered(const UniteTraceDialog &dialog)
{
    QStringList names;
    for (QAbstractButton *button : dialog.traceButtons()->buttons())
        names << button->text();
    return names;
}

QAbstractButton *buttonOf(const UniteTraceDialog &dialog, int traceId)
{
    return dialog.traceButtons()->button(traceId);
}

// Answers the overlap prompt with a value, or cancels it (value < 0); records its settings.
struct OverlapAnswer
{
    explicit OverlapAnswer(double value)
        : interceptor([this, value](QDialog *dialog) {
            auto *input = qobject_cast<QInputDialog *>(dialog);
            QVERIFY(input);
            title = input->windowTitle();
            label = input->labelText();
            initial = input->doubleValue();
            minimum = input->doubleMinimum();
            maximum = input->doubleMaximum();
            decimals = input->doubleDecimals();
            step = input->doubleStep();
            if (value < 0) {
                input->reject();
            } else {
                input->setDoubleValue(value);
                input->accept();
            }
        })
    { }
    DialogInterceptor interceptor;
    QString title;
    QString label;
    double initial = 0, minimum = 0, maximum = 0, step = 0;
    int decimals = 0;
};

} // namespace

class TestUniteTraceDialog : public QObject
{
    Q_OBJECT

private slots:
    void offersTheOtherContourTraces()
    {
        TraceSet traces;
        AbstractTrace *left = traces.contour("left.txt");
        traces.contour("right.txt");
        traces.add(new ProfileTrace, "profile", PROFILE);
        traces.add(new ProfileTrace, "additional", ADDITIONAL_TRACE);
        traces.add(new ContourTrace, "prof.txt.txt", CONTOURPROF);
        traces.contour("Деталь_2024.TXT");
        UniteTraceDialog dialog(traces.map, left->id);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Соединение трассы"));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
        QVERIFY(dialog.findChild<QLabel *>()->text()
                == QStringLiteral("Какую трассу присоединить справа?"));
        QCOMPARE(offered(dialog), (QStringList {"right", "prof", "Деталь_2024.TXT"}));
        QVERIFY(dialog.traceButtons()->exclusive());
        QVERIFY(!dialog.traceButtons()->checkedButton());
        QCOMPARE(dialog.uniteButton()->text(), QStringLiteral("Соединить"));
    }

    void pressingWithoutAChoiceWarns()
    {
        TraceSet traces;
        AbstractTrace *left = traces.contour("left");
        traces.add(new ProfileTrace, "profile", PROFILE);
        ScriptedPrompts prompts;
        UniteTraceDialog dialog(traces.map, left->id);
        QVERIFY(offered(dialog).isEmpty());
        dialog.uniteButton()->click();
        QCOMPARE(prompts.kinds(), QStringList {"warning"});
        QCOMPARE(prompts.asked.at(0).title, QStringLiteral("Ошибка"));
        QCOMPARE(prompts.asked.at(0).text, QStringLiteral("Ни одна трасса не выбрана!"));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    // Two traces of one name are two buttons, each choosing its own trace.
    void sameNamesChooseTheirOwnTrace_data()
    {
        QTest::addColumn<int>("button");
        QTest::newRow("first of the pair") << 0;
        QTest::newRow("second of the pair") << 1;
    }
    void sameNamesChooseTheirOwnTrace()
    {
        QFETCH(int, button);
        TraceSet traces;
        AbstractTrace *left = traces.contour("left");
        const QVector<AbstractTrace *> twins {traces.contour("Деталь.txt"),
                                              traces.contour("Деталь")};
        UniteTraceDialog dialog(traces.map, left->id);
        QCOMPARE(offered(dialog), (QStringList {"Деталь", "Деталь"}));
        OverlapAnswer answer(2.5);
        buttonOf(dialog, twins.at(button)->id)->click();
        dialog.uniteButton()->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.chosenTraceId, twins.at(button)->id);
        QCOMPARE(dialog.overlap, 2.5);
        QCOMPARE(answer.title, QStringLiteral("Укажите нахлёст"));
        QCOMPARE(answer.label, QStringLiteral("Введите длину нахлёста(мм):"));
        QCOMPARE(answer.initial, 10.0);
        QCOMPARE(answer.minimum, 0.01);
        QCOMPARE(answer.maximum, 1000.0);
        QCOMPARE(answer.decimals, 2);
        QCOMPARE(answer.step, 0.01);
    }

    void cancellingTheOverlapKeepsTheDialogOpen()
    {
        TraceSet traces;
        AbstractTrace *left = traces.contour("left");
        AbstractTrace *right = traces.contour("right");
        UniteTraceDialog dialog(traces.map, left->id);
        buttonOf(dialog, right->id)->click();
        {
            OverlapAnswer cancel(-1);
            dialog.uniteButton()->click();
            QCOMPARE(cancel.interceptor.seen.size(), 1);
        }
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(buttonOf(dialog, right->id)->isChecked());
        OverlapAnswer answer(1000.0);
        dialog.uniteButton()->click();
        QCOMPARE(answer.interceptor.seen, QStringList {"Укажите нахлёст"});
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.chosenTraceId, right->id);
        QCOMPARE(dialog.overlap, 1000.0);
    }

    // The real prompt: typed values are held to 0.01 .. 1000 mm.
    void overlapPromptLimits_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("overlap");
        QTest::newRow("decimal comma") << "2,5" << 2.5;
        QTest::newRow("decimal point") << "0.25" << 0.25;
    }
    void overlapPromptLimits()
    {
        QFETCH(QString, typed);
        QFETCH(double, overlap);
        TraceSet traces;
        AbstractTrace *left = traces.contour("left");
        AbstractTrace *right = traces.contour("right");
        UniteTraceDialog dialog(traces.map, left->id);
        buttonOf(dialog, right->id)->click();
        DialogInterceptor typing([&](QDialog *prompt) {
            prompt->show();
            auto *spin = prompt->findChild<QDoubleSpinBox *>();
            QVERIFY(spin);
            QCOMPARE(spin->minimum(), 0.01);
            QCOMPARE(spin->maximum(), 1000.0);
            spin->setFocus();
            spin->selectAll();
            QTest::keyClicks(spin, typed);
            prompt->accept();
        });
        dialog.uniteButton()->click();
        QCOMPARE(dialog.overlap, overlap);
    }

    void grab()
    {
        TraceSet traces;
        AbstractTrace *left = traces.contour("left");
        traces.contour("Деталь_2024_05_17.txt");
        traces.contour("Деталь_2024_05_18.txt");
        UniteTraceDialog dialog(traces.map, left->id);
        const GrabResult picture = grabWindow(&dialog, QStringLiteral("unite_dialog"));
        VERIFY_GRAB(picture);
    }
};

GUI_TEST_MAIN(TestUniteTraceDialog)
#include "tst_UniteTraceDialog.moc"
