#include "support/gui/ScriptedPrompts.h"

#include <QAction>
#include <QMenu>

namespace testsupport {

ScriptedPrompts::ScriptedPrompts()
{
    Prompts::setInstance(this);
}

ScriptedPrompts::~ScriptedPrompts()
{
    Prompts::setInstance(nullptr);
}

QStringList ScriptedPrompts::kinds() const
{
    QStringList result;
    for (const Asked &a : asked)
        result.append(a.kind);
    return result;
}

QVariant ScriptedPrompts::take(const QString &kind, const QString &title, const QString &text,
                               const QString &filter)
{
    asked.append({kind, title, text, filter});
    return answers.isEmpty() ? QVariant() : answers.takeFirst();
}

QMessageBox::StandardButton ScriptedPrompts::message(QMessageBox::Icon icon, QWidget *,
                                                     const QString &title, const QString &text,
                                                     QMessageBox::StandardButtons buttons,
                                                     QMessageBox::StandardButton defaultButton)
{
    static const QMap<int, QString> names = {{QMessageBox::Warning, "warning"},
                                             {QMessageBox::Critical, "critical"},
                                             {QMessageBox::Information, "information"},
                                             {QMessageBox::Question, "question"}};
    const QVariant answer = take(names.value(icon, "message"), title, text);
    if (answer.isValid())
        return static_cast<QMessageBox::StandardButton>(answer.toInt());
    if (defaultButton != QMessageBox::NoButton)
        return defaultButton;
    for (QMessageBox::StandardButton b :
         {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}) {
        if (buttons.testFlag(b))
            return b;
    }
    return QMessageBox::NoButton;
}

QMessageBox::StandardButton ScriptedPrompts::questionWithCheckBox(QWidget *, const QString &title,
                                                                  const QString &text,
                                                                  const QString &, bool *checked)
{
    const QVariant answer = take("question", title, text);
    const QVariantList parts
        = answer.type() == QVariant::List ? answer.toList() : QVariantList {answer};
    if (checked)
        *checked = parts.value(1).toBool();
    const QVariant button = parts.value(0);
    return button.isValid() ? static_cast<QMessageBox::StandardButton>(button.toInt())
                            : QMessageBox::Yes;
}

QString ScriptedPrompts::openFileName(QWidget *, const QString &caption, const QString &dir,
                                      const QString &filter)
{
    return take("open", caption, dir, filter).toString();
}

QStringList ScriptedPrompts::openFileNames(QWidget *, const QString &caption, const QString &dir,
                                           const QString &filter)
{
    return take("openMany", caption, dir, filter).toStringList();
}

QString ScriptedPrompts::saveFileName(QWidget *, const QString &caption, const QString &dir,
                                      const QString &filter)
{
    return take("save", caption, dir, filter).toString();
}

QString ScriptedPrompts::existingDirectory(QWidget *, const QString &caption, const QString &dir)
{
    return take("directory", caption, dir).toString();
}

QString ScriptedPrompts::getText(QWidget *, const QString &title, const QString &label,
                                 QLineEdit::EchoMode, const QString &text, bool *ok)
{
    const QVariant answer = take("text", title, label);
    if (ok)
        *ok = answer.isValid();
    return answer.isValid() ? answer.toString() : text;
}

double ScriptedPrompts::getDouble(QWidget *, const QString &title, const QString &label,
                                  double value, double, double, int, bool *ok)
{
    const QVariant answer = take("double", title, label);
    if (ok)
        *ok = answer.isValid();
    return answer.isValid() ? answer.toDouble() : value;
}

int ScriptedPrompts::getInt(QWidget *, const QString &title, const QString &label, int value, int,
                            int, int, bool *ok)
{
    const QVariant answer = take("int", title, label);
    if (ok)
        *ok = answer.isValid();
    return answer.isValid() ? answer.toInt() : value;
}

QString ScriptedPrompts::getItem(QWidget *, const QString &title, const QString &label,
                                 const QStringList &items, int current, bool, bool *ok)
{
    const QVariant answer = take("item", title, label);
    if (ok)
        *ok = answer.isValid();
    return answer.isValid() ? answer.toString() : items.value(current);
}

QColor ScriptedPrompts::getColor(const QColor &, QWidget *, const QString &title)
{
    const QVariant answer = take("color", title, QString());
    return answer.isValid() ? answer.value<QColor>() : QColor();
}

QAction *ScriptedPrompts::execMenu(QMenu *menu, const QPoint &)
{
    QStringList texts;
    for (QAction *action : menu->actions())
        texts.append(action->text());
    const QVariant answer = take("menu", menu->title(), texts.join(QLatin1Char('|')));
    if (!answer.isValid())
        return nullptr;
    for (QAction *action : menu->actions()) {
        if (action->text() == answer.toString()) {
            // A menu run with exec triggers the chosen action before it returns it.
            action->activate(QAction::Trigger);
            return action;
        }
    }
    return nullptr;
}

} // namespace testsupport
