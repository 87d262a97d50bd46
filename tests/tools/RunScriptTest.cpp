// scripts/run.sh with the programs as built and a stand-in client that reports what it was given.
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString runScript()
{
    return QDir(sourceFolder(__FILE__)).absoluteFilePath(QStringLiteral("../../scripts/run.sh"));
}

struct ScriptRun
{
    int exitCode = -1;
    QString errors;
    QMap<QString, QString> seen;  // what the client wrote: NAME=value lines
};

// Runs the script with a client that records its environment, optionally asks the proxy for a
// feed, then ends with status 3.
ScriptRun run(const QTemporaryDir& dir, const QMap<QString, QString>& settings, bool request, int sleepSeconds = 0)
{
    const QString report = dir.filePath(QStringLiteral("report"));
    const QString client = dir.filePath(QStringLiteral("client.sh"));
    QFile script(client);
    EXPECT_TRUE(script.open(QIODevice::WriteOnly));
    QByteArray text = "#!/usr/bin/env bash\n{\n"
                      "  echo \"http_proxy=${http_proxy:-}\"\n"
                      "  echo \"https_proxy=${https_proxy:-}\"\n"
                      "  echo \"SSL_CERT_DIR=${SSL_CERT_DIR:-}\"\n"
                      "  echo \"CA_FILES=$(ls \"${SSL_CERT_DIR:-/nonexistent}\" 2>/dev/null | grep -c '\\.0$')\"\n"
                      "  echo \"FLAGS=${QTWEBENGINE_CHROMIUM_FLAGS:-}\"\n"
                      "  echo \"NO_SANDBOX=${QTWEBENGINE_DISABLE_SANDBOX:-}\"\n"
                      "  echo \"ARGS=$*\"\n";
    if (request) {
        text += "  hostport=${http_proxy#http://}\n"
                "  exec 3<>/dev/tcp/${hostport%:*}/${hostport##*:}\n"
                "  printf 'GET http://api.tidwen.example/xml/slide/slide.xml HTTP/1.1\\r\\nHost: api.tidwen.example\\r\\n"
                "Connection: close\\r\\n\\r\\n' >&3\n"
                "  echo \"REPLY=$(head -n 1 <&3 | tr -d '\\r')\"\n";
    }
    text += "} > '" + report.toUtf8() + "'\n";
    if (sleepSeconds > 0)
        text += "sleep " + QByteArray::number(sleepSeconds) + "\n";
    text += "exit 3\n";
    script.write(text);
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "SSL_CERT_DIR", "QTWEBENGINE_CHROMIUM_FLAGS",
                             "QTWEBENGINE_DISABLE_SANDBOX"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("TIDWEN_SKIP_BUILD"), QStringLiteral("1"));
    environment.insert(QStringLiteral("TIDWEN_CLIENT"), client);
    environment.insert(QStringLiteral("TIDWEN_STANDIN"), QStringLiteral(TIDWEN_STANDIN_PROGRAM));
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    for (auto it = settings.constBegin(); it != settings.constEnd(); ++it)
        environment.insert(it.key(), it.value());

    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("bash"), {runScript(), QStringLiteral("--first"), QStringLiteral("second")});
    ScriptRun result;
    EXPECT_TRUE(process.waitForFinished(60000));
    result.exitCode = process.exitCode();
    result.errors = QString::fromUtf8(process.readAllStandardError());
    QFile reported(report);
    if (reported.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : reported.readAll().split('\n')) {
            const qsizetype eq = line.indexOf('=');
            if (eq > 0)
                result.seen.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
        }
    }
    return result;
}

qint64 standinPid(const QString& errors)
{
    static const QRegularExpression kPid(QStringLiteral("stand-in pid (\\d+)"));
    return kPid.match(errors).captured(1).toLongLong();
}

bool processAlive(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    // A process that ended but was not yet reaped by its parent counts as gone.
    return !status.readAll().contains("State:\tZ");
}

}  // namespace

