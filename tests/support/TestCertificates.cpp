#include "TestCertificates.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <QByteArray>
#include <QSslSocket>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>

namespace testcerts {
namespace {

struct PkeyFree { void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); } };
struct X509Free { void operator()(X509* p) const { X509_free(p); } };
struct BioFree { void operator()(BIO* p) const { BIO_free(p); } };
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;
using X509Ptr = std::unique_ptr<X509, X509Free>;
using BioPtr = std::unique_ptr<BIO, BioFree>;

[[noreturn]] void fail(const char* what)
{
    throw std::runtime_error(std::string("test certificates: ") + what);
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

struct Signer
{
    X509* certificate;  // null: self-signed
    EVP_PKEY* key;
};

// Serial numbers differ within the process, so no two certificates share issuer and serial.
long nextSerial()
{
    static std::atomic<long> serial{1000};
    return ++serial;
}

X509Ptr makeCertificate(EVP_PKEY* key, const char* commonName, const char* subjectAltName, bool isCA,
                        const Signer& signer)
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
    check(X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Tidwen Tests"),
                                     -1, -1, 0) == 1,
          "organisation");
    check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(commonName), -1,
                                     -1, 0) == 1,
          "common name");
    X509* issuer = signer.certificate ? signer.certificate : cert;
    check(X509_set_issuer_name(cert, X509_get_subject_name(issuer)) == 1, "issuer");

    addExtension(cert, issuer, NID_subject_key_identifier, "hash");
    if (signer.certificate)
        addExtension(cert, issuer, NID_authority_key_identifier, "keyid:always");
    if (isCA) {
        addExtension(cert, issuer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert, issuer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(cert, issuer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(cert, issuer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
        addExtension(cert, issuer, NID_ext_key_usage, "serverAuth");
    }
    if (subjectAltName)
        addExtension(cert, issuer, NID_subject_alt_name, subjectAltName);

    check(X509_sign(cert, signer.key, EVP_sha256()) > 0, "signing");
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

CertificateSet makeSet()
{
    const char* localNames = "DNS:localhost,IP:127.0.0.1,IP:::1";

    PkeyPtr rootKey = makeKey();
    X509Ptr root = makeCertificate(rootKey.get(), "Tidwen Test Root CA", nullptr, true, {nullptr, rootKey.get()});

    PkeyPtr localKey = makeKey();
    X509Ptr local = makeCertificate(localKey.get(), "localhost", localNames, false, {root.get(), rootKey.get()});

    PkeyPtr otherKey = makeKey();
    const std::string otherNames = std::string("DNS:") + kOtherHostName;
    X509Ptr other =
        makeCertificate(otherKey.get(), kOtherHostName, otherNames.c_str(), false, {root.get(), rootKey.get()});

    PkeyPtr selfKey = makeKey();
    X509Ptr self = makeCertificate(selfKey.get(), "localhost", localNames, false, {nullptr, selfKey.get()});

    CertificateSet set;
    set.rootCA = toIdentity(root.get(), rootKey.get());
    set.localhost = toIdentity(local.get(), localKey.get());
    set.otherHost = toIdentity(other.get(), otherKey.get());
    set.selfSigned = toIdentity(self.get(), selfKey.get());
    return set;
}

}  // namespace

const CertificateSet& certificates()
{
    static const CertificateSet set = makeSet();
    return set;
}

QSslConfiguration serverConfiguration(const Identity& identity, const QList<QSslCertificate>& intermediates)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(QList<QSslCertificate>{identity.certificate} + intermediates);
    configuration.setPrivateKey(identity.privateKey);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return configuration;
}

ScopedTrustedRootCA::ScopedTrustedRootCA() : m_previous(QSslConfiguration::defaultConfiguration())
{
    QSslConfiguration configuration = m_previous;
    configuration.addCaCertificate(certificates().rootCA.certificate);
    QSslConfiguration::setDefaultConfiguration(configuration);
}

ScopedTrustedRootCA::~ScopedTrustedRootCA()
{
    QSslConfiguration::setDefaultConfiguration(m_previous);
}

}  // namespace testcerts
