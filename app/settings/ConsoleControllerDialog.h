#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

class AbstractTrace;
class QAction;
class QListWidgetItem;
class Ui_ConsoleControllerDialog;

// The editor of one of two stored lists: the controllers (the operators' names) or the consoles
// (named probe records). Names are renamed in place, removed with Delete or the context menu and,
// for controllers, added with "Добавить"; OK stores the list as shown, Cancel stores nothing.
// In consoles mode the context menu's "Откалибровать" makes the console current and runs a
// calibration of it on clones of the editor's traces.
class ConsoleControllerDialog : public QDialog
{
    Q_OBJECT

public:
    enum E_MODE { CONSOLES_MODE = 0, CONTROLLERS_MODE = 1 };

    ConsoleControllerDialog(int mode, const QList<AbstractTrace *> &traces,
                            QWidget *parent = nullptr);
    ~ConsoleControllerDialog() override;

    int mode;
    QList<AbstractTrace *> traceClones;
    Ui_ConsoleControllerDialog *ui;
    QAction *calibrateAction = nullptr;

    // Appends an editable item standing for the stored name (kept on the item as its name at
    // opening).
    QListWidgetItem *addListItem(const QString &name);
    // The name the item's record had when it was listed; invalid for an item added since.
    static QVariant nameAtOpening(const QListWidgetItem *item);
    void calibrateSelectedConsole();

signals:
    void setCurrentConsoleForAllTraces();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void initControllersMode();
    void initConsolesMode();
    void addController();
    void saveControllers();
    void saveConsoles();

    // The controller names listed at opening.
    QStringList m_listedAtOpening;
};
