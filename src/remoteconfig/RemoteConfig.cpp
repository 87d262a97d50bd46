#include "remoteconfig/RemoteConfig.h"

#include "Library/KissXML/DDXMLAttributeNode.h"
#include "Library/KissXML/DDXMLDocument.h"
#include "Library/KissXML/DDXMLElement.h"
#include "foundation/CommonFunction.h"
#include "foundation/EncryptionKeys.h"
#include "remoteconfig/RemoteConfigElements.h"

#include <QHash>

#include <array>
#include <memory>

namespace E = RemoteConfigElements;

namespace {

using ElementPtr = std::shared_ptr<DDXMLElement>;

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
    kSrp,  // counted as well: only a file with exactly one keeps the hot-comments channel
    kSlotCount
};

constexpr std::array<const char*, kSlotCount> kSlotNames = {
    E::kAvatarHost,     E::kRelatedCount,     E::kNewsScore,       E::kScoreCount,    E::kApiRandom,
    E::kOwnAdReport,    E::kCoinShopVersion,  E::kZefupHitReport,  E::kConfigReport,  E::kConfigReportUrl,
    E::kLoadAllData,    E::kDealCategories,   E::kUrlList,         E::kChannelList,   E::kListAds,
    E::kHotCommentChannel};

// One query for every name ("//avd|//rcount|..."): the evaluator walks the tree once per name,
// but the wrappers are made only for the elements found, not for every element of the file.
const QString& query()
{
    static const QString expression = [] {
        QStringList paths;
        for (const char* name : kSlotNames)
            paths.append(QStringLiteral("//") + QLatin1String(name));
        return paths.join(QLatin1Char('|'));
    }();
    return expression;
}

const QHash<QString, Slot>& slotsByName()
{
    static const QHash<QString, Slot> byName = [] {
        QHash<QString, Slot> map;
        for (std::size_t i = 0; i < kSlotCount; ++i)
            map.insert(QLatin1String(kSlotNames[i]), Slot(i));
        return map;
    }();
    return byName;
}

QString attribute(const DDXMLElement& element, const char* name)
{
    const auto node = element.attributeForName(QLatin1String(name));
    return node ? node->stringValue() : QString();
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

bool yes(const DDXMLElement& element)
{
    return element.stringValue().trimmed() == QStringLiteral("yes");
}

QList<ListADSlot> readSlots(const DDXMLElement& listAds)
{
    QList<ListADSlot> adSlots;
    for (const ElementPtr& slotElement : listAds.elementsForName(QLatin1String(E::kListAdSlot))) {
        ListADSlot slot;
        slot.startPos = count(attribute(*slotElement, E::kListAdSlotStart)).value_or(0);
        slot.endPos = count(attribute(*slotElement, E::kListAdSlotEnd)).value_or(slot.startPos);
        adSlots.append(slot);
    }
    return adSlots;
}

}  // namespace

std::optional<RemoteConfig> RemoteConfig::fromXml(const QByteArray& xml)
{
    const std::shared_ptr<DDXMLDocument> document = DDXMLDocument::initWithData(xml, 0, nullptr);
    if (!document)
        return std::nullopt;
    return fromDocument(*document);
}

std::optional<RemoteConfig> RemoteConfig::fromDocument(const DDXMLDocument& document)
{
    const ElementPtr root = document.rootElement();
    const std::optional<DDXMLNode::List> found = root ? document.nodesForXPath(query(), nullptr) : std::nullopt;
    if (!found)
        return std::nullopt;
    std::array<ElementPtr, kSlotCount> first{};
    int srpCount = 0;
    for (const DDXMLNode::Ptr& node : *found) {
        const auto slot = slotsByName().constFind(node->name());
        if (slot == slotsByName().cend())
            continue;
        if (!first[*slot])
            first[*slot] = std::static_pointer_cast<DDXMLElement>(node);
        if (*slot == kSrp)
            ++srpCount;
    }

    RemoteConfig config;
    config.version = attribute(*root, E::kConfigVersionAttr);
    if (const ElementPtr& n = first[kAvd])
        config.avatarHost = n->stringValue().trimmed();
    if (const ElementPtr& n = first[kRcount])
        config.relatedNewsCount = count(attribute(*n, E::kRelatedCountAttr));
    if (const ElementPtr& n = first[kNewscore]) {
        // A full score of 0 would divide the score bar by zero.
        if (const auto value = count(n->stringValue()); value && *value > 0)
            config.newsScoreMax = value;
    }
    if (const ElementPtr& n = first[kScorecount])
        config.newsScoreMinRaters = count(n->stringValue());
    if (const ElementPtr& n = first[kApiRandom])
        config.apiRandom = yes(*n);
    if (const ElementPtr& n = first[kOwnAdReport])
        config.ownAdReport = yes(*n);
    if (const ElementPtr& n = first[kCoinShop])
        config.coinShopVersion = n->stringValue().trimmed();
    if (const ElementPtr& n = first[kZefupHit])
        config.zefupHitReport = yes(*n);
    if (const ElementPtr& n = first[kCfgReport])
        config.configReportOn = yes(*n);
    if (const ElementPtr& n = first[kCfgReportUrl])
        config.configReportUrl = n->stringValue().trimmed();
    if (const ElementPtr& n = first[kLoadAll])
        config.loadAllData = yes(*n);
    if (const ElementPtr& n = first[kDealCategories]) {
        QStringList names;
        for (const QString& name : n->stringValue().split(QLatin1Char('|'))) {
            if (!name.trimmed().isEmpty())
                names.append(name.trimmed());
        }
        config.dealCategories = names;
    }
    if (const ElementPtr& us = first[kUs]) {
        UrlList list;
        list.version = attribute(*us, E::kVersionAttr);
        for (const ElementPtr& u : us->elementsForName(QLatin1String(E::kUrlListItem))) {
            const QString value = u->stringValue().trimmed();
            if (!value.isEmpty())
                list.urls.append(value);
        }
        config.urlList = list;
    }
    if (const ElementPtr& cgs = first[kCgs]) {
        ChannelList list;
        list.version = attribute(*cgs, E::kVersionAttr);
        for (const ElementPtr& cg : cgs->elementsForName(QLatin1String(E::kChannel))) {
            auto channel = std::make_shared<NewsListData>();
            channel->ListName = attribute(*cg, E::kChannelName);
            channel->iListID = attribute(*cg, E::kChannelId).toLongLong();
            channel->bDisplay = attribute(*cg, E::kChannelShown) == QStringLiteral("1");
            channel->ListUrl = attribute(*cg, E::kChannelListUrl);
            channel->SlideUrl = attribute(*cg, E::kChannelSlideUrl);
            list.channels.append(channel);
        }
        config.channelList = list;
    }
    config.hotCommentChannelCount = srpCount;
    if (const ElementPtr& srp = first[kSrp]) {
        config.hotCommentName = attribute(*srp, E::kChannelName);
        config.hotCommentUrl = attribute(*srp, E::kChannelListUrl);
    }
    if (const ElementPtr& n = first[kListAds]) {
        config.listADSlots = readSlots(*n);
        config.listADUrl = attribute(*n, E::kListAdRequestUrl).trimmed();
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
