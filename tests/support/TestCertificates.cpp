#include "TestCertificates.h"

namespace testcerts {
namespace {

const QString kOrganisation = QStringLiteral("Tidwen Tests");

CertificateSet makeSet()
{
    const QStringList localNames{QStringLiteral("DNS:localhost"), QStringLiteral("IP:127.0.0.1"),
                                 QStringLiteral("IP:::1")};
    const httpcerts::Identity root = httpcerts::makeAuthority(QStringLiteral("Tidwen Test Root CA"), kOrganisation);
    const QString other = QString::fromLatin1(kOtherHostName);

    CertificateSet set;
    set.rootCA = root;
    set.localhost = httpcerts::makeServerCertificate(&root, QStringLiteral("localhost"), kOrganisation, localNames);
    set.otherHost = httpcerts::makeServerCertificate(&root, other, kOrganisation, {QStringLiteral("DNS:") + other});
    set.selfSigned = httpcerts::makeServerCertificate(nullptr, QStringLiteral("localhost"), kOrganisation, localNames);
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
    return httpcerts::serverConfiguration(QList<QSslCertificate>{identity.certificate} + intermediates, identity.privateKey);
}

ScopedTrustedCertificate::ScopedTrustedCertificate(const QSslCertificate& certificate)
    : m_previous(QSslConfiguration::defaultConfiguration())
{
    QSslConfiguration configuration = m_previous;
    configuration.addCaCertificate(certificate);
    QSslConfiguration::setDefaultConfiguration(configuration);
}

ScopedTrustedCertificate::~ScopedTrustedCertificate()
{
    QSslConfiguration::setDefaultConfiguration(m_previous);
}

}  // namespace testcerts
