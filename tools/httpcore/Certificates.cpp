#include "Certificates.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <QByteArray>
#include <QDir>
#include <QSaveFile>
#include <QSslSocket>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>

namespace httpcerts {
namespace {

struct PkeyFree { void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); } };
struct X509Free { void operator()(X509* p) const { X509_free(p); } };
struct BioFree { void operator()(BIO* p) const { BIO_free(p); } };
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;
using X509Ptr = std::unique_ptr<X509, X509Free>;
using BioPtr = std::unique_ptr<BIO, BioFree>;

[[noreturn]] void fail(const char* what)
{
    throw std::runtime_error(std::string("certificates: ") + what);
}

void check(bool ok, const char* what)
{
    if (!ok)
        fail(what);
}

PkeyPtr makeKey()
{
    PkeyPtr key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    check(key != nullptr, "EC key generation");
    return key;
}

void addExtension(X509* certificate, X509* issuer, int nid, const char* value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    check(extension != nullptr, "extension");
    const bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    check(added, "adding an extension");
}

// Serial numbers differ within the process, so no two certificates share issuer and serial.
long nextSerial()
{
    static std::atomic<long> serial{1000};
    return ++serial;
}

X509Ptr fromPem(const QByteArray& pem)
{
    BioPtr bio(BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size())));
    check(bio != nullptr, "BIO_new_mem_buf");
    return X509Ptr(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
}

PkeyPtr keyFromPem(const QByteArray& pem)
{
    BioPtr bio(BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size())));
    check(bio != nullptr, "BIO_new_mem_buf");
    return PkeyPtr(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
}

void addName(X509_NAME* name, const char* field, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    check(X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(utf8.constData()),
                                     static_cast<int>(utf8.size()), -1, 0) == 1,
          field);
}

// issuerCertificate null: self-signed with key.
X509Ptr makeCertificate(EVP_PKEY* key, const QString& commonName, const QString& organisation,
                        const QStringList& subjectAltNames, bool isCA, X509* issuerCertificate, EVP_PKEY* issuerKey)
{
    X509Ptr certificate(X509_new());
    check(certificate != nullptr, "X509_new");
    X509* cert = certificate.get();
    check(X509_set_version(cert, 2) == 1, "version");
    check(ASN1_INTEGER_set(X509_get_serialNumber(cert), nextSerial()) == 1, "serial");
    check(X509_gmtime_adj(X509_getm_notBefore(cert), -3600) != nullptr, "notBefore");
    check(X509_gmtime_adj(X509_getm_notAfter(cert), 10L * 365 * 24 * 3600) != nullptr, "notAfter");
    check(X509_set_pubkey(cert, key) == 1, "public key");

    X509_NAME* name = X509_get_subject_name(cert);
    addName(name, "O", organisation);
    addName(name, "CN", commonName);
    X509* issuer = issuerCertificate ? issuerCertificate : cert;
    check(X509_set_issuer_name(cert, X509_get_subject_name(issuer)) == 1, "issuer");

    addExtension(cert, issuer, NID_subject_key_identifier, "hash");
    if (issuerCertificate)
        addExtension(cert, issuer, NID_authority_key_identifier, "keyid:always");
    if (isCA) {
        addExtension(cert, issuer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert, issuer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(cert, issuer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(cert, issuer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
        addExtension(cert, issuer, NID_ext_key_usage, "serverAuth");
    }
    if (!subjectAltNames.isEmpty())
        addExtension(cert, issuer, NID_subject_alt_name, subjectAltNames.join(QLatin1Char(',')).toUtf8().constData());

    check(X509_sign(cert, issuerKey ? issuerKey : key, EVP_sha256()) > 0, "signing");
    return certificate;
}

QByteArray bioContents(BIO* bio)
{
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, static_cast<qsizetype>(size));
}

Identity toIdentity(X509* certificate, EVP_PKEY* key)
{
    BioPtr certBio(BIO_new(BIO_s_mem()));
    BioPtr keyBio(BIO_new(BIO_s_mem()));
    check(certBio && keyBio, "BIO_new");
    check(PEM_write_bio_X509(certBio.get(), certificate) == 1, "certificate PEM");
    check(PEM_write_bio_PrivateKey(keyBio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1, "key PEM");

    Identity identity;
    identity.certificate = QSslCertificate(bioContents(certBio.get()), QSsl::Pem);
    identity.privateKey = QSslKey(bioContents(keyBio.get()), QSsl::Ec, QSsl::Pem, QSsl::PrivateKey);
    check(!identity.certificate.isNull(), "certificate read back");
    check(!identity.privateKey.isNull(), "key read back");
    return identity;
}

}  // namespace

Identity makeAuthority(const QString& commonName, const QString& organisation)
{
    PkeyPtr key = makeKey();
    X509Ptr certificate = makeCertificate(key.get(), commonName, organisation, {}, true, nullptr, nullptr);
    return toIdentity(certificate.get(), key.get());
}

Identity makeServerCertificate(const Identity* issuer, const QString& commonName, const QString& organisation,
                               const QStringList& subjectAltNames)
{
    PkeyPtr key = makeKey();
    X509Ptr issuerCertificate;
    PkeyPtr issuerKey;
    if (issuer) {
        issuerCertificate = fromPem(issuer->certificate.toPem());
        issuerKey = keyFromPem(issuer->privateKey.toPem());
        check(issuerCertificate && issuerKey, "issuer read back");
    }
    X509Ptr certificate = makeCertificate(key.get(), commonName, organisation, subjectAltNames, false,
                                          issuerCertificate.get(), issuerKey.get());
    return toIdentity(certificate.get(), key.get());
}

QSslConfiguration serverConfiguration(const QList<QSslCertificate>& chain, const QSslKey& key)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return configuration;
}

QString subjectHashFileName(const QSslCertificate& certificate)
{
    X509Ptr x509 = fromPem(certificate.toPem());
    if (!x509)
        return QString();
    const unsigned long hash = X509_subject_name_hash(x509.get());
    return QStringLiteral("%1.0").arg(static_cast<qulonglong>(hash), 8, 16, QLatin1Char('0'));
}

bool writeCertificateFolder(const QString& folder, const QList<QSslCertificate>& certificates)
{
    if (!QDir().mkpath(folder))
        return false;
    for (const QSslCertificate& certificate : certificates) {
        const QString name = subjectHashFileName(certificate);
        if (name.isEmpty())
            return false;
        QSaveFile file(QDir(folder).filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(certificate.toPem());
        if (!file.commit())
            return false;
    }
    return true;
}

}  // namespace httpcerts
