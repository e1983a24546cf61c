#include "profile/UniteTraceDialog.h"

#include "core/AbstractTrace.h"
#include "platform/DialogRunner.h"
#include "platform/Prompts.h"

#include <QButtonGroup>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

UniteTraceDialog::UniteTraceDialog(const QMap<int, AbstractTrace *> &traces, int leftTraceId,
                                   QWidget *parent)
    : QDialog(parent)
    , m_traces(traces)
{
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(QStringLiteral("Соединение трассы"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Какую трассу присоединить справа?"), this));
    m_group = new QButtonGroup(this);
    m_group->setExclusive(true);
    for (auto it = traces.cbegin(); it != traces.cend(); ++it) {
        const AbstractTrace *trace = it.value();
        if (it.key() == leftTraceId || !trace || trace->type == PROFILE
            || trace->type == ADDITIONAL_TRACE)
            continue;
        QString name = trace->name();
        name.remove(QStringLiteral(".txt"));
        auto *button = new QRadioButton(name, this);
        m_group->addButton(button, it.key());
        layout->addWidget(button);
    }
    m_uniteButton = new QPushButton(QStringLiteral("Соединить"), this);
    layout->addWidget(m_uniteButton);
    connect(m_uniteButton, &QPushButton::clicked, this, [this] { onAccept(); });
}

UniteTraceDialog::~UniteTraceDialog() = default;

void UniteTraceDialog::onAccept()
{
    QAbstractButton *checked = m_group->checkedButton();
    if (!checked) {
        Prompts::instance()->warning(this, QStringLiteral("Ошибка"),
                                     QStringLiteral("Ни одна трасса не выбрана!"));
        return;
    }
    const int id = m_group->id(checked);
    if (!m_traces.contains(id)) {
        Prompts::instance()->warning(this, QStringLiteral("Ошибка"),
                                     QStringLiteral("Выбранная трасса не найдена!"));
        return;
    }
    QInputDialog input(this, windowFlags());
    input.setWindowTitle(QStringLiteral("Укажите нахлёст"));
    input.setLabelText(QStringLiteral("Введите длину нахлёста(мм):"));
    input.setInputMode(QInputDialog::DoubleInput);
    input.setDoubleRange(0.01, 1000.0);
    input.setDoubleDecimals(2);
    input.setDoubleStep(0.01);
    input.setDoubleValue(10.0);
    if (runDialog(&input) != QDialog::Accepted)
        return;
    overlap = input.doubleValue();
    chosenTraceId = id;
    accept();
}
