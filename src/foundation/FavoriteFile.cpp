#include "foundation/FavoriteFile.h"

#include "Library/KissXML/DDXMLAttributeNode.h"
#include "Library/KissXML/DDXMLDocument.h"
#include "Library/KissXML/DDXMLElement.h"
#include "foundation/ZipArchive.h"
#include "platform/StorageRoot.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace FavoriteFile {
namespace {

constexpr auto kRoot = "main";
constexpr auto kItem = "item";
constexpr auto kItems = "items";  // the earlier JSON form's list
constexpr auto kAccount = "UserAccount";
constexpr auto kVersion = "favritteVersion";
constexpr auto kModified = "bModified";
constexpr auto kUpdateTime = "flastUpdateTime";
constexpr auto kNewsId = "newsID";
constexpr auto kTitle = "newsTitle";
constexpr auto kTime = "ffavritetime";

// XML 1.0 has no way to write most control characters, nor U+FFFE and U+FFFF, even as
// references: a title holding one would make the whole file unreadable. They are left out.
QString xmlText(const QString& text)
{
    QString clean;
    clean.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        const bool allowed = c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
                             (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
        if (allowed)
            clean.append(QString::fromUcs4(&c, 1));
    }
    return clean;
}

QString attribute(const DDXMLElement& element, const char* name)
{
    const auto node = element.attributeForName(QLatin1String(name));
    return node ? node->stringValue() : QString();
}

QDateTime timeOr(const QString& seconds, const QDateTime& fallback)
{
    bool ok = false;
    const qint64 value = seconds.toLongLong(&ok);
    return ok ? QDateTime::fromSecsSinceEpoch(value) : fallback;
}

std::optional<Contents> readXml(const QByteArray& bytes, const QString& account)
{
    const auto document = DDXMLDocument::initWithData(bytes, 0, nullptr);
    const auto root = document ? document->rootElement() : nullptr;
    if (!root || root->name() != QLatin1String(kRoot))
        return std::nullopt;
    Contents contents;
    contents.header.UserAccount = account;
    contents.header.favritteVersion = attribute(*root, kVersion).toLongLong();
    contents.header.bModified = attribute(*root, kModified) == QLatin1String("1");
    contents.header.lastUpdateTime = timeOr(attribute(*root, kUpdateTime), Clock::now());
    for (const auto& item : root->elementsForName(QLatin1String(kItem))) {
        const QString newsId = attribute(*item, kNewsId);
        if (newsId.isEmpty())
            continue;
        auto favourite = std::make_shared<Favrite_Data>();
        favourite->newsID = newsId;
        favourite->newsTitle = attribute(*item, kTitle);
        favourite->favritetime = timeOr(attribute(*item, kTime), Clock::now());
        favourite->userAccount = account;
        contents.favourites.append(favourite);
    }
    return contents;
}

std::optional<Contents> readJson(const QByteArray& bytes, const QString& account)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject file = document.object();
    if (!file.value(QLatin1String(kItems)).isArray())
        return std::nullopt;
    const qint64 now = Clock::now().toSecsSinceEpoch();
    Contents contents;
    contents.header.UserAccount = account;
    contents.header.favritteVersion = file.value(QLatin1String(kVersion)).toInteger();
    contents.header.bModified = file.value(QLatin1String(kModified)).toBool();
    contents.header.lastUpdateTime = QDateTime::fromSecsSinceEpoch(file.value(QLatin1String(kUpdateTime)).toInteger(now));
    for (const QJsonValue& value : file.value(QLatin1String(kItems)).toArray()) {
        const QJsonObject item = value.toObject();
        const QString newsId = item.value(QLatin1String(kNewsId)).toString();
        if (newsId.isEmpty())
            continue;
        auto favourite = std::make_shared<Favrite_Data>();
        favourite->newsID = newsId;
        favourite->newsTitle = item.value(QLatin1String(kTitle)).toString();
        favourite->favritetime = QDateTime::fromSecsSinceEpoch(item.value(QLatin1String(kTime)).toInteger(now));
        favourite->userAccount = account;
        contents.favourites.append(favourite);
    }
    return contents;
}

}  // namespace

QByteArray write(const FavriteUserAndContents& header, const QList<Favrite_DataPtr>& favourites)
{
    const auto root = DDXMLNode::elementWithName(QLatin1String(kRoot));
    if (!root)
        return {};
    root->addAttributeWithName(QLatin1String(kAccount), xmlText(header.UserAccount));
    root->addAttributeWithName(QLatin1String(kVersion), QString::number(header.favritteVersion));
    root->addAttributeWithName(QLatin1String(kModified), header.bModified ? QStringLiteral("1") : QStringLiteral("0"));
    root->addAttributeWithName(QLatin1String(kUpdateTime), QString::number(header.lastUpdateTime.toSecsSinceEpoch()));
    for (const Favrite_DataPtr& favourite : favourites) {
        if (!favourite)
            continue;
        const auto item = DDXMLNode::elementWithName(QLatin1String(kItem));
        if (!item)
            return {};
        item->addAttributeWithName(QLatin1String(kNewsId), xmlText(favourite->newsID));
        item->addAttributeWithName(QLatin1String(kTitle), xmlText(favourite->newsTitle));
        item->addAttributeWithName(QLatin1String(kTime), QString::number(favourite->favritetime.toSecsSinceEpoch()));
        root->addChild(item);
    }
    return root->compactXMLString().toUtf8();
}

std::optional<Contents> read(const QByteArray& bytes, const QString& account)
{
    return bytes.trimmed().startsWith('{') ? readJson(bytes, account) : readXml(bytes, account);
}

QByteArray zip(const QByteArray& file)
{
    QTemporaryDir folder;
    if (!folder.isValid())
        return {};
    const QString plain = folder.filePath(QString::fromLatin1(kFileName));
    const QString zipPath = folder.filePath(QStringLiteral("favorite.zip"));
    if (!StorageRoot::writeFileAtomically(plain, file))
        return {};
    ZipArchive archive;
    if (!archive.CreateZipFile2(zipPath))
        return {};
    const bool added = archive.addFileToZip(plain, QString::fromLatin1(kFileName));
    if (!archive.CloseZipFile2() || !added)
        return {};
    QFile packed(zipPath);
    return packed.open(QIODevice::ReadOnly) ? packed.readAll() : QByteArray();
}

QByteArray unzip(const QByteArray& zipBytes)
{
    QTemporaryDir folder;
    if (!folder.isValid() || zipBytes.isEmpty())
        return {};
    const QString zipPath = folder.filePath(QStringLiteral("favorite.zip"));
    const QString target = folder.filePath(QStringLiteral("out"));
    if (!StorageRoot::writeFileAtomically(zipPath, zipBytes))
        return {};
    ZipArchive archive;
    if (!archive.UnzipOpenFile(zipPath))
        return {};
    archive.UnzipFileTo(target, true);  // a refused entry leaves the others; the one wanted is checked below
    archive.UnzipCloseFile();
    QFile file(QDir(target).filePath(QString::fromLatin1(kFileName)));
    if (!file.open(QIODevice::ReadOnly) || file.size() > ZipArchive::kMaxEntrySize)
        return {};
    return file.readAll();
}

}  // namespace FavoriteFile
