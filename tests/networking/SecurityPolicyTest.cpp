#include "ScopeGuard.h"
#include "TestCertificates.h"
#include "TestEnvironment.h"

#include "networking/AFSecurityPolicy.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QStringList>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

using testcerts::certificates;

const QString kLocalhost = QStringLiteral("localhost");
const QString kOtherHost = QString::fromLatin1(testcerts::kOtherHostName);

// The trust a server presents, ending at the test root.
ServerTrust anchoredAtTestRoot(const QList<QSslCertificate>& chain)
{
    return ServerTrust{chain, QList<QSslCertificate>{certificates().rootCA.certificate}};
}

ServerTrust presented(const QList<QSslCertificate>& chain)
{
    return ServerTrust{chain, std::nullopt};
}

QSet<QByteArray> der(std::initializer_list<QSslCertificate> list)
{
    QSet<QByteArray> set;
    for (const QSslCertificate& certificate : list)
        set.insert(certificate.toDer());
    return set;
}

TEST(TestCertificatesTest, ChainsVerifyOnlyForTheirNames)
{
    const testcerts::CertificateSet& set = certificates();
    testcerts::ScopedTrustedRootCA trusted;
    EXPECT_TRUE(QSslCertificate::verify(set.localhostChain(), kLocalhost).isEmpty());
    EXPECT_TRUE(QSslCertificate::verify(set.localhostChain(), QStringLiteral("127.0.0.1")).isEmpty());
    EXPECT_FALSE(QSslCertificate::verify(set.localhostChain(), kOtherHost).isEmpty());
    EXPECT_TRUE(QSslCertificate::verify(set.otherHostChain(), kOtherHost).isEmpty());
    EXPECT_FALSE(QSslCertificate::verify({set.selfSigned.certificate}, kLocalhost).isEmpty());
    EXPECT_EQ(set.localhost.privateKey.type(), QSsl::PrivateKey);
    EXPECT_EQ(set.localhost.certificate.issuerDisplayName(), set.rootCA.certificate.subjectDisplayName());
}

TEST(AFSecurityPolicyTest, DefaultPolicyAcceptsAValidChainForItsHostOnly)
{
    const AFSecurityPolicy policy = AFSecurityPolicy::defaultPolicy();
    EXPECT_EQ(policy.SSLPinningMode(), AFSecurityPolicy::kSSLPinningModeNone);
    EXPECT_FALSE(policy.allowInvalidCertificates());
    EXPECT_TRUE(policy.validatesDomainName());
    EXPECT_FALSE(policy.pinnedCertificates().has_value());
    EXPECT_FALSE(policy.pinnedPublicKeys().has_value());

    const testcerts::CertificateSet& set = certificates();
    EXPECT_TRUE(policy.evaluateServerTrust(anchoredAtTestRoot(set.localhostChain()), kLocalhost));
    EXPECT_TRUE(policy.evaluateServerTrust(anchoredAtTestRoot(set.localhostChain()), QStringLiteral("127.0.0.1")));
    // The root need not be sent.
    EXPECT_TRUE(policy.evaluateServerTrust(anchoredAtTestRoot({set.localhost.certificate}), kLocalhost));
    EXPECT_FALSE(policy.evaluateServerTrust(anchoredAtTestRoot(set.localhostChain()), kOtherHost));
    EXPECT_FALSE(policy.evaluateServerTrust(anchoredAtTestRoot(set.otherHostChain()), kLocalhost));
    EXPECT_TRUE(policy.evaluateServerTrust(anchoredAtTestRoot(set.otherHostChain()), kOtherHost));
    EXPECT_FALSE(policy.evaluateServerTrust(anchoredAtTestRoot({set.selfSigned.certificate}), kLocalhost));
    EXPECT_FALSE(policy.evaluateServerTrust(anchoredAtTestRoot({}), kLocalhost));
    // Without a domain no name is checked, but the chain still must hold.
    EXPECT_TRUE(policy.evaluateServerTrust(anchoredAtTestRoot(set.otherHostChain()), QString()));
    EXPECT_FALSE(policy.evaluateServerTrust(anchoredAtTestRoot({set.selfSigned.certificate}), QString()));

    // Left to the system's trusted certificates, the test root is unknown until trusted.
    EXPECT_FALSE(policy.evaluateServerTrust(presented(set.localhostChain()), kLocalhost));
    testcerts::ScopedTrustedRootCA trusted;
    EXPECT_TRUE(policy.evaluateServerTrust(presented(set.localhostChain()), kLocalhost));
    EXPECT_FALSE(policy.evaluateServerTrust(presented(set.localhostChain()), kOtherHost));
    EXPECT_FALSE(policy.evaluateServerTrust(presented({set.selfSigned.certificate}), kLocalhost));
}

