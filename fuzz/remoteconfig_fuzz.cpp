// Arbitrary bytes as a downloaded configuration file: read both as the plain XML and as the
// enciphered file, checking what every parsed configuration must hold.
#include "remoteconfig/RemoteConfig.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "remoteconfig: %s\n", what);
    std::abort();
}

void check(const std::optional<RemoteConfig>& config)
{
    if (!config)
        return;
    if (config->relatedNewsCount && *config->relatedNewsCount < 0)
        fail("a negative related-news count");
    if (config->newsScoreMax && *config->newsScoreMax < 1)
        fail("a full score below 1");
    if (config->newsScoreMinRaters && *config->newsScoreMinRaters < 0)
        fail("a negative rater count");
    if (config->urlList) {
        for (const QString& url : config->urlList->urls) {
            if (url.isEmpty())
                fail("an empty server URL");
        }
    }
    if (config->dealCategories) {
        for (const QString& name : *config->dealCategories) {
            if (name.trimmed().isEmpty())
                fail("an empty deal category");
        }
    }
    if (config->hotCommentChannelCount < 0)
        fail("a negative hot-comment channel count");
    if (config->listADSlots) {
        for (const ListADSlot& slot : *config->listADSlots) {
            if (slot.ads.size() != slot.weights.size())
                fail("ads and weights differ in number");
            for (const int64_t weight : slot.weights) {
                if (weight < 1)
                    fail("a weight below 1");
            }
            for (const NSListADInfoPtr& ad : slot.ads) {
                if (!ad || ad->adUrl.isEmpty())
                    fail("an ad without a target");
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    check(RemoteConfig::fromXml(bytes));
    check(RemoteConfig::fromEnciphered(bytes));
    const QByteArray plain = RemoteConfig::DecypteData(bytes);
    if (plain.size() > bytes.size() + 7 || (!plain.isEmpty() && plain.endsWith('\0')))
        fail("deciphered bytes longer than the file or ending in zero fill");
    return 0;
}
