#pragma once

#include "platform/Prompts.h"

#include <QList>
#include <QVariant>

namespace testsupport {

// Answers the program's prompts (Prompts::instance()) from a script while it lives, and records
// every prompt asked. Answers are taken in order, one per prompt; an invalid QVariant (or an empty
// script) means the user cancelled: a message box then returns its default button (else the first
// of Ok, Yes, No, Cancel it has), a file dialog an empty name, an input dialog ok = false, the
// colour dialog an invalid colour, a menu no action.
//
//     ScriptedPrompts prompts;
//     prompts.answers << QMessageBox::Yes << QStringLiteral("/tmp/out.txt");
//     window.saveAll();
//     QCOMPARE(prompts.asked.at(0).title, QStringLiteral("Сохранение"));
//
// Answer types: a QMessageBox::StandardButton (as int) for message boxes; for a question with a
// check box the button, or a QVariantList of the button and the check box's state (recorded as
// kind "question"); a QString for file names, texts and items, and for a menu the text of the
// action to choose; a QStringList for several file names; a double or int for number inputs; a
// QColor for the colour dialog. File dialogs record their filter in `filter`.
class ScriptedPrompts : public Prompts
{
public:
    struct Asked
    {
        QString kind; // "warning", "critical", "information", "question", "open", "openMany",
                      // "save", "directory", "text", "double", "int", "item", "color", "menu"
        QString title;
        QString text; // message text, dialog label or menu titles
        QString filter; // the filter of a file dialog
    };

    ScriptedPrompts();
    ~ScriptedPrompts() override;

    QList<QVariant> answers;
    QList<Asked> asked;

    QStringList kinds() const;

    QMessageBox::StandardButton message(QMessageBox::Icon icon, QWidget *parent,
                                        const QString &title, const QString &text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override;
    QMessageBox::StandardButton questionWithCheckBox(QWidget *parent, const QString &title,
                                                     const QString &text, const QString &checkText,
                                                     bool *checked) override;
    QString openFileName(QWidget *parent, const QString &caption, const QString &dir,
                         const QString &filter) override;
    QStringList openFileNames(QWidget *parent, const QString &caption, const QString &dir,
                              const QString &filter) override;
    QString saveFileName(QWidget *parent, const QString &caption, const QString &dir,
                         const QString &filter) override;
    QString existingDirectory(QWidget *parent, const QString &caption, const QString &dir) override;
    QString getText(QWidget *parent, const QString &title, const QString &label,
                    QLineEdit::EchoMode mode, const QString &text, bool *ok) override;
    double getDouble(QWidget *parent, const QString &title, const QString &label, double value,
                     double min, double max, int decimals, bool *ok) override;
    int getInt(QWidget *parent, const QString &title, const QString &label, int value, int min,
               int max, int step, bool *ok) override;
    QString getItem(QWidget *parent, const QString &title, const QString &label,
                    const QStringList &items, int current, bool editable, bool *ok) override;
    QColor getColor(const QColor &initial, QWidget *parent, const QString &title) override;
    QAction *execMenu(QMenu *menu, const QPoint &globalPos) override;

private:
    QVariant take(const QString &kind, const QString &title, const QString &text,
                  const QString &filter = QString());
};

} // namespace testsupport