TEST(AFSecurityPolicyTest, WithoutDomainValidationOnlyTheChainCounts)
{
    AFSecurityPolicy policy;
    policy.setValidatesDomainName(false);
    const testcerts::CertificateSet& set = certificates();
    EXPECT_TRUE(policy.evaluateServerTrust(anchoredAtTestRoot(set.localhostChain()), kOtherHost));
    EXPECT_FALSE(policy.evaluateServerTrust(anchoredAtTestRoot({set.selfSigned.certificate}), kLocalhost));
}

TEST(AFSecurityPolicyTest, TheSystemsRootsAreTrustedByDefault)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // Qt lists the system's certificates in no fixed order, so one is chosen by its bytes. Two
    // roots under one name (a renewed root beside its predecessor) are left out: a root sent alone
    // may then be looked up as its namesake and fail, which says nothing of the policy.
    QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
    std::sort(system.begin(), system.end(), [](const QSslCertificate& a, const QSslCertificate& b) {
        return a.toDer() < b.toDer();
    });
    const auto current = std::find_if(system.cbegin(), system.cend(), [&](const QSslCertificate& certificate) {
        const auto namesakes = std::count_if(system.cbegin(), system.cend(), [&](const QSslCertificate& other) {
            return other != certificate && other.subjectDisplayName() == certificate.subjectDisplayName();
        });
        return certificate.effectiveDate() < now && certificate.expiryDate() > now && namesakes == 0;
    });
    if (current == system.cend())
        GTEST_SKIP() << "this machine has no CA certificates";
    AFSecurityPolicy policy;
    policy.setValidatesDomainName(false);
    EXPECT_TRUE(policy.evaluateServerTrust(presented({*current}), QString()));
    EXPECT_FALSE(policy.evaluateServerTrust(presented({certificates().rootCA.certificate}), QString()));
}

TEST(AFSecurityPolicyTest, AllowingInvalidCertificatesWithDomainValidationNeedsPinning)
{
    const testcerts::CertificateSet& set = certificates();
    MessageCapture log;

    AFSecurityPolicy policy;
    policy.setAllowInvalidCertificates(true);
    EXPECT_FALSE(policy.evaluateServerTrust(anchoredAtTestRoot(set.localhostChain()), kLocalhost));
    EXPECT_EQ(log.messages(), QStringList{QString::fromLatin1(AFSecurityPolicy::kSelfSignedNeedsPinningMessage)});
    EXPECT_EQ(log.messages().value(0),
              "In order to validate a domain name for self signed certificates, you MUST use pinning.");

    // A pinning mode with nothing pinned is no pinning.
    log.clear();
    policy.setSSLPinningMode(AFSecurityPolicy::kSSLPinningModeCertificate);
    policy.setPinnedCertificates(QSet<QByteArray>{});
    EXPECT_FALSE(policy.evaluateServerTrust(presented({set.selfSigned.certificate}), kLocalhost));
    EXPECT_EQ(log.messages().size(), 1);

    // No domain, or no domain validation: anything goes, silently.
    log.clear();
    policy.setSSLPinningMode(AFSecurityPolicy::kSSLPinningModeNone);
    EXPECT_TRUE(policy.evaluateServerTrust(presented({set.selfSigned.certificate}), QString()));
    policy.setValidatesDomainName(false);
    EXPECT_TRUE(policy.evaluateServerTrust(presented({set.selfSigned.certificate}), kLocalhost));
    EXPECT_TRUE(policy.evaluateServerTrust(presented(set.otherHostChain()), kLocalhost));
    EXPECT_TRUE(log.messages().isEmpty());
}

