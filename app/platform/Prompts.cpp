#include "platform/Prompts.h"

#include "platform/DialogRunner.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QPushButton>

namespace {
Prompts *&answering()
{
    static Prompts *current = nullptr;
    return current;
}
} // namespace

Prompts::~Prompts() = default;

Prompts *Prompts::instance()
{
    static Prompts standard;
    return answering() ? answering() : &standard;
}

void Prompts::setInstance(Prompts *prompts)
{
    answering() = prompts;
}

QMessageBox::StandardButton Prompts::message(QMessageBox::Icon icon, QWidget *parent,
                                             const QString &title, const QString &text,
                                             QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, title, text, buttons, parent);
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(runDialog(&box));
}

QMessageBox::StandardButton Prompts::warning(QWidget *parent, const QString &title,
                                             const QString &text,
                                             QMessageBox::StandardButtons buttons)
{
    return message(QMessageBox::Warning, parent, title, text, buttons, QMessageBox::NoButton);
}

QMessageBox::StandardButton Prompts::critical(QWidget *parent, const QString &title,
                                              const QString &text,
                                              QMessageBox::StandardButtons buttons)
{
    return message(QMessageBox::Critical, parent, title, text, buttons, QMessageBox::NoButton);
}

QMessageBox::StandardButton Prompts::information(QWidget *parent, const QString &title,
                                                 const QString &text,
                                                 QMessageBox::StandardButtons buttons)
{
    return message(QMessageBox::Information, parent, title, text, buttons, QMessageBox::NoButton);
}

QMessageBox::StandardButton Prompts::question(QWidget *parent, const QString &title,
                                              const QString &text,
                                              QMessageBox::StandardButtons buttons)
{
    return message(QMessageBox::Question, parent, title, text, buttons, QMessageBox::NoButton);
}

QMessageBox::StandardButton Prompts::questionWithCheckBox(QWidget *parent, const QString &title,
                                                          const QString &text,
                                                          const QString &checkText, bool *checked)
{
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
    box.setDefaultButton(QMessageBox::Yes);
    auto *check = new QCheckBox(checkText);
    box.setCheckBox(check);
    runDialog(&box);
    if (checked)
        *checked = check->isChecked();
    return box.clickedButton() == box.button(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::No;
}

QString Prompts::openFileName(QWidget *parent, const QString &caption, const QString &dir,
                              const QString &filter)
{
    JogBlocker blocker;
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QStringList Prompts::openFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                   const QString &filter)
{
    JogBlocker blocker;
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
}

QString Prompts::saveFileName(QWidget *parent, const QString &caption, const QString &dir,
                              const QString &filter)
{
    JogBlocker blocker;
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

QString Prompts::existingDirectory(QWidget *parent, const QString &caption, const QString &dir)
{
    JogBlocker blocker;
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}

QString Prompts::getText(QWidget *parent, const QString &title, const QString &label,
                         QLineEdit::EchoMode mode, const QString &text, bool *ok)
{
    JogBlocker blocker;
    return QInputDialog::getText(parent, title, label, mode, text, ok,
                                 Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

double Prompts::getDouble(QWidget *parent, const QString &title, const QString &label, double value,
                          double min, double max, int decimals, bool *ok)
{
    JogBlocker blocker;
    return QInputDialog::getDouble(parent, title, label, value, min, max, decimals, ok,
                                   Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

int Prompts::getInt(QWidget *parent, const QString &title, const QString &label, int value, int min,
                    int max, int step, bool *ok)
{
    JogBlocker blocker;
    return QInputDialog::getInt(parent, title, label, value, min, max, step, ok,
                                Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

QString Prompts::getItem(QWidget *parent, const QString &title, const QString &label,
                         const QStringList &items, int current, bool editable, bool *ok)
{
    JogBlocker blocker;
    return QInputDialog::getItem(parent, title, label, items, current, editable, ok,
                                 Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

QColor Prompts::getColor(const QColor &initial, QWidget *parent, const QString &title)
{
    JogBlocker blocker;
    return QColorDialog::getColor(initial, parent, title);
}

QAction *Prompts::execMenu(QMenu *menu, const QPoint &globalPos)
{
    if (!menu)
        return nullptr;
    JogBlocker blocker;
    return menu->exec(globalPos);
}
