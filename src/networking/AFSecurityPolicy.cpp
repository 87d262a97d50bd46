#include "networking/AFSecurityPolicy.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QSslConfiguration>
#include <QUrl>
#include <QVariantList>

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <memory>

namespace {

struct X509Free { void operator()(X509* p) const { X509_free(p); } };
struct X509StackFree { void operator()(STACK_OF(X509)* p) const { sk_X509_pop_free(p, X509_free); } };
struct StoreFree { void operator()(X509_STORE* p) const { X509_STORE_free(p); } };
struct StoreCtxFree { void operator()(X509_STORE_CTX* p) const { X509_STORE_CTX_free(p); } };
using X509Ptr = std::unique_ptr<X509, X509Free>;
using X509StackPtr = std::unique_ptr<STACK_OF(X509), X509StackFree>;
using StorePtr = std::unique_ptr<X509_STORE, StoreFree>;
using StoreCtxPtr = std::unique_ptr<X509_STORE_CTX, StoreCtxFree>;

X509Ptr toX509(const QByteArray& der)
{
    if (der.isEmpty())
        return nullptr;
    const auto* data = reinterpret_cast<const unsigned char*>(der.constData());
    return X509Ptr(d2i_X509(nullptr, &data, static_cast<long>(der.size())));
}

QByteArray toDer(X509* certificate)
{
    const int size = i2d_X509(certificate, nullptr);
    if (size <= 0)
        return {};
    QByteArray der(size, Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(der.data());
    if (i2d_X509(certificate, &out) != size)
        return {};
    return der;
}

QList<QByteArray> derOf(const QList<QSslCertificate>& certificates)
{
    QList<QByteArray> der;
    der.reserve(certificates.size());
    for (const QSslCertificate& certificate : certificates)
        der.append(certificate.toDer());
    return der;
}

// What one evaluation of a trust gives: whether it is valid and the certificates of its chain,
// as built by the evaluation when it succeeded (so it ends at the anchor even when the server
// left the root out), otherwise as presented.
struct TrustEvaluation
{
    bool valid = false;
    QList<QByteArray> chain;
};

// Evaluates the trust with a server policy for the domain (an empty domain checks no name) when
// sslServerPolicy is set, else with plain chain validation.
TrustEvaluation evaluateTrust(const ServerTrust& trust, bool sslServerPolicy, const QString& domain)
{
    TrustEvaluation result;
    result.chain = derOf(trust.chain);
    if (result.chain.isEmpty())
        return result;

    X509Ptr leaf = toX509(result.chain.first());
    X509StackPtr untrusted(sk_X509_new_null());
    StorePtr store(X509_STORE_new());
    StoreCtxPtr context(X509_STORE_CTX_new());
    if (!leaf || !untrusted || !store || !context)
        return result;
    for (qsizetype i = 1; i < result.chain.size(); ++i) {
        X509Ptr certificate = toX509(result.chain[i]);
        if (certificate && sk_X509_push(untrusted.get(), certificate.get()) > 0)
            certificate.release();
    }

    if (trust.anchorCertificates) {
        for (const QSslCertificate& anchor : *trust.anchorCertificates) {
            if (X509Ptr certificate = toX509(anchor.toDer()))
                X509_STORE_add_cert(store.get(), certificate.get());
        }
    } else {
        // The system's certificate folder, looked up by subject hash as needed: loading the
        // whole bundle file would cost more than the evaluation itself.
        X509_LOOKUP* lookup = X509_STORE_add_lookup(store.get(), X509_LOOKUP_hash_dir());
        if (lookup)
            X509_LOOKUP_add_dir(lookup, nullptr, X509_FILETYPE_DEFAULT);
        for (const QSslCertificate& anchor : QSslConfiguration::defaultConfiguration().caCertificates()) {
            if (X509Ptr certificate = toX509(anchor.toDer()))
                X509_STORE_add_cert(store.get(), certificate.get());
        }
    }

    if (X509_STORE_CTX_init(context.get(), store.get(), leaf.get(), untrusted.get()) != 1)
        return result;
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context.get());
    // A pinned certificate is trusted as given, whether or not it is a self-signed root.
    if (trust.anchorCertificates)
        X509_VERIFY_PARAM_set_flags(param, X509_V_FLAG_PARTIAL_CHAIN);
    if (sslServerPolicy) {
        X509_STORE_CTX_set_purpose(context.get(), X509_PURPOSE_SSL_SERVER);
        if (!domain.isEmpty()) {
            const QHostAddress address(domain);
            if (!address.isNull()) {
                if (X509_VERIFY_PARAM_set1_ip_asc(param, address.toString().toLatin1().constData()) != 1)
                    return result;
            } else {
                const QByteArray host = QUrl::toAce(domain);
                X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
                if (host.isEmpty() || X509_VERIFY_PARAM_set1_host(param, host.constData(), host.size()) != 1)
                    return result;
            }
        }
    }

    result.valid = X509_verify_cert(context.get()) == 1;
    if (result.valid) {
        X509StackPtr built(X509_STORE_CTX_get1_chain(context.get()));
        if (built) {
            QList<QByteArray> chain;
            for (int i = 0; i < sk_X509_num(built.get()); ++i)
                chain.append(toDer(sk_X509_value(built.get(), i)));
            result.chain = chain;
        }
    }
    return result;
}

// The public key of DER certificate bytes, or a null key.
QSslKey publicKeyOf(const QByteArray& der)
{
    const QSslCertificate certificate(der, QSsl::Der);
    if (certificate.isNull())
        return {};
    return certificate.publicKey();
}

// Keys are equal when both can be exported and the exports match.
bool keysAreEqual(const QSslKey& a, const QSslKey& b)
{
    const QByteArray exportedA = a.isNull() ? QByteArray() : a.toPem();
    return !exportedA.isEmpty() && exportedA == (b.isNull() ? QByteArray() : b.toPem());
}

}  // namespace

