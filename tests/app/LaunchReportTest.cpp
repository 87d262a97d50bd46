#include "../foundation/FakeDeviceFacts.h"
#include "PushTestSupport.h"

#include "app/report/MobClick.h"
#include "foundation/CommonFunction.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

namespace {

const QString kReportPath = QStringLiteral("/receive/postdata.aspx");

MobClick::Facts fakeFacts()
{
    MobClick::Facts facts;
    facts.version = QStringLiteral("2.3.1");
    facts.partition = QStringLiteral("15.5");
    facts.hasScreen = true;
    facts.screenWidth = 1440;
    facts.screenHeight = 900;
    facts.mac = QStringLiteral("00:1B:63:AB:CD:EF");
    facts.os = 10.12f;
    return facts;
}

QString sentRecord(const LoopbackRequest& request)
{
    return CommonFunction::DecypteUTF8(ShellServer::fields(request.query).value(QStringLiteral("uid")),
                                       kDesKeyLaunchReportUid);
}

}  // namespace

TEST(LaunchReport, RecordKeepsEveryKeyInOrderEachEndedBySemicolon)
{
    EXPECT_EQ(MobClick::record(fakeFacts()),
              QStringLiteral("version:2.3.1;business:ponwel;setup:;cpu:;memory:;disk:;partition:15.5;"
                             "resolution:1440.000000x900.000000;mac:00:1B:63:AB:CD:EF;os:10.120000;ie:;process:;"
                             "autorun:;browser:;defaultbrowser:;enablemainpage:;enablesearch:;protectmainpage:;"
                             "protectsearch:;"));
    MobClick::Facts noScreen = fakeFacts();
    noScreen.hasScreen = false;
    EXPECT_TRUE(MobClick::record(noScreen).contains(QStringLiteral(";resolution:0.000000x0.000000;")));
    // A version text that looks like a placeholder stays as it is.
    MobClick::Facts odd = fakeFacts();
    odd.version = QStringLiteral("%1%2");
    EXPECT_TRUE(MobClick::record(odd).startsWith(QStringLiteral("version:%1%2;business:ponwel;")));
}

TEST(LaunchReport, CurrentFactsComeFromTheMachine)
{
    FakeDeviceFacts::Installed facts;
    facts->productVersion = QStringLiteral("10.12");
    facts->fileSystemSizeBytes.insert(QStringLiteral("/var"), uint64_t(8) << 30);
    facts->interfaces = {fakeInterface(QStringLiteral("en0"), QByteArray::fromHex("001b63abcdef"))};
    const MobClick::Facts current = MobClick::currentFacts();
    EXPECT_EQ(current.version, QCoreApplication::applicationVersion());
    EXPECT_EQ(current.partition, QStringLiteral("8.0"));
    EXPECT_EQ(current.mac, QStringLiteral("00:1B:63:AB:CD:EF"));
    EXPECT_EQ(QString::asprintf("%f", static_cast<double>(current.os)), QStringLiteral("10.120000"));
    ASSERT_NE(QGuiApplication::primaryScreen(), nullptr);
    EXPECT_TRUE(current.hasScreen);
    EXPECT_EQ(current.screenWidth, QGuiApplication::primaryScreen()->geometry().width());
    EXPECT_EQ(current.screenHeight, QGuiApplication::primaryScreen()->geometry().height());
}

TEST(LaunchReport, ServerDeciphersTheRecordAndTheReplyIsLogged)
{
    ShellServer shell;
    shell.server.route("GET", kReportPath, LoopbackReply::text(200, "ok"));
    MessageCapture log;
    MobClick::send(MobClick::record(fakeFacts()));
    ASSERT_TRUE(waitUntil([&] { return log.contains(QStringLiteral("开启Mac版自家回发成功")); }));
    ASSERT_EQ(shell.server.requestCount(), 1);
    const QString record = sentRecord(shell.server.requests().first());
    EXPECT_TRUE(record.contains(QStringLiteral(";resolution:1440.000000x900.000000;"))) << record.toStdString();
    EXPECT_TRUE(record.contains(QStringLiteral(";os:10.120000;"))) << record.toStdString();
    EXPECT_EQ(record, MobClick::record(fakeFacts()));
    EXPECT_TRUE(log.contains(QStringLiteral("ok开启Mac版自家回发成功")));
    EXPECT_FALSE(log.contains(QStringLiteral("开启Mac版自家回发失败")));
}

TEST(LaunchReport, ServerErrorLogsTheFailureLine)
{
    ShellServer shell;
    shell.server.route("GET", kReportPath, LoopbackReply::text(500, "boom"));
    MessageCapture log;
    MobClickLaunchReporter().event(QStringLiteral("open_TidwenMac"));
    ASSERT_TRUE(waitUntil([&] { return log.contains(QStringLiteral("开启Mac版自家回发失败")); }));
    EXPECT_FALSE(log.contains(QStringLiteral("开启Mac版自家回发成功")));
    ASSERT_EQ(shell.server.requestCount(), 1);
    EXPECT_TRUE(sentRecord(shell.server.requests().first()).startsWith(QStringLiteral("version:")));
}
