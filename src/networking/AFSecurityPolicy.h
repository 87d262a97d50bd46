#pragma once

#include "networking/ServerTrust.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QSslKey>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <optional>

// Decides whether the certificates a server presents are accepted. A plain value: copies are
// independent, and evaluation may run on any thread.
class AFSecurityPolicy
{
public:
    // Values of SSLPinningMode.
    static constexpr uint64_t kSSLPinningModeNone = 0;
    static constexpr uint64_t kSSLPinningModePublicKey = 1;
    static constexpr uint64_t kSSLPinningModeCertificate = 2;

    // The text logged when a domain is to be validated while invalid certificates are allowed
    // and nothing is pinned.
    static constexpr const char* kSelfSignedNeedsPinningMessage =
        "In order to validate a domain name for self signed certificates, you MUST use pinning.";

    // init: no pinning, invalid certificates refused, the domain name validated.
    AFSecurityPolicy() = default;

    // No pinning: accepted exactly when the chain is valid for the host.
    static AFSecurityPolicy defaultPolicy();
    // The mode with defaultPinnedCertificates().
    static AFSecurityPolicy policyWithPinningMode(uint64_t pinningMode);
    static AFSecurityPolicy policyWithPinningMode(uint64_t pinningMode,
                                                  const std::optional<QSet<QByteArray>>& pinnedCertificates);
    // certificatesInBundle() of the program's resources (":/"), read once.
    static QSet<QByteArray> defaultPinnedCertificates();
    // The bytes of every "*.cer" file directly in the folder.
    static QSet<QByteArray> certificatesInBundle(const QString& directory);

    uint64_t SSLPinningMode() const { return m_SSLPinningMode; }
    void setSSLPinningMode(uint64_t mode) { m_SSLPinningMode = mode; }
    bool allowInvalidCertificates() const { return m_allowInvalidCertificates; }
    void setAllowInvalidCertificates(bool allow) { m_allowInvalidCertificates = allow; }
    bool validatesDomainName() const { return m_validatesDomainName; }
    void setValidatesDomainName(bool validates) { m_validatesDomainName = validates; }

    // DER certificates; unset is "none given".
    const std::optional<QSet<QByteArray>>& pinnedCertificates() const { return m_pinnedCertificates; }
    // Also recomputes pinnedPublicKeys(): unset for unset, else the keys of the certificates that
    // can be read (one entry per distinct key).
    void setPinnedCertificates(const std::optional<QSet<QByteArray>>& certificates);
    const std::optional<QList<QSslKey>>& pinnedPublicKeys() const { return m_pinnedPublicKeys; }

    // The verdict on the server trust for the host; an empty domain is "no domain".
    bool evaluateServerTrust(const ServerTrust& serverTrust, const QString& domain) const;

    // Archiving under keys named after the properties; a missing key leaves init's value.
    QVariantMap encodeWithCoder() const;
    static AFSecurityPolicy initWithCoder(const QVariantMap& coder);

private:
    uint64_t m_SSLPinningMode = kSSLPinningModeNone;
    std::optional<QSet<QByteArray>> m_pinnedCertificates;
    std::optional<QList<QSslKey>> m_pinnedPublicKeys;
    bool m_allowInvalidCertificates = false;
    bool m_validatesDomainName = true;
};
