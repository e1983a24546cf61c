#include "platform/DotToCommaFilter.h"

#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QVariant>

namespace {
// Marks a spin box that has its filter, so that the guard installs only one.
const char *const kFilterProperty = "dotToCommaFilter";
} // namespace

DotToCommaFilter::DotToCommaFilter(QObject *parent)
    : QObject(parent)
{ }

const QString &DotToCommaFilter::periodLikeKeys()
{
    static const QString keys = QStringLiteral(".?/юЮбБ<>");
    return keys;
}

bool DotToCommaFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (!key->text().isEmpty() && periodLikeKeys().contains(key->text())) {
            QKeyEvent comma(QEvent::KeyPress, Qt::Key_Comma, key->modifiers(), QStringLiteral(","),
                            false, 1);
            QCoreApplication::sendEvent(watched, &comma);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

DotToCommaFilter *installDotToCommaFilter(QDoubleSpinBox *spinBox)
{
    if (!spinBox)
        return nullptr;
    QObject *existing = spinBox->property(kFilterProperty).value<QObject *>();
    if (existing)
        return static_cast<DotToCommaFilter *>(existing);
    auto *filter = new DotToCommaFilter(spinBox);
    spinBox->installEventFilter(filter);
    spinBox->setProperty(kFilterProperty, QVariant::fromValue<QObject *>(filter));
    return filter;
}

void installDotToCommaFilters(QWidget *root)
{
    if (!root)
        return;
    if (auto *spin = qobject_cast<QDoubleSpinBox *>(root))
        installDotToCommaFilter(spin);
    const QList<QDoubleSpinBox *> spins = root->findChildren<QDoubleSpinBox *>();
    for (QDoubleSpinBox *spin : spins)
        installDotToCommaFilter(spin);
}

void DecimalCommaGuard::install()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || app->property(kFilterProperty).toBool())
        return;
    auto *guard = new DecimalCommaGuard(app);
    app->installEventFilter(guard);
    app->setProperty(kFilterProperty, true);
}

bool DecimalCommaGuard::eventFilter(QObject *watched, QEvent *event)
{
    // Polish reaches every widget once before it is first shown; it is a rare event, so the
    // cost of the guard on the event stream is one comparison.
    if (event->type() == QEvent::Polish) {
        if (auto *spin = qobject_cast<QDoubleSpinBox *>(watched))
            installDotToCommaFilter(spin);
    }
    return false;
}
