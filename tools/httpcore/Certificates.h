#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QString>
#include <QStringList>

// Certificates made in memory with OpenSSL: EC P-256 keys, SHA-256 signatures, valid from an hour
// ago for ten years. Certificates and keys pass through PEM, so they are what a file would give.
// Failures throw std::runtime_error (a machine without EC keys cannot serve TLS at all).
namespace httpcerts {

// A certificate with its private key.
struct Identity
{
    QSslCertificate certificate;
    QSslKey privateKey;
};

// A self-signed authority (basicConstraints CA:TRUE, keyCertSign) named O=organisation, CN=commonName.
Identity makeAuthority(const QString& commonName, const QString& organisation);

// A server certificate (serverAuth) signed by issuer, or self-signed when issuer is null.
// subjectAltNames are OpenSSL's entries: "DNS:host", "IP:127.0.0.1"; empty for none.
Identity makeServerCertificate(const Identity* issuer, const QString& commonName, const QString& organisation,
                               const QStringList& subjectAltNames);

// A server's TLS configuration presenting chain (leaf first) with the leaf's key; it asks no
// client certificate.
QSslConfiguration serverConfiguration(const QList<QSslCertificate>& chain, const QSslKey& key);

// The file name OpenSSL's certificate folder lookup expects: subject hash in hex and ".0".
QString subjectHashFileName(const QSslCertificate& certificate);

// Writes each certificate as PEM under its subject-hash name into folder (created with its
// parents); false when a file cannot be written.
bool writeCertificateFolder(const QString& folder, const QList<QSslCertificate>& certificates);

}  // namespace httpcerts