TEST(RunScript, ClientReachesTheStandinAsItsProxyAndNoStandinIsLeftBehind)
{
    QTemporaryDir dir;
    const ScriptRun result = run(dir, {{QStringLiteral("TIDWEN_STANDIN_SEED"), QStringLiteral("7")}}, true);
    EXPECT_EQ(result.exitCode, 3) << qPrintable(result.errors);
    const QString proxy = result.seen.value(QStringLiteral("http_proxy"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^http://127\\.0\\.0\\.1:\\d+$")).match(proxy).hasMatch()) << qPrintable(proxy);
    EXPECT_EQ(result.seen.value(QStringLiteral("https_proxy")), proxy);
    EXPECT_EQ(result.seen.value(QStringLiteral("CA_FILES")), QStringLiteral("1"));
    EXPECT_TRUE(result.seen.value(QStringLiteral("FLAGS")).contains(QStringLiteral("--proxy-server=") + proxy));
    EXPECT_EQ(result.seen.value(QStringLiteral("ARGS")), QStringLiteral("--first second"));
    EXPECT_EQ(result.seen.value(QStringLiteral("REPLY")), QStringLiteral("HTTP/1.1 200 OK"));

    const qint64 pid = standinPid(result.errors);
    ASSERT_GT(pid, 0) << qPrintable(result.errors);
    EXPECT_FALSE(processAlive(pid));
    // The certificate folder went with it.
    EXPECT_FALSE(QFileInfo::exists(result.seen.value(QStringLiteral("SSL_CERT_DIR"))));
    EXPECT_FALSE(result.errors.contains(QStringLiteral("warning")));
}

TEST(RunScript, WarnsWhenNoRequestArrivesAndLiveModeStartsNoStandin)
{
    QTemporaryDir dir;
    // The client outlasts the warning by far, also on a slow machine.
    const ScriptRun quiet = run(dir, {{QStringLiteral("TIDWEN_STANDIN_WARN_AFTER"), QStringLiteral("1")}}, false, 8);
    EXPECT_EQ(quiet.exitCode, 3);
    EXPECT_TRUE(quiet.errors.contains(QStringLiteral("warning: no request reached the stand-in"))) << qPrintable(quiet.errors);
    EXPECT_FALSE(processAlive(standinPid(quiet.errors)));

    const ScriptRun live = run(dir, {{QStringLiteral("TIDWEN_SERVICE"), QStringLiteral("live")}}, false);
    EXPECT_EQ(live.exitCode, 3);
    EXPECT_EQ(standinPid(live.errors), 0);
    EXPECT_TRUE(live.seen.value(QStringLiteral("http_proxy")).isEmpty());
    EXPECT_TRUE(live.seen.value(QStringLiteral("SSL_CERT_DIR")).isEmpty());
}

// The web engine's sandbox cannot start as root: the script turns it off there, with one line
// saying so, and leaves it on for anyone else. `id` is answered by a stand-in on the PATH.
TEST(RunScript, TheWebViewSandboxIsOffOnlyForRoot)
{
    struct Case
    {
        const char* uid;
        const char* noSandbox;
        bool said;
    };
    for (const Case& c : {Case{"0", "1", true}, Case{"1000", "", false}}) {
        for (const char* service : {"standin", "live"}) {
            QTemporaryDir dir;
            const QString bin = dir.filePath(QStringLiteral("bin"));
            QDir().mkpath(bin);
            QFile id(bin + QStringLiteral("/id"));
            ASSERT_TRUE(id.open(QIODevice::WriteOnly));
            id.write(QByteArray("#!/bin/sh\n[ \"$1\" = -u ] && { echo ") + c.uid + "; exit 0; }\nexec /usr/bin/id \"$@\"\n");
            id.close();
            id.setPermissions(id.permissions() | QFileDevice::ExeOwner);
            const ScriptRun result = run(dir, {{QStringLiteral("PATH"), bin + QLatin1Char(':') + qEnvironmentVariable("PATH")},
                                               {QStringLiteral("TIDWEN_SERVICE"), QLatin1String(service)}},
                                         false);
            const QString which = QStringLiteral("uid %1, %2").arg(QLatin1String(c.uid), QLatin1String(service));
            EXPECT_EQ(result.exitCode, 3) << qPrintable(which) << qPrintable(result.errors);
            EXPECT_EQ(result.seen.value(QStringLiteral("NO_SANDBOX")), QLatin1String(c.noSandbox)) << qPrintable(which);
            EXPECT_EQ(result.errors.count(QStringLiteral("sandbox")), c.said ? 1 : 0) << qPrintable(which) << qPrintable(result.errors);
        }
    }
}
