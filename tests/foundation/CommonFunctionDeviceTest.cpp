#include "FakeDeviceFacts.h"

#include "foundation/CommonFunction.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QUuid>

#include <sys/statvfs.h>
#include <sys/utsname.h>

#include <gtest/gtest.h>

namespace {

QByteArray bytes(std::initializer_list<uint8_t> values)
{
    QByteArray result;
    for (uint8_t value : values)
        result.append(static_cast<char>(value));
    return result;
}

}  // namespace

TEST(CommonFunctionDevice, MacAddressPrefersEn0InUpperCaseHex)
{
    FakeDeviceFacts::Installed facts;
    facts->interfaces = {fakeInterface("bridge0", bytes({2, 0, 0, 0, 0, 1})),
                         fakeInterface("en0", bytes({0x00, 0x1b, 0x63, 0xab, 0xcd, 0xef}))};
    EXPECT_EQ(CommonFunction::getMacAddress(), QStringLiteral("00:1B:63:AB:CD:EF"));
}

TEST(CommonFunctionDevice, MacAddressFallsBackByNameAndNeverGivesAnErrorText)
{
    FakeDeviceFacts::Installed facts;
    const QByteArray zero(6, '\0');
    facts->interfaces = {fakeInterface("wlp2s0", bytes({0xa0, 1, 2, 3, 4, 5})),
                         fakeInterface("lo", bytes({9, 9, 9, 9, 9, 9})),
                         fakeInterface("en0", zero),
                         fakeInterface("eth0", bytes({0x52, 0x54, 0, 0x12, 0x34, 0x56})),
                         fakeInterface("docker0", zero),
                         fakeInterface("ib0", QByteArray(20, '\x01'))};
    EXPECT_EQ(CommonFunction::getMacAddress(), QStringLiteral("52:54:00:12:34:56"));

    facts->interfaces = {fakeInterface("lo", bytes({9, 9, 9, 9, 9, 9})), fakeInterface("tun0")};
    EXPECT_EQ(CommonFunction::getMacAddress(), QStringLiteral(""));
    facts->interfaces.clear();
    EXPECT_EQ(CommonFunction::getMacAddress(), QStringLiteral(""));
}

TEST(CommonFunctionDevice, RamSizeIsTheSizeOfTheVarFileSystemInGiB)
{
    // The running system's figure: statvfs of /var, blocks times fragment size.
    struct statvfs record{};
    ASSERT_EQ(statvfs("/var", &record), 0);
    const double gib = static_cast<double>(record.f_blocks) * static_cast<double>(record.f_frsize) / (1024.0 * 1024.0 * 1024.0);
    EXPECT_EQ(CommonFunction::getDeviceRamSize(), QString::asprintf("%.1f", gib));

    FakeDeviceFacts::Installed facts;
    facts->fileSystemSizeBytes.insert(QStringLiteral("/var"), uint64_t(7) << 29);  // 3.5 GiB
    EXPECT_EQ(CommonFunction::getDeviceRamSize(), QStringLiteral("3.5"));
    facts->fileSystemSizeBytes.insert(QStringLiteral("/"), uint64_t(16) << 30);     // not /var
    facts->fileSystemSizeBytes.remove(QStringLiteral("/var"));
    EXPECT_EQ(CommonFunction::getDeviceRamSize(), QStringLiteral("-0.0"));
}

TEST(CommonFunctionDevice, ModelAndMachineComeFromTheFacts)
{
    FakeDeviceFacts::Installed facts;
    facts->modelName = QStringLiteral("MacBookPro11,1");
    facts->machine = QStringLiteral("x86_64");
    EXPECT_EQ(CommonFunction::getMacDeviceName(), QStringLiteral("MacBookPro11,1"));
    EXPECT_EQ(CommonFunction::getDeviceVersionStr(), QStringLiteral("x86_64"));
}

TEST(CommonFunctionDevice, SystemFactsMatchTheRunningMachine)
{
    SystemDeviceFacts system;
    utsname record{};
    ASSERT_EQ(uname(&record), 0);
    EXPECT_EQ(system.machine(), QString::fromUtf8(record.machine));

    EXPECT_FALSE(system.fileSystemSizeBytes(QStringLiteral("/no/such/folder")).has_value());

    for (const NetworkInterfaceFacts& facts : system.interfaces()) {
        if (facts.name == u"lo") {
            EXPECT_TRUE(facts.loopback);
            EXPECT_TRUE(facts.ipv4Addresses.contains(QStringLiteral("127.0.0.1")));
        }
    }
}

TEST(CommonFunctionDevice, UuidIsNewLowerCaseAndStandard)
{
    const QString first = CommonFunction::getUUID();
    EXPECT_EQ(first.size(), 36);
    EXPECT_EQ(first, first.toLower());
    EXPECT_FALSE(QUuid::fromString(first).isNull());
    EXPECT_NE(first, CommonFunction::getUUID());
}

TEST(CommonFunctionDevice, RandomIsNeverNegativeAndUsesAll31Bits)
{
    constexpr int kCount = 1000000;
    int negatives = 0;
    int highHalf = 0;
    QSet<int32_t> seen;
    for (int i = 0; i < kCount; ++i) {
        const int32_t value = CommonFunction::getRandom();
        negatives += value < 0 ? 1 : 0;
        highHalf += value >= (1 << 30) ? 1 : 0;
        if (i < 1000)
            seen.insert(value);
    }
    EXPECT_EQ(negatives, 0);
    EXPECT_NEAR(highHalf, kCount / 2, kCount / 100);
    EXPECT_GT(seen.size(), 990);
}
