#pragma once

#include "Certificates.h"

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QString>

// Certificates for TLS tests, made fresh by each test process (nothing is read from disk).
// Keys are EC P-256, signatures SHA-256; every certificate is valid from an hour ago for ten
// years. Certificates and keys have passed through PEM, so they are what a file would give.
namespace testcerts {

// A certificate with its private key, as the HTTP core makes it.
using Identity = httpcerts::Identity;

// Host name of the leaf that no test server answers for.
inline constexpr const char* kOtherHostName = "other.tidwen.test";

struct CertificateSet
{
    // Self-signed CA "Tidwen Test Root CA" (basicConstraints CA:TRUE, keyCertSign).
    Identity rootCA;
    // Signed by rootCA; CN "localhost", subjectAltName DNS:localhost, IP:127.0.0.1, IP:::1,
    // extendedKeyUsage serverAuth.
    Identity localhost;
    // Signed by rootCA; CN and only subjectAltName DNS:other.tidwen.test (kOtherHostName).
    Identity otherHost;
    // Self-signed, not a CA, otherwise like localhost (same names, serverAuth).
    Identity selfSigned;

    // Chains as a server presents them: leaf first, root last.
    QList<QSslCertificate> localhostChain() const { return {localhost.certificate, rootCA.certificate}; }
    QList<QSslCertificate> otherHostChain() const { return {otherHost.certificate, rootCA.certificate}; }
};

// The set of this process, made on first call (thread-safe).
const CertificateSet& certificates();

// A server-side configuration presenting the identity's certificate with the rest of the chain
// (e.g. certificates().localhost with {rootCA.certificate}); peer verification off.
QSslConfiguration serverConfiguration(const Identity& identity, const QList<QSslCertificate>& intermediates = {});

// While it lives, the certificate is among the CA certificates of
// QSslConfiguration::defaultConfiguration(), the set that clients trust by default; the previous
// default configuration comes back after.
class ScopedTrustedCertificate
{
public:
    explicit ScopedTrustedCertificate(const QSslCertificate& certificate);
    ~ScopedTrustedCertificate();
    ScopedTrustedCertificate(const ScopedTrustedCertificate&) = delete;
    ScopedTrustedCertificate& operator=(const ScopedTrustedCertificate&) = delete;

private:
    QSslConfiguration m_previous;
};

// The same for rootCA.
class ScopedTrustedRootCA : public ScopedTrustedCertificate
{
public:
    ScopedTrustedRootCA() : ScopedTrustedCertificate(certificates().rootCA.certificate) {}
};

}  // namespace testcerts
