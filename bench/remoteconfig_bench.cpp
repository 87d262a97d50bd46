// Taking in a downloaded 20 KB configuration file (decipher, parse, apply, keep the cache file
// and its time) beside the least that any reader of it must do: one OpenSSL DES-ECB pass over the
// bytes and one plain libxml2 parse of the XML. Ends with the time ratio ours/plain of this run.
#include "BenchSupport.h"

#include "database/DatabaseOperate.h"
#include "foundation/DES.h"
#include "foundation/EncryptionKeys.h"
#include "platform/StorageRoot.h"
#include "remoteconfig/NSADInfoManager.h"
#include "remoteconfig/NSListADInfoManager.h"

#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"

#include <QCoreApplication>
#include <QSaveFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <cstdio>

namespace {

QByteArray configXml()
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<config>\n"
                     "<avd>avatar.tidwen.example</avd><rcount o2=\"3\"/><newscore>5</newscore><scorecount>5</scorecount>"
                     "<apirandom>no</apirandom><ownadreport>no</ownadreport><coinshop>1</coinshop><zefuphit>no</zefuphit>"
                     "<cfgreport>no</cfgreport><cfgreporturl>http://report.tidwen.example/receive/kvup.aspx</cfgreporturl>"
                     "<zqcategory>爆品|白菜价|福利</zqcategory>"
                     "<srp n=\"上热评\" lu=\"http://api.tidwen.example/api/comment/hotcommentlist\"/>\n<us v=\"1\">";
    for (int i = 1; i <= 100; ++i)
        xml += "<u>https://api.tidwen.example/service/path/number/" + QByteArray::number(i) + "</u>";
    xml += "</us>\n<cgs v=\"1\">";
    for (int i = 0; i < 20; ++i)
        xml += "<cg n=\"频道" + QByteArray::number(i) + "\" id=\"" + QByteArray::number(101 + i) +
               "\" s=\"1\" lu=\"http://api.tidwen.example/xml/newslist/c" + QByteArray::number(i) +
               ".xml\" su=\"http://api.tidwen.example/xml/slide/c" + QByteArray::number(i) + ".xml\"/>";
    xml += "</cgs>\n<listad>";
    for (int slot = 0; xml.size() < 20 * 1024 - 200; ++slot) {
        xml += "<slot sp=\"" + QByteArray::number(slot * 5) + "\" ep=\"" + QByteArray::number(slot * 5 + 4) + "\">";
        for (int ad = 0; ad < 4; ++ad)
            xml += "<ad w=\"" + QByteArray::number(ad + 1) + "\" url=\"http://ads.tidwen.example/campaign/" +
                   QByteArray::number(slot * 10 + ad) + "\" title=\"推广内容" + QByteArray::number(ad) + "\" t=\"推广\"/>";
        xml += "</slot>\n";
    }
    xml += "</listad>\n</config>\n";
    return xml;
}

QByteArray encipher(QByteArray plain)
{
    while (plain.size() % 8 != 0)
        plain.append('\0');
    DES des;
    des.encryptKey(kDesKeyRemoteConfig.data(), reinterpret_cast<uint8_t*>(plain.data()), int32_t(plain.size() / 8));
    return plain;
}

const QByteArray& plainFile()
{
    static const QByteArray file = configXml();
    return file;
}

const QByteArray& encipheredFile()
{
    static const QByteArray file = encipher(plainFile());
    return file;
}

// The plain library's DES-ECB, deciphering, on one context made once.
struct PlainDes
{
    PlainDes()
    {
        legacy = OSSL_PROVIDER_load(nullptr, "legacy");
        builtin = OSSL_PROVIDER_load(nullptr, "default");
        cipher = EVP_CIPHER_fetch(nullptr, "DES-ECB", nullptr);
        ctx = EVP_CIPHER_CTX_new();
        ready = cipher && EVP_DecryptInit_ex2(ctx, cipher, kDesKeyRemoteConfig.data(), nullptr, nullptr) == 1;
        if (ready)
            EVP_CIPHER_CTX_set_padding(ctx, 0);
    }
    OSSL_PROVIDER* legacy = nullptr;
    OSSL_PROVIDER* builtin = nullptr;
    EVP_CIPHER* cipher = nullptr;
    EVP_CIPHER_CTX* ctx = nullptr;
    bool ready = false;
};

