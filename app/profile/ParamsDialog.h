#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;

// The chooser of the parameters the trace list shows, and of their order: the displayed list on
// the left, the other known parameters on the right. Names move between the lists with the two
// buttons or by dragging, and change places by dragging within a list. "Ок" writes both lists
// into the settings; "Отмена" writes nothing.
class ParamsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ParamsDialog(QWidget *parent = nullptr);
    ~ParamsDialog() override;

    QListWidget *enabledList;
    QListWidget *disabledList;
    QPushButton *toDisabledButton;
    QPushButton *toEnabledButton;
    QPushButton *okButton;
    QPushButton *cancelButton;

private slots:
    void moveToDisabled();
    void moveToEnabled();

private:
    void saveParams();
};
