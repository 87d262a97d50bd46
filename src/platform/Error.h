#pragma once

#include <QString>
#include <QVariantMap>

// The one error value of the system: a domain, a code and a user-info dictionary, as every
// failure block and error out-parameter hands it on.
struct Error
{
    QString domain;
    qint64 code = 0;
    QVariantMap userInfo;

    // User-info keys the system reads.
    static constexpr auto kLocalizedDescriptionKey = "NSLocalizedDescription";
    static constexpr auto kLocalizedFailureReasonKey = "NSLocalizedFailureReason";
    static constexpr auto kUnderlyingErrorKey = "NSUnderlyingError";
    static constexpr auto kURLErrorFailingURLErrorKey = "NSErrorFailingURLKey";

    static constexpr auto kURLErrorDomain = "NSURLErrorDomain";
    static constexpr auto kCocoaErrorDomain = "NSCocoaErrorDomain";

    Error() = default;
    Error(QString domain_, qint64 code_, QVariantMap userInfo_ = {})
        : domain(std::move(domain_)), code(code_), userInfo(std::move(userInfo_)) {}

    // The description from the user info, or "The operation couldn't be completed. (domain error code.)".
    QString localizedDescription() const;

    bool operator==(const Error& other) const = default;
};

Q_DECLARE_METATYPE(Error)
