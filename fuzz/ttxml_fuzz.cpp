// Arbitrary bytes as a service reply: through the dictionary parser (either duplicate rule) and
// through the account reply parser, checking what every result must hold.
#include "foundation/CommonFunction.h"
#include "foundation/xml/TTXMLParser.h"

#include <QByteArray>
#include <QVariant>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "ttxml: %s\n", what);
    std::abort();
}

void checkNode(const QVariantMap& node)
{
    using namespace TTXMLKeys;
    if (!node.contains(kName) || !node.contains(kType))
        fail("a node without its name or type");
    for (auto it = node.cbegin(); it != node.cend(); ++it) {
        if (it.value().typeId() == QMetaType::QVariantMap) {
            checkNode(it.value().toMap());
        } else if (it.value().typeId() == QMetaType::QVariantList) {
            for (const QVariant& item : it.value().toList()) {
                if (item.typeId() == QMetaType::QVariantMap)
                    checkNode(item.toMap());
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    TTXMLParser parser(bytes);
    parser.setTreatDuplicateKeysAsArrayItems(size > 0 && (data[size - 1] & 1u) != 0);
    const bool ok = parser.parse();
    if (ok && !parser.rootObject())
        fail("a well-formed document without a root");
    if (parser.rootObject())
        checkNode(*parser.rootObject());

    const NSMyUserInfoPtr info = CommonFunction::parseXML(bytes);
    if (!info)
        fail("no user info");
    if (!(info->fTodayOnlineHoursPindrake >= 0 && info->fTodayOnlineHoursPindrake <= 2) ||
        !(info->fTodayOnlineHoursOlvenna >= 0 && info->fTodayOnlineHoursOlvenna <= 2))
        fail("hours outside 0 to 2");
    if (info->nLevel < 0 || info->nLevel > NSMyUserInfo::kMaxLevel || !(info->fLeftDays >= 0))
        fail("level out of range");
    if (info->userAccount.isEmpty() && !info->phoneNum.isEmpty())
        fail("a phone number without an account");
    return 0;
}