TEST(AFSecurityPolicyTest, CertificatePinningAcceptsAChainEndingInThePinnedRoot)
{
    const testcerts::CertificateSet& set = certificates();
    const AFSecurityPolicy policy = AFSecurityPolicy::policyWithPinningMode(AFSecurityPolicy::kSSLPinningModeCertificate,
                                                                            der({set.rootCA.certificate}));
    // Not trusted by the system and invalid certificates refused: no further look.
    EXPECT_FALSE(policy.evaluateServerTrust(presented(set.localhostChain()), kLocalhost));

    testcerts::ScopedTrustedRootCA trusted;
    EXPECT_TRUE(policy.evaluateServerTrust(presented(set.localhostChain()), kLocalhost));
    // The pinned root closes the chain even when the server leaves it out.
    EXPECT_TRUE(policy.evaluateServerTrust(presented({set.localhost.certificate}), kLocalhost));
    EXPECT_FALSE(policy.evaluateServerTrust(presented(set.otherHostChain()), kLocalhost));

    // A pinned leaf is trusted as such.
    const AFSecurityPolicy leafPinned = AFSecurityPolicy::policyWithPinningMode(
        AFSecurityPolicy::kSSLPinningModeCertificate, der({set.localhost.certificate}));
    EXPECT_TRUE(leafPinned.evaluateServerTrust(presented(set.localhostChain()), kLocalhost));
    EXPECT_FALSE(leafPinned.evaluateServerTrust(presented(set.otherHostChain()), kOtherHost));
}

TEST(AFSecurityPolicyTest, CertificatePinningOfASelfSignedServer)
{
    const testcerts::CertificateSet& set = certificates();
    AFSecurityPolicy policy = AFSecurityPolicy::policyWithPinningMode(AFSecurityPolicy::kSSLPinningModeCertificate,
                                                                      der({set.selfSigned.certificate}));
    policy.setAllowInvalidCertificates(true);
    EXPECT_TRUE(policy.evaluateServerTrust(presented({set.selfSigned.certificate}), kLocalhost));
    EXPECT_FALSE(policy.evaluateServerTrust(presented({set.selfSigned.certificate}), kOtherHost));
    EXPECT_FALSE(policy.evaluateServerTrust(presented(set.localhostChain()), kLocalhost));

    // Pinning the root does not make a self-signed certificate acceptable.
    policy.setPinnedCertificates(der({set.rootCA.certificate}));
    EXPECT_FALSE(policy.evaluateServerTrust(presented({set.selfSigned.certificate}), kLocalhost));
}

