#include "remoteconfig/RemoteConfig.h"

#include "foundation/CommonFunction.h"
#include "foundation/EncryptionKeys.h"
#include "remoteconfig/RemoteConfigElements.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <array>
#include <cstring>
#include <memory>

namespace E = RemoteConfigElements;

namespace {

// The single-valued elements read from the file; the first of each name in document order wins.
enum Slot : std::size_t {
    kAvd,
    kRcount,
    kNewscore,
    kScorecount,
    kApiRandom,
    kOwnAdReport,
    kCoinShop,
    kZefupHit,
    kCfgReport,
    kCfgReportUrl,
    kLoadAll,
    kDealCategories,
    kUs,
    kCgs,
    kListAds,
    kSlotCount
};

constexpr std::array<const char*, kSlotCount> kSlotNames = {
    E::kAvatarHost, E::kRelatedCount, E::kNewsScore,     E::kScoreCount, E::kApiRandom,
    E::kOwnAdReport, E::kCoinShopVersion, E::kZefupHitReport, E::kConfigReport, E::kConfigReportUrl,
    E::kLoadAllData, E::kDealCategories, E::kUrlList, E::kChannelList, E::kListAds};

struct DocFree
{
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

bool named(const xmlNode* node, const char* name)
{
    return node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

QString text(const xmlNode* node)
{
    xmlChar* content = xmlNodeGetContent(node);
    const QString value = content ? QString::fromUtf8(reinterpret_cast<const char*>(content)) : QString();
    xmlFree(content);
    return value;
}

QString attribute(const xmlNode* node, const char* name)
{
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    const QString result = value ? QString::fromUtf8(reinterpret_cast<const char*>(value)) : QString();
    xmlFree(value);
    return result;
}

struct Found
{
    std::array<const xmlNode*, kSlotCount> first{};
    int srpCount = 0;
    const xmlNode* srp = nullptr;
};

// One walk over the tree in document order, iteratively so a deep document cannot exhaust the stack.
void collect(const xmlNode* root, Found& found)
{
    const xmlNode* node = root;
    while (node) {
        if (node->type == XML_ELEMENT_NODE) {
            const char* name = reinterpret_cast<const char*>(node->name);
            for (std::size_t i = 0; i < kSlotCount; ++i) {
                if (!found.first[i] && std::strcmp(name, kSlotNames[i]) == 0) {
                    found.first[i] = node;
                    break;
                }
            }
            if (std::strcmp(name, E::kHotCommentChannel) == 0) {
                if (found.srpCount++ == 0)
                    found.srp = node;
            }
            if (node->children) {
                node = node->children;
                continue;
            }
        }
        while (node != root && !node->next)
            node = node->parent;
        if (node == root)
            return;
        node = node->next;
    }
}

// A whole non-negative number, or nothing.
std::optional<long> count(const QString& value)
{
    bool ok = false;
    const long number = value.trimmed().toLong(&ok);
    if (!ok || number < 0)
        return std::nullopt;
    return number;
}

bool yes(const xmlNode* node)
{
    return text(node).trimmed() == QStringLiteral("yes");
}

QList<ListADSlot> readSlots(const xmlNode* listAds)
{
    QList<ListADSlot> adSlots;
    for (const xmlNode* slotNode = listAds->children; slotNode; slotNode = slotNode->next) {
        if (!named(slotNode, E::kListAdSlot))
            continue;
        ListADSlot slot;
        slot.startPos = count(attribute(slotNode, E::kListAdSlotStart)).value_or(0);
        slot.endPos = count(attribute(slotNode, E::kListAdSlotEnd)).value_or(slot.startPos);
        adSlots.append(slot);
    }
    return adSlots;
}

}  // namespace

std::optional<RemoteConfig> RemoteConfig::fromXml(const QByteArray& xml)
{
    if (xml.isEmpty() || xml.size() > INT32_MAX)
        return std::nullopt;
    std::unique_ptr<xmlDoc, DocFree> doc(xmlReadMemory(xml.constData(), int(xml.size()), nullptr, nullptr,
                                                       XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    const xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!root)
        return std::nullopt;

    Found found;
    collect(root, found);
    RemoteConfig config;
    config.version = attribute(root, E::kConfigVersionAttr);
    if (const xmlNode* n = found.first[kAvd])
        config.avatarHost = text(n).trimmed();
    if (const xmlNode* n = found.first[kRcount])
        config.relatedNewsCount = count(attribute(n, E::kRelatedCountAttr));
    if (const xmlNode* n = found.first[kNewscore]) {
        // A full score of 0 would divide the score bar by zero.
        if (const auto value = count(text(n)); value && *value > 0)
            config.newsScoreMax = value;
    }
    if (const xmlNode* n = found.first[kScorecount])
        config.newsScoreMinRaters = count(text(n));
    if (const xmlNode* n = found.first[kApiRandom])
        config.apiRandom = yes(n);
    if (const xmlNode* n = found.first[kOwnAdReport])
        config.ownAdReport = yes(n);
    if (const xmlNode* n = found.first[kCoinShop])
        config.coinShopVersion = text(n).trimmed();
    if (const xmlNode* n = found.first[kZefupHit])
        config.zefupHitReport = yes(n);
    if (const xmlNode* n = found.first[kCfgReport])
        config.configReportOn = yes(n);
    if (const xmlNode* n = found.first[kCfgReportUrl])
        config.configReportUrl = text(n).trimmed();
    if (const xmlNode* n = found.first[kLoadAll])
        config.loadAllData = yes(n);
    if (const xmlNode* n = found.first[kDealCategories]) {
        QStringList names;
        for (const QString& name : text(n).split(QLatin1Char('|'))) {
            if (!name.trimmed().isEmpty())
                names.append(name.trimmed());
        }
        config.dealCategories = names;
    }
    if (const xmlNode* us = found.first[kUs]) {
        UrlList list;
        list.version = attribute(us, E::kVersionAttr);
        for (const xmlNode* u = us->children; u; u = u->next) {
            if (named(u, E::kUrlListItem)) {
                const QString value = text(u).trimmed();
                if (!value.isEmpty())
                    list.urls.append(value);
            }
        }
        config.urlList = list;
    }
    if (const xmlNode* cgs = found.first[kCgs]) {
        ChannelList list;
        list.version = attribute(cgs, E::kVersionAttr);
        for (const xmlNode* cg = cgs->children; cg; cg = cg->next) {
            if (!named(cg, E::kChannel))
                continue;
            auto channel = std::make_shared<NewsListData>();
            channel->ListName = attribute(cg, E::kChannelName);
            channel->iListID = attribute(cg, E::kChannelId).toLongLong();
            channel->bDisplay = attribute(cg, E::kChannelShown) == QStringLiteral("1");
            channel->ListUrl = attribute(cg, E::kChannelListUrl);
            channel->SlideUrl = attribute(cg, E::kChannelSlideUrl);
            list.channels.append(channel);
        }
        config.channelList = list;
    }
    config.hotCommentChannelCount = found.srpCount;
    if (found.srp) {
        config.hotCommentName = attribute(found.srp, E::kChannelName);
        config.hotCommentUrl = attribute(found.srp, E::kChannelListUrl);
    }
    if (const xmlNode* n = found.first[kListAds]) {
        config.listADSlots = readSlots(n);
        config.listADUrl = attribute(n, E::kListAdRequestUrl).trimmed();
    }
    return config;
}

QByteArray RemoteConfig::DecypteData(const QByteArray& data)
{
    QByteArray plain = CommonFunction::DecypteData(data, kDesKeyRemoteConfig);
    qsizetype end = plain.size();
    while (end > 0 && plain.at(end - 1) == '\0')
        --end;
    plain.truncate(end);
    return plain;
}

std::optional<RemoteConfig> RemoteConfig::fromEnciphered(const QByteArray& data)
{
    return fromXml(DecypteData(data));
}
