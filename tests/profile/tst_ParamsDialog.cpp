#include "processing/ParameterCatalogue.h"
#include "profile/ParamsDialog.h"
#include "support/TempSettings.h"
#include "support/gui/GuiTest.h"
#include "support/gui/WindowGrab.h"

#include <QListWidget>
#include <QMimeData>
#include <QPushButton>

using namespace testsupport;

namespace {

QStringList texts(const QListWidget *list)
{
    QStringList result;
    for (int i = 0; i < list->count(); ++i)
        result << list->item(i)->text();
    return result;
}

QStringList catalogueWithout(const QStringList &names)
{
    QStringList result;
    for (const QString &name : parameterCatalogueOrder()) {
        if (!names.contains(name))
            result << name;
    }
    return result;
}

void select(QListWidget *list, const QStringList &names)
{
    list->clearSelection();
    for (const QString &name : names)
        list->findItems(name, Qt::MatchExactly).value(0)->setSelected(true);
}

QMap<int, QString> indexed(const QStringList &names)
{
    QMap<int, QString> map;
    for (int i = 0; i < names.size(); ++i)
        map.insert(i, names.at(i));
    return map;
}

} // namespace

class TestParamsDialog : public QObject
{
    Q_OBJECT

private slots:
    void freshSettingsShowRaAndTheOthers()
    {
        TempSettings settings;
        ParamsDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Настройки"));
        QCOMPARE(texts(dialog.enabledList), QStringList {"Ra"});
        QCOMPARE(texts(dialog.disabledList), catalogueWithout({"Ra"}));
        QCOMPARE(dialog.disabledList->count(), 55);
        QCOMPARE(dialog.toDisabledButton->text(), QStringLiteral("->"));
        QCOMPARE(dialog.toEnabledButton->text(), QStringLiteral("<-"));
        QCOMPARE(dialog.enabledList->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(dialog.enabledList->dragDropMode(), QAbstractItemView::DragDrop);
        QCOMPARE(dialog.enabledList->defaultDropAction(), Qt::MoveAction);
    }

    // Stored lists with gaps, repeats and lost names: no empty or repeated rows, and every
    // catalogue name can still be chosen (the lost ones at the end, in catalogue order).
    void damagedListsAreMended()
    {
        TempSettings settings([](Settings &s) {
            s.preferences.enabled_params = {{0, "Rz"}, {2, "Ra"}, {3, "Rz"}};
            s.preferences.enabled_params_count = 5;
            s.preferences.disabled_params = {{0, "Rq"}, {1, ""}};
            s.preferences.disabled_params_count = 2;
        });
        ParamsDialog dialog;
        QCOMPARE(texts(dialog.enabledList), (QStringList {"Rz", "Ra"}));
        QCOMPARE(texts(dialog.disabledList),
                 QStringList {"Rq"} + catalogueWithout({"Rz", "Ra", "Rq"}));
    }

    void movesAndOk_data()
    {
        QTest::addColumn<QStringList>("toDisabled");
        QTest::addColumn<QStringList>("toEnabled");
        QTest::addColumn<QStringList>("enabled");
        QTest::newRow("nothing selected") << QStringList() << QStringList() << QStringList {"Ra"};
        QTest::newRow("two names in, in selection order")
            << QStringList() << QStringList {"Rz", "Rq"} << QStringList {"Ra", "Rz", "Rq"};
        QTest::newRow("everything out") << QStringList {"Ra"} << QStringList() << QStringList();
        QTest::newRow("out and back at the end")
            << QStringList {"Ra"} << QStringList {"Rz", "Ra"} << QStringList {"Rz", "Ra"};
    }
    void movesAndOk()
    {
        QFETCH(QStringList, toDisabled);
        QFETCH(QStringList, toEnabled);
        QFETCH(QStringList, enabled);
        TempSettings settings;
        ParamsDialog dialog;
        select(dialog.enabledList, toDisabled);
        dialog.toDisabledButton->click();
        select(dialog.disabledList, toEnabled);
        dialog.toEnabledButton->click();
        QCOMPARE(texts(dialog.enabledList), enabled);
        QCOMPARE(dialog.enabledList->count() + dialog.disabledList->count(), 56);

        const QStringList disabled = texts(dialog.disabledList);
        dialog.okButton->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(settings->preferences.enabled_params, indexed(enabled));
        QCOMPARE(settings->preferences.disabled_params, indexed(disabled));
        QCOMPARE(settings.stored("preferenses/enabled_params_count").toInt(), enabled.size());
        QCOMPARE(settings.stored("preferenses/disabled_params_count").toInt(), disabled.size());
        for (int i = 0; i < enabled.size(); ++i)
            QCOMPARE(settings.stored(QStringLiteral("preferenses/enabled_%1").arg(i)).toString(),
                     enabled.at(i));
    }

    void reorderedListIsStoredInItsOrder()
    {
        TempSettings settings([](Settings &s) {
            s.preferences.enabled_params = indexed({"Ra", "Rz", "Rq"});
            s.preferences.enabled_params_count = 3;
        });
        ParamsDialog dialog;
        // What a drag of "Rq" to the top leaves in the list.
        dialog.enabledList->insertItem(0, dialog.enabledList->takeItem(2));
        dialog.okButton->click();
        QCOMPARE(settings->preferences.enabled_params, indexed({"Rq", "Ra", "Rz"}));
        QCOMPARE(settings.stored("preferenses/enabled_0").toString(), QStringLiteral("Rq"));
    }

    void cancelWritesNothing()
    {
        TempSettings settings;
        settings.forgetFile();
        const auto before = settings->preferences.enabled_params;
        ParamsDialog dialog;
        select(dialog.enabledList, {"Ra"});
        dialog.toDisabledButton->click();
        dialog.cancelButton->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(settings->preferences.enabled_params, before);
        QVERIFY(!settings.saved());
    }

    // Only the two lists exchange names: a drop from elsewhere (another widget, another
    // program) is refused.
    void foreignDropsAreRefused()
    {
        TempSettings settings;
        ParamsDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // Item data as another list widget of the program would send it.
        QListWidget elsewhere;
        elsewhere.addItem(QStringLiteral("Rzzz"));
        QMimeData *mime = elsewhere.model()->mimeData({elsewhere.model()->index(0, 0)});
        QVERIFY(dialog.enabledList->model()->canDropMimeData(mime, Qt::MoveAction, -1, 0, {}));
        const QPoint at = dialog.enabledList->viewport()->rect().center();
        QDragEnterEvent enter(at, Qt::MoveAction | Qt::CopyAction, mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(dialog.enabledList->viewport(), &enter);
        QVERIFY(!enter.isAccepted());
        QDropEvent drop(at, Qt::MoveAction | Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(dialog.enabledList->viewport(), &drop);
        QCOMPARE(texts(dialog.enabledList), QStringList {"Ra"});
        delete mime;
    }

    void grab()
    {
        TempSettings settings;
        ParamsDialog dialog;
        const GrabResult picture = grabWindow(&dialog, QStringLiteral("params_dialog"));
        VERIFY_GRAB(picture);
    }
};

GUI_TEST_MAIN(TestParamsDialog)
#include "tst_ParamsDialog.moc"
