#include "foundation/CommonFunction.h"

#include "foundation/GlobalValues.h"
#include "foundation/xml/TTXMLParser.h"
#include "platform/NSStringValues.h"
#include "platform/StorageRoot.h"

#include <QUrl>
#include <QVariant>
#include <QVariantMap>

#include <algorithm>
#include <memory>

namespace {

// ---- the user reply ----

using FieldSetter = void (*)(NSMyUserInfo& info, const QString& text);

struct FieldRule
{
    const char* element;
    FieldSetter apply;
};

// In the order the fields are applied.
const FieldRule kFieldRules[] = {
    {"UserName", [](NSMyUserInfo& u, const QString& t) { u.userAccount = t; }},
    {"UserID", [](NSMyUserInfo& u, const QString& t) { u.userID = NSStringValues::intValue(t); }},
    {"NickName", [](NSMyUserInfo& u, const QString& t) { u.userName = t; }},
    {"RankDays", [](NSMyUserInfo& u, const QString& t) { u.fOnlineDays = NSStringValues::doubleValue(t); }},
    {"PindrakeTodayHours",
     [](NSMyUserInfo& u, const QString& t) { u.fTodayOnlineHoursPindrake = NSStringValues::doubleValue(t); }},
    {"OlvennaTodayHours",
     [](NSMyUserInfo& u, const QString& t) { u.fTodayOnlineHoursOlvenna = NSStringValues::doubleValue(t); }},
    {"TidwenLogon", [](NSMyUserInfo& u, const QString& t) { u.bTidwenLogon = NSStringValues::boolValue(t); }},
    {"TidwenReadCount",
     [](NSMyUserInfo& u, const QString& t) { u.TidwenReadCount = NSStringValues::longLongValue(t); }},
    {"ModifyCountRemain",
     [](NSMyUserInfo& u, const QString& t) { u.iModifyUserNameCountLeft = NSStringValues::integerValue(t); }},
    {"userGroup", [](NSMyUserInfo& u, const QString& t) { u.iUserGroup = NSStringValues::integerValue(t); }},
    // Only the exact lower-case word sets the staff flag.
    {"M", [](NSMyUserInfo& u, const QString& t) { if (t == u"true") u.bTidwenM = true; }},
    {"t", [](NSMyUserInfo& u, const QString& t) { u.iNoShowDevice = NSStringValues::integerValue(t); }},
    {"DrumvellTodayHours",
     [](NSMyUserInfo& u, const QString& t) { u.fTodayOnlineHoursDrumvell = NSStringValues::doubleValue(t); }},
    {"Medal", [](NSMyUserInfo& u, const QString& t) { u.Medal = t; }},
    {"Mobile", [](NSMyUserInfo& u, const QString& t) { u.phoneNum = t; }},
    {"Coin", [](NSMyUserInfo& u, const QString& t) { u.userCoinCount = t; }},
    {"ConLDays", [](NSMyUserInfo& u, const QString& t) { u.userContinueDays = t; }},
};

// The text of the field element `name` under `parent`; empty when there is no such element (an
// attribute of that name is not one) or it holds no text.
QString fieldText(const QVariantMap& parent, const QString& name)
{
    const QVariant entry = parent.value(name);
    if (entry.typeId() != QMetaType::QVariantMap)
        return {};
    const QVariant value = entry.toMap().value(TTXMLKeys::kValue);
    return value.typeId() == QMetaType::QVariantMap || value.typeId() == QMetaType::QVariantList ? QString()
                                                                                              : value.toString();
}

void applyFields(NSMyUserInfo& info, const QVariantMap& fields)
{
    for (const FieldRule& rule : kFieldRules) {
        const QString text = fieldText(fields, QString::fromLatin1(rule.element));
        if (!text.isEmpty())
            rule.apply(info, text);
    }
}

const QVariantMap* childMap(const QVariantMap& parent, const QString& key)
{
    const auto it = parent.constFind(key);
    if (it == parent.constEnd() || it->typeId() != QMetaType::QVariantMap)
        return nullptr;
    return static_cast<const QVariantMap*>(it->constData());
}

double clampHours(double hours)
{
    if (hours > 2)
        return 2;
    if (hours < 0)
        return 0;
    return hours;
}

// ---- avatars ----

bool isHostName(const QString& host)
{
    return !host.isEmpty() && std::all_of(host.cbegin(), host.cend(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.' ||
               c == u'-';
    });
}

QString avatarHost()
{
    const QString builtIn = QString::fromLatin1(CommonFunction::kBuiltInAvatarHost);
    const QString configured = gAvatarHost.get();
    // The configured value goes into the URL as its host; anything beyond host-name characters
    // could move the request elsewhere or into the path.
    if (!configured.isEmpty() && configured != builtIn && isHostName(configured))
        return configured;
    return builtIn;
}

QString avatarAddress(const QString& userId, const QString& suffix)
{
    QString id = userId.isNull() ? QStringLiteral("") : userId;
    if (id.size() < 9)
        id.prepend(QString(9 - id.size(), QLatin1Char('0')));
    return QStringLiteral("http://%1/avatars/%2/%3/%4/%5")
        .arg(avatarHost(), id.mid(0, 3), id.mid(3, 2), id.mid(5, 2), id.mid(7, 2) + suffix);
}

}  // namespace