AFSecurityPolicy AFSecurityPolicy::defaultPolicy()
{
    AFSecurityPolicy policy;
    policy.setSSLPinningMode(kSSLPinningModeNone);
    return policy;
}

AFSecurityPolicy AFSecurityPolicy::policyWithPinningMode(uint64_t pinningMode)
{
    return policyWithPinningMode(pinningMode, defaultPinnedCertificates());
}

AFSecurityPolicy AFSecurityPolicy::policyWithPinningMode(uint64_t pinningMode,
                                                         const std::optional<QSet<QByteArray>>& pinnedCertificates)
{
    AFSecurityPolicy policy;
    policy.setSSLPinningMode(pinningMode);
    policy.setPinnedCertificates(pinnedCertificates);
    return policy;
}

QSet<QByteArray> AFSecurityPolicy::defaultPinnedCertificates()
{
    static const QSet<QByteArray> certificates = certificatesInBundle(QStringLiteral(":/"));
    return certificates;
}

QSet<QByteArray> AFSecurityPolicy::certificatesInBundle(const QString& directory)
{
    QSet<QByteArray> certificates;
    const QDir folder(directory);
    const QStringList names =
        folder.entryList({QStringLiteral("*.cer")}, QDir::Files | QDir::Readable | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        QFile file(folder.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            certificates.insert(file.readAll());
    }
    return certificates;
}

void AFSecurityPolicy::setPinnedCertificates(const std::optional<QSet<QByteArray>>& certificates)
{
    m_pinnedCertificates = certificates;
    if (!certificates) {
        m_pinnedPublicKeys.reset();
        return;
    }
    QList<QSslKey> keys;
    for (const QByteArray& der : *certificates) {
        const QSslKey key = publicKeyOf(der);
        if (key.isNull() || key.toPem().isEmpty())
            continue;
        const bool known =
            std::any_of(keys.cbegin(), keys.cend(), [&](const QSslKey& other) { return keysAreEqual(key, other); });
        if (!known)
            keys.append(key);
    }
    m_pinnedPublicKeys = keys;
}

bool AFSecurityPolicy::evaluateServerTrust(const ServerTrust& serverTrust, const QString& domain) const
{
    const bool nothingPinned = !m_pinnedCertificates || m_pinnedCertificates->isEmpty();
    if (!domain.isEmpty() && m_allowInvalidCertificates && m_validatesDomainName &&
        (m_SSLPinningMode == kSSLPinningModeNone || nothingPinned)) {
        qInfo("%s", kSelfSignedNeedsPinningMessage);
        return false;
    }

    // Without domain validation the chain is checked as a plain X.509 chain: no name, no purpose.
    if (m_SSLPinningMode == kSSLPinningModeNone)
        return m_allowInvalidCertificates || evaluateTrust(serverTrust, m_validatesDomainName, domain).valid;

    const TrustEvaluation evaluation = evaluateTrust(serverTrust, m_validatesDomainName, domain);
    if (!evaluation.valid && !m_allowInvalidCertificates)
        return false;

    switch (m_SSLPinningMode) {
    case kSSLPinningModeCertificate: {
        if (!m_pinnedCertificates)
            return false;
        ServerTrust pinnedTrust = serverTrust;
        QList<QSslCertificate> anchors;
        for (const QByteArray& der : *m_pinnedCertificates) {
            const QSslCertificate certificate(der, QSsl::Der);
            if (!certificate.isNull())
                anchors.append(certificate);
        }
        pinnedTrust.anchorCertificates = anchors;
        const TrustEvaluation pinned = evaluateTrust(pinnedTrust, m_validatesDomainName, domain);
        if (!pinned.valid)
            return false;
        for (auto it = pinned.chain.crbegin(); it != pinned.chain.crend(); ++it) {
            if (m_pinnedCertificates->contains(*it))
                return true;
        }
        return false;
    }
    case kSSLPinningModePublicKey: {
        if (!m_pinnedPublicKeys)
            return false;
        int matches = 0;
        for (const QByteArray& der : evaluation.chain) {
            const QSslKey chainKey = publicKeyOf(der);
            for (const QSslKey& pinnedKey : *m_pinnedPublicKeys) {
                if (keysAreEqual(chainKey, pinnedKey))
                    ++matches;
            }
        }
        return matches > 0;
    }
    default:
        return false;
    }
}

QVariantMap AFSecurityPolicy::encodeWithCoder() const
{
    QVariantMap coder;
    coder.insert(QStringLiteral("SSLPinningMode"), QVariant::fromValue<qulonglong>(m_SSLPinningMode));
    coder.insert(QStringLiteral("allowInvalidCertificates"), m_allowInvalidCertificates);
    coder.insert(QStringLiteral("validatesDomainName"), m_validatesDomainName);
    if (m_pinnedCertificates) {
        QVariantList certificates;
        for (const QByteArray& der : *m_pinnedCertificates)
            certificates.append(der);
        coder.insert(QStringLiteral("pinnedCertificates"), certificates);
    }
    return coder;
}

AFSecurityPolicy AFSecurityPolicy::initWithCoder(const QVariantMap& coder)
{
    AFSecurityPolicy policy;
    if (const auto mode = coder.constFind(QStringLiteral("SSLPinningMode")); mode != coder.constEnd())
        policy.setSSLPinningMode(mode->toULongLong());
    if (const auto allow = coder.constFind(QStringLiteral("allowInvalidCertificates")); allow != coder.constEnd())
        policy.setAllowInvalidCertificates(allow->toBool());
    if (const auto validates = coder.constFind(QStringLiteral("validatesDomainName")); validates != coder.constEnd())
        policy.setValidatesDomainName(validates->toBool());
    if (const auto pinned = coder.constFind(QStringLiteral("pinnedCertificates")); pinned != coder.constEnd()) {
        QSet<QByteArray> certificates;
        for (const QVariant& der : pinned->toList())
            certificates.insert(der.toByteArray());
        policy.setPinnedCertificates(certificates);
    }
    return policy;
}