// The reference: one DES pass with OpenSSL and one libxml2 parse of the plain XML.
bool barePass()
{
    static PlainDes des;
    const QByteArray& in = encipheredFile();
    QByteArray out(in.size(), Qt::Uninitialized);
    int length = 0;
    EVP_DecryptUpdate(des.ctx, reinterpret_cast<unsigned char*>(out.data()), &length,
                      reinterpret_cast<const unsigned char*>(in.constData()), int(in.size()));
    benchmark::DoNotOptimize(out.data());
    xmlDocPtr doc = xmlReadMemory(plainFile().constData(), int(plainFile().size()), nullptr, nullptr, XML_PARSE_NONET);
    const bool ok = des.ready && length == in.size() && doc != nullptr;
    xmlFreeDoc(doc);
    return ok;
}

NSListADInfoManager gListAds;
NSADInfoManager* gManager = nullptr;

bool oursPass()
{
    return gManager->takeDownload(encipheredFile(), QStringLiteral("Mon, 07 Dec 2026 08:00:00 GMT"), true);
}

void BM_TakeConfigurationFile(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(oursPass());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * encipheredFile().size());
}
BENCHMARK(BM_TakeConfigurationFile);

// The parts of a take, for seeing where its time goes.
void BM_PartDecipher(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(RemoteConfig::DecypteData(encipheredFile()));
}
BENCHMARK(BM_PartDecipher);

void BM_PartParse(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(RemoteConfig::fromXml(plainFile()));
}
BENCHMARK(BM_PartParse);

void BM_PartApply(benchmark::State& state)
{
    const RemoteConfig config = *RemoteConfig::fromXml(plainFile());
    for (auto _ : state)
        gManager->getADDataFrom(config, true);
}
BENCHMARK(BM_PartApply);

void BM_PartApplyWithoutAds(benchmark::State& state)
{
    RemoteConfig config = *RemoteConfig::fromXml(plainFile());
    config.listADSlots.reset();
    for (auto _ : state)
        gManager->getADDataFrom(config, true);
}
BENCHMARK(BM_PartApplyWithoutAds);

void BM_PartCacheFile(benchmark::State& state)
{
    for (auto _ : state) {
        QSaveFile file(NSADInfoManager::cacheFilePath());
        file.open(QIODevice::WriteOnly);
        file.write(encipheredFile());
        benchmark::DoNotOptimize(file.commit());
    }
}
BENCHMARK(BM_PartCacheFile);

void BM_PartStamps(benchmark::State& state)
{
    for (auto _ : state) {
        {
            DatabaseOperate::Lease store;
            store->setWebFileLastModifyTime(QStringLiteral("Mon, 07 Dec 2026 08:00:00 GMT"), WebFileType::kRemoteConfig);
        }
        CommonFunction::saveWebFileLastUpdateTime(WebFileType::kRemoteConfig);
    }
}
BENCHMARK(BM_PartStamps);

void BM_OpenSSLDesAndBareLibxml2(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(barePass());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * encipheredFile().size());
}
BENCHMARK(BM_OpenSSLDesAndBareLibxml2);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    StorageRoot::setRoot(root.path());
    xmlInitParser();
    NSADInfoManager manager(&gListAds);
    gManager = &manager;
    // The first take writes the tables the file describes; every later one finds them as they are.
    if (!oursPass() || !barePass() || gListAds.getUsedADCount() < 10) {
        std::printf("the configuration did not apply; no ratio\n");
        return 1;
    }
    if (!bench::runRegisteredBenchmarks(&argc, argv))
        return 1;
    double ours = 1e9;
    double bare = 1e9;
    for (int round = 0; round < 2; ++round) {
        ours = std::min(ours, bench::bestSecondsPerCall([&] { oursPass(); }));
        bare = std::min(bare, bench::bestSecondsPerCall([&] { barePass(); }));
    }
    std::printf("configuration file: %lld bytes, %lld list-ad slots\n", static_cast<long long>(encipheredFile().size()),
                static_cast<long long>(gListAds.getUsedADCount()));
    std::printf("take (decipher, parse, apply, store) %.1f us, OpenSSL DES + bare libxml2 parse %.1f us per pass\n",
                ours * 1e6, bare * 1e6);
    std::printf("configuration time ratio ours/plain: %.2f (goal: at most 3)\n", ours / bare);
    return 0;
}
