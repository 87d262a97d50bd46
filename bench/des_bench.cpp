// DES-ECB throughput of our cipher beside OpenSSL's on the same buffer, and the cost of one
// enciphered request parameter. Ends with the ratio ours/OpenSSL measured in this run.
#include "BenchSupport.h"
#include "foundation/CommonFunction.h"
#include "foundation/DES.h"
#include "foundation/EncryptionKeys.h"

#include <QString>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kBufferBytes = 64 * 1024;
constexpr uint8_t kKey[8] = {0x13, 0x34, 0x57, 0x79, 0x9b, 0xbc, 0xdf, 0xf1};

std::vector<uint8_t> makeBuffer()
{
    std::vector<uint8_t> buf(kBufferBytes);
    for (std::size_t i = 0; i < buf.size(); ++i)
        buf[i] = static_cast<uint8_t>(i * 131u + 7u);
    return buf;
}

// One reusable OpenSSL context, so each pass is the cipher work and nothing else.
class OpenSslEcb
{
public:
    OpenSslEcb()
    {
        m_legacy = OSSL_PROVIDER_load(nullptr, "legacy");
        m_default = OSSL_PROVIDER_load(nullptr, "default");
        m_cipher = EVP_CIPHER_fetch(nullptr, "DES-ECB", nullptr);
        m_ctx = EVP_CIPHER_CTX_new();
        if (m_cipher != nullptr && EVP_EncryptInit_ex2(m_ctx, m_cipher, kKey, nullptr, nullptr) == 1)
            EVP_CIPHER_CTX_set_padding(m_ctx, 0);
        else
            m_ready = false;
    }
    ~OpenSslEcb()
    {
        EVP_CIPHER_CTX_free(m_ctx);
        EVP_CIPHER_free(m_cipher);
        if (m_default != nullptr)
            OSSL_PROVIDER_unload(m_default);
        if (m_legacy != nullptr)
            OSSL_PROVIDER_unload(m_legacy);
    }
    bool ready() const { return m_ready; }
    void encipher(uint8_t* buf, int size)
    {
        int len = 0;
        EVP_EncryptUpdate(m_ctx, buf, &len, buf, size);
    }

private:
    OSSL_PROVIDER* m_legacy = nullptr;
    OSSL_PROVIDER* m_default = nullptr;
    EVP_CIPHER* m_cipher = nullptr;
    EVP_CIPHER_CTX* m_ctx = nullptr;
    bool m_ready = true;
};

OpenSslEcb& openssl()
{
    static OpenSslEcb instance;
    return instance;
}

void oursPass(DES& des, std::vector<uint8_t>& buf)
{
    des.des(buf.data(), buf.data(), kBufferBytes / 8);
}

void BM_OursDesEcb(benchmark::State& state)
{
    auto buf = makeBuffer();
    DES des;
    des.deskey(kKey, DES::kEncipher);
    for (auto _ : state) {
        oursPass(des, buf);
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBufferBytes);
}
BENCHMARK(BM_OursDesEcb);

void BM_OpenSslDesEcb(benchmark::State& state)
{
    if (!openssl().ready()) {
        state.SkipWithError("OpenSSL legacy DES-ECB unavailable");
        return;
    }
    auto buf = makeBuffer();
    for (auto _ : state) {
        openssl().encipher(buf.data(), kBufferBytes);
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBufferBytes);
}
BENCHMARK(BM_OpenSslDesEcb);

void BM_EncrypteUTF8_64Bytes(benchmark::State& state)
{
    const QString text = QString(64, QLatin1Char('x'));
    for (auto _ : state)
        benchmark::DoNotOptimize(CommonFunction::EncrypteUTF8(text, kDesKeyRequest));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_EncrypteUTF8_64Bytes);

// Bytes per second of pass over the buffer.
template <typename Pass>
double bestThroughput(Pass pass)
{
    return kBufferBytes / bench::bestSecondsPerCall(pass, std::chrono::milliseconds(500));
}

}  // namespace

int main(int argc, char** argv)
{
    if (!bench::runRegisteredBenchmarks(&argc, argv))
        return 1;

    if (!openssl().ready()) {
        std::printf("DES-ECB throughput ratio ours/openssl: unavailable (no OpenSSL DES-ECB)\n");
        return 1;
    }
    auto ourBuf = makeBuffer();
    auto theirBuf = makeBuffer();
    DES des;
    des.deskey(kKey, DES::kEncipher);
    // A ratio is only worth printing when both do the same work.
    oursPass(des, ourBuf);
    openssl().encipher(theirBuf.data(), kBufferBytes);
    if (ourBuf != theirBuf) {
        std::printf("DES-ECB outputs differ from OpenSSL's; no ratio\n");
        return 1;
    }
    // Alternate the two so that both see the same machine state.
    double ours = 0;
    double theirs = 0;
    for (int round = 0; round < 2; ++round) {
        ours = std::max(ours, bestThroughput([&] { oursPass(des, ourBuf); }));
        theirs = std::max(theirs, bestThroughput([&] { openssl().encipher(theirBuf.data(), kBufferBytes); }));
    }
    std::printf("DES-ECB ours %.1f MB/s, openssl %.1f MB/s\n", ours / 1e6, theirs / 1e6);
    std::printf("DES-ECB throughput ratio ours/openssl: %.2f\n", ours / theirs);
    return 0;
}
