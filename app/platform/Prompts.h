#pragma once

#include <QColor>
#include <QLineEdit>
#include <QMessageBox>
#include <QString>
#include <QStringList>

class QAction;
class QMenu;
class QPoint;
class QWidget;

// Every modal prompt of the program (message boxes, file, input and colour dialogs, context
// menus) goes through Prompts::instance(), so that tests can answer them without a modal loop.
// The default instance calls the Qt statics, each with keyboard jogging blocked (JogBlocker).
//
// Use:
//     Prompts::instance()->warning(this, "Ошибка", "Файл не найден");
//     const QString path = Prompts::instance()->openFileName(this, "Открыть", dir, filter);
//     bool ok = false;
//     const double v = Prompts::instance()->getDouble(this, title, label, 1.0, 0.001, 1e12, 3,
//     &ok);
//
// Tests install their own subclass with Prompts::setInstance (null puts the default back).
class Prompts
{
public:
    virtual ~Prompts();

    static Prompts *instance();
    // Makes prompts the answering instance (not owned); null restores the default.
    static void setInstance(Prompts *prompts);

    // A message box with the given icon; returns the button chosen.
    virtual QMessageBox::StandardButton message(QMessageBox::Icon icon, QWidget *parent,
                                                const QString &title, const QString &text,
                                                QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton);

    QMessageBox::StandardButton warning(QWidget *parent, const QString &title, const QString &text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok);
    QMessageBox::StandardButton critical(QWidget *parent, const QString &title, const QString &text,
                                         QMessageBox::StandardButtons buttons = QMessageBox::Ok);
    QMessageBox::StandardButton information(QWidget *parent, const QString &title,
                                            const QString &text,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok);
    QMessageBox::StandardButton question(QWidget *parent, const QString &title, const QString &text,
                                         QMessageBox::StandardButtons buttons
                                         = QMessageBox::Yes | QMessageBox::No);

    // A question answered "Да" (Yes, the default) or "Нет" (No; closing the box counts as no),
    // with a check box labelled checkText whose state goes to *checked.
    virtual QMessageBox::StandardButton questionWithCheckBox(QWidget *parent, const QString &title,
                                                             const QString &text,
                                                             const QString &checkText,
                                                             bool *checked);

    // File dialogs: an empty result means cancelled.
    virtual QString openFileName(QWidget *parent, const QString &caption, const QString &dir,
                                 const QString &filter);
    virtual QStringList openFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                      const QString &filter);
    virtual QString saveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                 const QString &filter);
    virtual QString existingDirectory(QWidget *parent, const QString &caption, const QString &dir);

    // Input dialogs: *ok tells whether the user accepted.
    virtual QString getText(QWidget *parent, const QString &title, const QString &label,
                            QLineEdit::EchoMode mode, const QString &text, bool *ok);
    virtual double getDouble(QWidget *parent, const QString &title, const QString &label,
                             double value, double min, double max, int decimals, bool *ok);
    virtual int getInt(QWidget *parent, const QString &title, const QString &label, int value,
                       int min, int max, int step, bool *ok);
    virtual QString getItem(QWidget *parent, const QString &title, const QString &label,
                            const QStringList &items, int current, bool editable, bool *ok);

    // Colour dialog: an invalid colour means cancelled.
    virtual QColor getColor(const QColor &initial, QWidget *parent, const QString &title);

    // A context menu at a global position; returns the action chosen or null.
    virtual QAction *execMenu(QMenu *menu, const QPoint &globalPos);
};
