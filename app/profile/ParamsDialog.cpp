#include "profile/ParamsDialog.h"

#include "core/Settings.h"
#include "processing/ParameterCatalogue.h"

#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

namespace {

// A parameter list that takes drops from itself and its partner list only: names never come
// from other widgets or programs.
class ParamsListWidget : public QListWidget
{
public:
    using QListWidget::QListWidget;

    QListWidget *partner = nullptr;

protected:
    void dragEnterEvent(QDragEnterEvent *event) override
    {
        if (accepts(event))
            QListWidget::dragEnterEvent(event);
        else
            event->ignore();
    }
    void dragMoveEvent(QDragMoveEvent *event) override
    {
        if (accepts(event))
            QListWidget::dragMoveEvent(event);
        else
            event->ignore();
    }
    void dropEvent(QDropEvent *event) override
    {
        if (accepts(event))
            QListWidget::dropEvent(event);
        else
            event->ignore();
    }

private:
    bool accepts(const QDropEvent *event) const
    {
        return event->source() == this || (partner && event->source() == partner);
    }
};

ParamsListWidget *makeList(QWidget *parent)
{
    auto *list = new ParamsListWidget(parent);
    list->setDragEnabled(true);
    list->setAcceptDrops(true);
    list->setDropIndicatorShown(true);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setDragDropMode(QAbstractItemView::DragDrop);
    list->setDefaultDropAction(Qt::MoveAction);
    return list;
}

void fill(QListWidget *list, const QMap<int, QString> &names, int count, QSet<QString> *shown)
{
    for (int i = 0; i < count; ++i) {
        const QString name = names.value(i);
        // A gap in the stored list or a repeated name gives no empty or duplicate row.
        if (name.isEmpty() || shown->contains(name))
            continue;
        shown->insert(name);
        list->addItem(name);
    }
}

void moveSelected(QListWidget *from, QListWidget *to)
{
    const QList<QListWidgetItem *> selected = from->selectedItems();
    for (QListWidgetItem *item : selected)
        to->addItem(from->takeItem(from->row(item)));
}

QMap<int, QString> namesOf(const QListWidget *list)
{
    QMap<int, QString> names;
    for (int i = 0; i < list->count(); ++i)
        names.insert(i, list->item(i)->text());
    return names;
}

} // namespace

ParamsDialog::ParamsDialog(QWidget *parent)
    : QDialog(parent)
{
    auto *enabled = makeList(this);
    auto *disabled = makeList(this);
    enabled->partner = disabled;
    disabled->partner = enabled;
    enabledList = enabled;
    disabledList = disabled;
    toDisabledButton = new QPushButton(QStringLiteral("->"), this);
    toEnabledButton = new QPushButton(QStringLiteral("<-"), this);
    okButton = new QPushButton(QStringLiteral("Ок"), this);
    cancelButton = new QPushButton(QStringLiteral("Отмена"), this);

    auto *enabledColumn = new QVBoxLayout;
    enabledColumn->addWidget(new QLabel(QStringLiteral("Отображённые параметры"), this));
    enabledColumn->addWidget(enabledList);
    auto *buttonColumn = new QVBoxLayout;
    buttonColumn->addWidget(toEnabledButton);
    buttonColumn->addWidget(toDisabledButton);
    auto *disabledColumn = new QVBoxLayout;
    disabledColumn->addWidget(new QLabel(QStringLiteral("Список параметров"), this));
    disabledColumn->addWidget(disabledList);
    auto *lists = new QHBoxLayout;
    lists->addLayout(enabledColumn);
    lists->addLayout(buttonColumn);
    lists->addLayout(disabledColumn);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(lists);
    layout->addLayout(buttons);

    connect(toDisabledButton, &QPushButton::clicked, this, &ParamsDialog::moveToDisabled);
    connect(toEnabledButton, &QPushButton::clicked, this, &ParamsDialog::moveToEnabled);
    connect(okButton, &QPushButton::released, this, [this] { saveParams(); });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    const PreferencesSettings &p = Settings::instance()->preferences;
    QSet<QString> shown;
    fill(enabledList, p.enabled_params, p.enabled_params_count, &shown);
    fill(disabledList, p.disabled_params, p.disabled_params_count, &shown);
    // Every known parameter can be chosen, also one that a damaged list lost.
    for (const QString &name : parameterCatalogueOrder()) {
        if (!shown.contains(name))
            disabledList->addItem(name);
    }
    setWindowTitle(QStringLiteral("Настройки"));
}

ParamsDialog::~ParamsDialog() = default;

void ParamsDialog::moveToDisabled()
{
    moveSelected(enabledList, disabledList);
}

void ParamsDialog::moveToEnabled()
{
    moveSelected(disabledList, enabledList);
}

void ParamsDialog::saveParams()
{
    const QMap<int, QString> enabled = namesOf(enabledList);
    const QMap<int, QString> disabled = namesOf(disabledList);
    Settings::modify([&](Settings &s) {
        s.preferences.enabled_params_count = enabled.size();
        s.preferences.enabled_params = enabled;
        s.preferences.disabled_params_count = disabled.size();
        s.preferences.disabled_params = disabled;
    });
    accept();
}
