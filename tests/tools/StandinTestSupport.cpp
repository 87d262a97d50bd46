#include "StandinTestSupport.h"

#include "networking/AFNetManager.h"
#include "networking/AFURLRequestSerialization.h"

std::shared_ptr<Outcome> clientGet(const QString& url, double timeoutSeconds)
{
    auto outcome = std::make_shared<Outcome>();
    auto manager = AFHTTPSessionManager::manager();
    manager->requestSerializer()->setTimeoutInterval(timeoutSeconds);
    AFNetManager::requestWithUrlString(
        url, true, QVariant(), 1, nullptr, manager,
        [outcome](const std::shared_ptr<URLSessionDataTask>&, const QVariant& object) {
            ++outcome->finished;
            outcome->object = object;
        },
        [outcome](const std::shared_ptr<URLSessionDataTask>&, const Error& error) {
            ++outcome->failed;
            outcome->error = error;
        });
    return outcome;
}
