#include "profile/AnalisysWidget.h"

#include "core/Logger.h"
#include "dataproviders/DataProvider.h"
#include "platform/Prompts.h"

AnalisysWidget::AnalisysWidget(const QString &name)
    : QMainWindow(nullptr)
    , m_name(name)
{ }

AnalisysWidget::~AnalisysWidget()
{
    // The provider's destructor stops its worker and waits for it.
    delete provider;
}

bool AnalisysWidget::setDataProvider(DataProvider *newProvider)
{
    if (newProvider == provider)
        return newProvider != nullptr;
    if (provider && provider->isReading()) {
        logger.log(INFO, "New data source refused: a read is in progress");
        delete newProvider;
        refuseRunningRead();
        // The read that was to follow must not restart the provider that is still held.
        m_refused = true;
        return false;
    }
    m_refused = false;
    if (provider) {
        disconnect(provider, nullptr, this, nullptr);
        // Notifications it queued before finishing still reach the slots, which ask it for its
        // trace: it goes once they are delivered.
        provider->deleteLater();
    }
    provider = newProvider;
    followProvider(provider);
    return provider != nullptr;
}

void AnalisysWidget::followProvider(DataProvider *followed)
{
    if (!followed)
        return;
    connect(followed, &DataProvider::dataReadStarted, this, &AnalisysWidget::dataReadStarted);
    connect(followed, &DataProvider::dataReadFinished, this, &AnalisysWidget::dataReadFinished);
    connect(followed, &DataProvider::dataBatchReady, this, &AnalisysWidget::dataBatchReady);
    connect(followed, &DataProvider::dataReset, this, &AnalisysWidget::dataReset);
    connect(followed, &DataProvider::dataReadError, this, &AnalisysWidget::dataReadError);
}

bool AnalisysWidget::startReading(int traceKind)
{
    if (m_refused) {
        m_refused = false;
        return false;
    }
    if (!provider)
        return false;
    if (provider->isReading()) {
        refuseRunningRead();
        return false;
    }
    AbstractTrace *trace = createTrace(traceKind);
    if (!trace) {
        logger.log(INFO, "No trace of kind " + std::to_string(traceKind) + " to read into");
        return false;
    }
    provider->start(trace);
    return true;
}

void AnalisysWidget::refuseRunningRead()
{
    Prompts::instance()->warning(this, QStringLiteral("Ошибка"),
                                 QStringLiteral("Трасса ещё читается. Дождитесь окончания "
                                                "чтения и повторите."));
}

AbstractTrace *AnalisysWidget::createTrace(int)
{
    return nullptr;
}

void AnalisysWidget::dataReadStarted() { }

void AnalisysWidget::dataBatchReady(int, int) { }

void AnalisysWidget::dataReadFinished() { }

void AnalisysWidget::dataReadError(QString) { }

void AnalisysWidget::dataReset() { }
