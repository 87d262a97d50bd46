#pragma once

// What the session manager tests share: a record of one completion, requests, managers with a
// raw body serializer, and a plain and a TLS server side by side.

#include "networking/AFSecurityPolicy.h"
#include "networking/AFURLSessionManager.h"
#include "platform/Dispatch.h"

#include "LoopbackHttpServer.h"
#include "TestCertificates.h"
#include "TestEnvironment.h"

#include <memory>
#include <optional>
#include <source_location>

namespace {

struct Outcome
{
    int calls = 0;
    bool onMainThread = false;
    std::optional<HTTPURLResponse> response;
    QVariant object;
    std::optional<Error> error;
};

inline AFURLSessionCompletionHandler recordInto(const std::shared_ptr<Outcome>& outcome)
{
    return [outcome](const std::optional<HTTPURLResponse>& response, const QVariant& object,
                     const std::optional<Error>& error) {
        ++outcome->calls;
        outcome->onMainThread = dispatch::isMainThread();
        outcome->response = response;
        outcome->object = object;
        outcome->error = error;
    };
}

inline bool waitForCompletion(const std::shared_ptr<Outcome>& outcome, int timeoutMs = 20000,
                              std::source_location where = std::source_location::current())
{
    return waitUntil([&] { return outcome->calls > 0; }, timeoutMs, where);
}

inline URLRequest request(const QUrl& url, const QString& method = QStringLiteral("GET"))
{
    URLRequest r;
    r.URL = url;
    r.HTTPMethod = method;
    return r;
}

inline std::shared_ptr<AFURLSessionManager> rawManager()
{
    auto manager = std::make_shared<AFURLSessionManager>();
    manager->setResponseSerializer(AFHTTPResponseSerializer::serializer());
    return manager;
}

// A plain server and a TLS server whose certificate the returned manager's policy accepts.
struct TwoSchemes
{
    LoopbackHttpServer plain;
    LoopbackHttpServer secure{{testcerts::certificates().selfSigned.certificate},
                              testcerts::certificates().selfSigned.privateKey};

    std::shared_ptr<AFURLSessionManager> manager() const
    {
        auto m = rawManager();
        AFSecurityPolicy pinned = AFSecurityPolicy::policyWithPinningMode(
            AFSecurityPolicy::kSSLPinningModeCertificate,
            QSet<QByteArray>{testcerts::certificates().selfSigned.certificate.toDer()});
        pinned.setAllowInvalidCertificates(true);
        m->setSecurityPolicy(pinned);
        return m;
    }
};

inline LoopbackReply redirectTo(int status, const QUrl& url)
{
    return LoopbackReply::text(status, "").withHeader("Location", url.toEncoded());
}

}  // namespace