TEST(AFSecurityPolicyTest, PublicKeyPinningAcceptsWhenAnyKeyMatches)
{
    const testcerts::CertificateSet& set = certificates();
    testcerts::ScopedTrustedRootCA trusted;
    AFSecurityPolicy policy = AFSecurityPolicy::policyWithPinningMode(
        AFSecurityPolicy::kSSLPinningModePublicKey, der({set.otherHost.certificate, set.rootCA.certificate}));
    ASSERT_TRUE(policy.pinnedPublicKeys().has_value());
    EXPECT_EQ(policy.pinnedPublicKeys()->size(), 2);
    EXPECT_TRUE(policy.evaluateServerTrust(presented(set.localhostChain()), kLocalhost));

    policy.setPinnedCertificates(der({set.localhost.certificate}));
    EXPECT_TRUE(policy.evaluateServerTrust(presented(set.localhostChain()), kLocalhost));
    // A valid chain whose keys are all unpinned.
    policy.setPinnedCertificates(der({set.otherHost.certificate, set.selfSigned.certificate}));
    EXPECT_FALSE(policy.evaluateServerTrust(presented(set.localhostChain()), kLocalhost));
    // A matching key does not rescue a chain for another host.
    policy.setPinnedCertificates(der({set.rootCA.certificate}));
    EXPECT_FALSE(policy.evaluateServerTrust(presented(set.otherHostChain()), kLocalhost));

    // Unreadable pinned data gives no key, and no key matches nothing.
    policy.setPinnedCertificates(QSet<QByteArray>{QByteArray("not a certificate")});
    ASSERT_TRUE(policy.pinnedPublicKeys().has_value());
    EXPECT_TRUE(policy.pinnedPublicKeys()->isEmpty());
    EXPECT_FALSE(policy.evaluateServerTrust(presented(set.localhostChain()), kLocalhost));

    policy.setPinnedCertificates(std::nullopt);
    EXPECT_FALSE(policy.pinnedPublicKeys().has_value());

    // A self-signed server pinned by its key.
    AFSecurityPolicy selfSigned = AFSecurityPolicy::policyWithPinningMode(AFSecurityPolicy::kSSLPinningModePublicKey,
                                                                          der({set.selfSigned.certificate}));
    selfSigned.setAllowInvalidCertificates(true);
    selfSigned.setValidatesDomainName(false);
    EXPECT_TRUE(selfSigned.evaluateServerTrust(presented({set.selfSigned.certificate}), kLocalhost));
    EXPECT_FALSE(selfSigned.evaluateServerTrust(presented({set.otherHost.certificate}), kLocalhost));
}

TEST(AFSecurityPolicyTest, ArchivesUnderThePropertyNames)
{
    const testcerts::CertificateSet& set = certificates();
    AFSecurityPolicy policy = AFSecurityPolicy::policyWithPinningMode(AFSecurityPolicy::kSSLPinningModePublicKey,
                                                                      der({set.rootCA.certificate}));
    policy.setAllowInvalidCertificates(true);
    policy.setValidatesDomainName(false);
    const QVariantMap coder = policy.encodeWithCoder();
    EXPECT_EQ(coder.value("SSLPinningMode").toULongLong(), 1u);
    EXPECT_TRUE(coder.value("allowInvalidCertificates").toBool());
    EXPECT_FALSE(coder.value("validatesDomainName").toBool());
    EXPECT_EQ(coder.value("pinnedCertificates").toList().size(), 1);

    const AFSecurityPolicy decoded = AFSecurityPolicy::initWithCoder(coder);
    EXPECT_EQ(decoded.SSLPinningMode(), 1u);
    EXPECT_TRUE(decoded.allowInvalidCertificates());
    EXPECT_FALSE(decoded.validatesDomainName());
    EXPECT_EQ(decoded.pinnedCertificates(), policy.pinnedCertificates());
    ASSERT_TRUE(decoded.pinnedPublicKeys().has_value());
    EXPECT_EQ(decoded.pinnedPublicKeys()->size(), 1);

    // Nothing stored: the values of init.
    const AFSecurityPolicy empty = AFSecurityPolicy::initWithCoder({});
    EXPECT_TRUE(empty.validatesDomainName());
    EXPECT_FALSE(empty.pinnedCertificates().has_value());
}

TEST(AFSecurityPolicyTest, CertificatesInBundleReadsTheCerFiles)
{
    const QString folder = TestEnvironment::rootPath() + QStringLiteral("/bundle");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QByteArray rootDer = certificates().rootCA.certificate.toDer();
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(folder + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    write(QStringLiteral("root.cer"), rootDer);
    write(QStringLiteral("notes.txt"), "text");
    write(QStringLiteral("leaf.pem"), certificates().localhost.certificate.toPem());
    EXPECT_EQ(AFSecurityPolicy::certificatesInBundle(folder), QSet<QByteArray>{rootDer});
    EXPECT_TRUE(AFSecurityPolicy::certificatesInBundle(folder + QStringLiteral("/missing")).isEmpty());
}

}  // namespace