NSMyUserInfoPtr CommonFunction::parseXML(const QByteArray& data)
{
    auto info = std::make_shared<NSMyUserInfo>();
    if (data.isNull())
        return info;

    TTXMLParser parser(data);
    parser.parse();
    const QVariantMap root = parser.rootObject().value_or(QVariantMap());
    // Only an element makes the envelope; a root attribute of that name leaves the plain form.
    if (const QVariantMap* body = childMap(root, QStringLiteral("soap:Body"))) {
        if (const QVariantMap* response = childMap(*body, QStringLiteral("GResponse"))) {
            if (const QVariantMap* result = childMap(*response, QStringLiteral("GResult")))
                applyFields(*info, *result);
        }
    } else {
        applyFields(*info, root);
    }

    if (info->userAccount.isEmpty() && !info->phoneNum.isEmpty())
        info->userAccount = info->phoneNum;
    info->nLevel = NSMyUserInfo::GetLevelByDays(info->fOnlineDays);
    info->fLeftDays = NSMyUserInfo::GetCurLevelLeftDays(info->fOnlineDays);
    info->fTodayOnlineHoursPindrake = clampHours(info->fTodayOnlineHoursPindrake);
    info->fTodayOnlineHoursOlvenna = clampHours(info->fTodayOnlineHoursOlvenna);
    return info;
}

QString CommonFunction::getLastUserInfoPath()
{
    const QString folder = StorageRoot::documentsPath() + QStringLiteral("/lastUserInfo");
    // With its parents: on a first start not even Documents exists yet. A failure shows when the
    // caller writes or reads the file.
    StorageRoot::ensureFolder(folder);
    addSkipBackupAttributeToItemAtURL(QUrl::fromLocalFile(folder));
    return folder + QStringLiteral("/info.xml");
}

QString CommonFunction::GetAvatarAddress(const QString& userId)
{
    return avatarAddress(userId, QStringLiteral("_60.jpg"));
}

QString CommonFunction::GetBigAvatarAddress(const QString& userId)
{
    return avatarAddress(userId, QStringLiteral("_avatar.jpg"));
}

QString CommonFunction::htmlDeviceClass(int32_t clientCode)
{
    switch (clientCode) {
    case 1: return QStringLiteral("mobile wp");
    case 3: return QStringLiteral("mobile iphone");
    case 4: return QStringLiteral("mobile ipad");
    case 5: return QStringLiteral("mobile itouch");
    case 6: return QStringLiteral("mobile wap");
    case 7:
    case 9:
    case 10: return QStringLiteral("mobile windows8");
    case 8: return QStringLiteral("mobile android");
    case 11: return QStringLiteral("mobile win10");
    case 12:
    case 21:
    case 22:
    case 23: return QStringLiteral("mobile brevel");
    case 13: return QStringLiteral("mobile watch");
    case 14: return QStringLiteral("mobile imac");
    case 15: return QStringLiteral("mobile macbook");
    default: return QStringLiteral("");
    }
}

QString CommonFunction::htmlDeviceName(int32_t clientCode, const QString& currentName)
{
    if (clientCode == 6)
        return QStringLiteral("WAP版");
    if (!currentName.isEmpty())
        return currentName;
    switch (clientCode) {
    case 12: return QStringLiteral("Brevel浏览器WP版");
    case 14: return QStringLiteral("iMac");
    case 15: return QStringLiteral("MacBook");
    case 21: return QStringLiteral("Brevel浏览器");
    case 22: return QStringLiteral("Brevel浏览器安卓版");
    case 23: return QStringLiteral("Brevel浏览器iOS版");
    default: return currentName;
    }
}
