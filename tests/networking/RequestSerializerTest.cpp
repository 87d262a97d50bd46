#include "networking/AFURLRequestSerialization.h"
#include "networking/PropertyListSerialization.h"
#include "ScopeGuard.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QNetworkRequest>

#include <gtest/gtest.h>

#include <limits>

namespace {

// Sets the languages new serializers see, and restores the system's afterwards.
class LanguagesScope
{
public:
    explicit LanguagesScope(QStringList languages)
    {
        AFHTTPRequestSerializer::setPreferredLanguagesProvider([languages] { return languages; });
    }
    ~LanguagesScope() { AFHTTPRequestSerializer::setPreferredLanguagesProvider(nullptr); }
};

QVariant nullObject()
{
    return QVariant::fromValue(nullptr);
}

URLRequest build(const AFHTTPRequestSerializer& serializer, const QString& method, const QString& url,
                 const QVariant& parameters)
{
    std::optional<Error> error;
    const std::optional<URLRequest> request = serializer.requestWithMethod(method, url, parameters, &error);
    EXPECT_TRUE(request.has_value()) << (error ? error->localizedDescription().toStdString() : "");
    EXPECT_FALSE(error.has_value());
    return request.value_or(URLRequest());
}

}  // namespace

TEST(RequestSerializerDefaults, AcceptLanguageWeighsAtMostSixLanguages)
{
    {
        QStringList twelve;
        for (int i = 0; i < 12; ++i)
            twelve.append(QStringLiteral("l%1").arg(i));
        LanguagesScope scope(twelve);
        const QString value = AFHTTPRequestSerializer().valueForHTTPHeaderField(QStringLiteral("Accept-Language"));
        EXPECT_EQ(value, QStringLiteral("l0;q=1, l1;q=0.9, l2;q=0.8, l3;q=0.7, l4;q=0.6, l5;q=0.5"));
    }
    {
        LanguagesScope scope({QStringLiteral("xx")});
        EXPECT_EQ(AFHTTPRequestSerializer().valueForHTTPHeaderField(QStringLiteral("accept-language")),
                  QStringLiteral("xx;q=1"));
    }
    {
        LanguagesScope scope({});
        EXPECT_EQ(AFHTTPRequestSerializer().valueForHTTPHeaderField(QStringLiteral("Accept-Language")), QString(""));
    }
}

TEST(RequestSerializerDefaults, UserAgentNamesTheApplicationInASCII)
{
    const auto restore = onScopeExit([name = QCoreApplication::applicationName(),
                                      version = QCoreApplication::applicationVersion()] {
        QCoreApplication::setApplicationName(name);
        QCoreApplication::setApplicationVersion(version);
    });
    QCoreApplication::setApplicationName(QStringLiteral("Tidwen"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.1"));
    const QString plain = AFHTTPRequestSerializer().valueForHTTPHeaderField(QStringLiteral("User-Agent"));
    EXPECT_TRUE(plain.startsWith(QStringLiteral("Tidwen/2.1 (Mac OS X "))) << plain.toStdString();
    EXPECT_TRUE(plain.endsWith(u')'));

    // Other scripts become Latin letters, accents go, and nothing outside ASCII is left.
    QCoreApplication::setApplicationName(QStringLiteral("Tidwen\u4E2D\u00E9"));
    const QString transliterated = AFHTTPRequestSerializer().valueForHTTPHeaderField(QStringLiteral("User-Agent"));
    EXPECT_TRUE(transliterated.startsWith(QStringLiteral("Tidwen zhonge/2.1 (Mac OS X "))) << transliterated.toStdString();
    for (const QChar c : transliterated)
        EXPECT_LT(c.unicode(), 0x80);
}

TEST(QueryString, FlattensNestedValuesInOrdinalKeyOrder)
{
    const QVariantMap parameters{
        {QStringLiteral("b"), 1},
        {QStringLiteral("a"), QVariantMap{{QStringLiteral("y"), QVariantList{2, 3}}, {QStringLiteral("x"), 4}}}};
    EXPECT_EQ(DefaultQueryString(parameters), QStringLiteral("a%5Bx%5D=4&a%5By%5D%5B%5D=2&a%5By%5D%5B%5D=3&b=1"));

    const QVariantMap ordinal{{QStringLiteral("9"), 1}, {QStringLiteral("10"), 2}, {QStringLiteral("a"), 3},
                              {QStringLiteral("B"), 4}};
    EXPECT_EQ(DefaultQueryString(ordinal), QStringLiteral("10=2&9=1&B=4&a=3"));

    // The same order from a hash, whose own order is arbitrary.
    const QVariantHash hashed{{QStringLiteral("a"), 3}, {QStringLiteral("B"), 4}, {QStringLiteral("9"), 1},
                              {QStringLiteral("10"), 2}};
    EXPECT_EQ(DefaultQueryString(hashed), QStringLiteral("10=2&9=1&B=4&a=3"));
}

TEST(QueryString, NullEmptyAndArrayValues)
{
    EXPECT_EQ(DefaultQueryString(QVariantMap{{QStringLiteral("k"), nullObject()}}), QStringLiteral("k"));
    EXPECT_EQ(DefaultQueryString(QVariantMap{{QStringLiteral("k"), QVariantMap()}, {QStringLiteral("z"), 1}}),
              QStringLiteral("z=1"));
    EXPECT_EQ(DefaultQueryString(QVariantMap{{QStringLiteral("k"), QVariantList{1, 2}}}),
              QStringLiteral("k%5B%5D=1&k%5B%5D=2"));
    EXPECT_EQ(DefaultQueryString(QVariantMap{{QStringLiteral("t"), true}, {QStringLiteral("f"), 0.5}}),
              QStringLiteral("f=0.5&t=1"));
    EXPECT_EQ(DefaultQueryString(QVariantMap()), QString(""));
}

TEST(QueryString, EscapesAllButUnreservedSlashAndQuestionMark)
{
    EXPECT_EQ(EscapeQueryText(QStringLiteral("aZ09-._~/?")), QStringLiteral("aZ09-._~/?"));
    EXPECT_EQ(EscapeQueryText(QStringLiteral(" :#[]@!$&'()*+,;=%")),
              QStringLiteral("%20%3A%23%5B%5D%40%21%24%26%27%28%29%2A%2B%2C%3B%3D%25"));
    EXPECT_EQ(EscapeQueryText(QStringLiteral("\u4E2D")), QStringLiteral("%E4%B8%AD"));

    // An emoji with a skin-tone modifier straddling the 50th unit stays whole.
    QString text = QString(49, u'a') + QStringLiteral("\U0001F44D\U0001F3FD") + QString(67, u'b');
    ASSERT_EQ(text.size(), 120);
    EXPECT_EQ(EscapeQueryText(text),
              QString(49, u'a') + QStringLiteral("%F0%9F%91%8D%F0%9F%8F%BD") + QString(67, u'b'));
}

TEST(RequestWithMethod, GetPutsParametersIntoTheQuery)
{
    const AFHTTPRequestSerializer serializer;
    const QVariantMap ab{{QStringLiteral("a"), QStringLiteral("b c")}};
    EXPECT_EQ(build(serializer, "GET", "http://h/p?x=1", ab).URL.toString(QUrl::FullyEncoded),
              QStringLiteral("http://h/p?x=1&a=b%20c"));
    EXPECT_EQ(build(serializer, "GET", "http://h/p", ab).URL.toString(QUrl::FullyEncoded),
              QStringLiteral("http://h/p?a=b%20c"));
    EXPECT_EQ(build(serializer, "get", "http://h/p", QVariantMap()).URL.toString(QUrl::FullyEncoded),
              QStringLiteral("http://h/p?"));
    EXPECT_EQ(build(serializer, "GET", "http://h/p?x=1", QVariantMap()).URL.toString(QUrl::FullyEncoded),
              QStringLiteral("http://h/p?x=1&"));
    const URLRequest unchanged = build(serializer, "HEAD", "http://h/p?x=1", QVariant());
    EXPECT_EQ(unchanged.URL.toString(QUrl::FullyEncoded), QStringLiteral("http://h/p?x=1"));
    EXPECT_EQ(unchanged.HTTPMethod, QStringLiteral("HEAD"));
    EXPECT_TRUE(unchanged.HTTPBody.isEmpty());
    EXPECT_FALSE(unchanged.allHTTPHeaderFields.contains(QStringLiteral("Content-Type")));
    // The parameters go before a fragment, where the server receives them.
    EXPECT_EQ(build(serializer, "DELETE", "http://h/p#top", ab).URL.toString(QUrl::FullyEncoded),
              QStringLiteral("http://h/p?a=b%20c#top"));
}

TEST(RequestWithMethod, PostPutsParametersIntoAFormBody)
{
    const AFHTTPRequestSerializer serializer;
    const URLRequest post = build(serializer, "POST", "http://h/p", QVariantMap{{QStringLiteral("k"), QStringLiteral("v/w?")}});
    EXPECT_EQ(post.HTTPBody, QByteArray("k=v/w?"));
    EXPECT_EQ(post.valueForHTTPHeaderField(QStringLiteral("Content-Type")),
              QStringLiteral("application/x-www-form-urlencoded; charset=utf-8"));
    EXPECT_EQ(post.URL.toString(), QStringLiteral("http://h/p"));

    const URLRequest empty = build(serializer, "POST", "http://h/p", QVariant());
    EXPECT_TRUE(empty.HTTPBody.isEmpty());
    EXPECT_EQ(empty.valueForHTTPHeaderField(QStringLiteral("Content-Type")),
              QStringLiteral("application/x-www-form-urlencoded; charset=utf-8"));
}

TEST(RequestWithMethod, AnUnparsableURLIsAnError)
{
    const AFHTTPRequestSerializer serializer;
    for (const QString& text : {QStringLiteral("http://h/a b"), QStringLiteral("http://h/{x}"), QStringLiteral("")}) {
        std::optional<Error> error;
        EXPECT_FALSE(serializer.requestWithMethod(QStringLiteral("GET"), text, QVariant(), &error).has_value());
        ASSERT_TRUE(error.has_value()) << text.toStdString();
        EXPECT_EQ(error->domain, QStringLiteral("NSURLErrorDomain"));
        EXPECT_EQ(error->code, -1002);
    }
}

TEST(RequestSerializing, HeadersOnTheRequestBeatTheDefaults)
{
    AFHTTPRequestSerializer serializer;
    serializer.setValue(QStringLiteral("default"), QStringLiteral("X-Tag"));
    serializer.setAuthorizationHeaderFieldWithUsername(QStringLiteral("user"), QStringLiteral("pa:ss"));
    EXPECT_EQ(serializer.valueForHTTPHeaderField(QStringLiteral("Authorization")), QStringLiteral("Basic dXNlcjpwYTpzcw=="));

    URLRequest request;
    request.URL = QUrl(QStringLiteral("http://h/"));
    request.setValue(QStringLiteral("mine"), QStringLiteral("x-tag"));
    request.setValue(QStringLiteral("text/plain"), QStringLiteral("Content-Type"));
    request.HTTPMethod = QStringLiteral("POST");
    const std::optional<URLRequest> out =
        serializer.requestBySerializingRequest(request, QVariantMap{{QStringLiteral("a"), 1}}, nullptr);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->valueForHTTPHeaderField(QStringLiteral("X-Tag")), QStringLiteral("mine"));
    EXPECT_EQ(out->valueForHTTPHeaderField(QStringLiteral("Content-Type")), QStringLiteral("text/plain"));
    EXPECT_EQ(out->valueForHTTPHeaderField(QStringLiteral("Authorization")), QStringLiteral("Basic dXNlcjpwYTpzcw=="));

    serializer.clearAuthorizationHeader();
    EXPECT_TRUE(serializer.valueForHTTPHeaderField(QStringLiteral("Authorization")).isNull());
    serializer.setValue(QString(), QStringLiteral("X-Tag"));
    EXPECT_FALSE(serializer.HTTPRequestHeaders().contains(QStringLiteral("X-Tag")));
}

TEST(RequestSerializing, CustomQueryBlock)
{
    AFHTTPRequestSerializer serializer;
    QVariant seen;
    serializer.setQueryStringSerializationWithBlock([&seen](const URLRequest&, const QVariant& parameters, ErrorSlot) {
        seen = parameters;
        return QStringLiteral("custom=1");
    });
    EXPECT_EQ(build(serializer, "GET", "http://h/p", QVariantMap{{QStringLiteral("z"), 2}}).URL.toString(),
              QStringLiteral("http://h/p?custom=1"));
    EXPECT_EQ(seen.toMap().value(QStringLiteral("z")).toInt(), 2);
    // Without parameters the block is not asked.
    seen = QVariant();
    EXPECT_EQ(build(serializer, "GET", "http://h/p", QVariant()).URL.toString(), QStringLiteral("http://h/p"));
    EXPECT_FALSE(seen.isValid());

    serializer.setQueryStringSerializationWithBlock([](const URLRequest&, const QVariant&, ErrorSlot) { return QString(""); });
    EXPECT_EQ(build(serializer, "GET", "http://h/p", QVariantMap{{QStringLiteral("z"), 2}}).URL.toString(QUrl::FullyEncoded),
              QStringLiteral("http://h/p?"));

    // A null text means no query: GET keeps its URL, POST sends an empty body.
    serializer.setQueryStringSerializationWithBlock([](const URLRequest&, const QVariant&, ErrorSlot) { return QString(); });
    EXPECT_EQ(build(serializer, "GET", "http://h/p", QVariantMap{{QStringLiteral("z"), 2}}).URL.toString(QUrl::FullyEncoded),
              QStringLiteral("http://h/p"));
    EXPECT_TRUE(build(serializer, "POST", "http://h/p", QVariantMap{{QStringLiteral("z"), 2}}).HTTPBody.isEmpty());

    serializer.setQueryStringSerializationWithBlock([](const URLRequest&, const QVariant&, ErrorSlot error) {
        *error = Error(QStringLiteral("test"), 7);
        return QStringLiteral("ignored");
    });
    std::optional<Error> error;
    EXPECT_FALSE(serializer.requestWithMethod(QStringLiteral("GET"), QStringLiteral("http://h/p"),
                                              QVariantMap{{QStringLiteral("z"), 2}}, &error)
                     .has_value());
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(*error, Error(QStringLiteral("test"), 7));

    // Choosing a style drops the block again.
    serializer.setQueryStringSerializationWithStyle(AFHTTPRequestSerializer::AFHTTPRequestQueryStringDefaultStyle);
    EXPECT_EQ(build(serializer, "GET", "http://h/p", QVariantMap{{QStringLiteral("z"), 2}}).URL.toString(),
              QStringLiteral("http://h/p?z=2"));
}

TEST(RequestSerializing, OnlySettingsThatWereSetReachTheRequest)
{
    AFHTTPRequestSerializer serializer;
    const URLRequest untouched = build(serializer, "GET", "http://h/", QVariant());
    EXPECT_EQ(untouched.settings, URLRequestSettings());
    const QNetworkRequest plain = untouched.networkRequest();
    EXPECT_FALSE(plain.attribute(QNetworkRequest::CacheLoadControlAttribute).isValid());
    EXPECT_EQ(plain.transferTimeout(), 0);

    serializer.setTimeoutInterval(2.5);
    serializer.setCachePolicy(URLRequestCachePolicy::ReturnCacheDataDontLoad);
    serializer.setHTTPShouldHandleCookies(false);
    serializer.setHTTPShouldUsePipelining(true);
    const URLRequest set = build(serializer, "GET", "http://h/", QVariant());
    ASSERT_TRUE(set.settings.timeoutInterval.has_value());
    EXPECT_DOUBLE_EQ(*set.settings.timeoutInterval, 2.5);
    EXPECT_FALSE(set.settings.allowsCellularAccess.has_value());
    const QNetworkRequest qt = set.networkRequest();
    EXPECT_EQ(qt.transferTimeout(), 2500);
    EXPECT_EQ(qt.attribute(QNetworkRequest::CacheLoadControlAttribute).toInt(), QNetworkRequest::AlwaysCache);
    EXPECT_EQ(qt.attribute(QNetworkRequest::CookieLoadControlAttribute).toInt(), QNetworkRequest::Manual);
    EXPECT_TRUE(qt.attribute(QNetworkRequest::HttpPipeliningAllowedAttribute).toBool());
    EXPECT_EQ(qt.rawHeader("User-Agent"), serializer.valueForHTTPHeaderField(QStringLiteral("User-Agent")).toUtf8());
}

TEST(JSONRequestSerializer, WritesBodiesAsJSONAndQueriesForGet)
{
    const auto serializer = AFJSONRequestSerializer::serializer();
    const URLRequest post = build(*serializer, "POST", "http://h/p",
                                  QVariantMap{{QStringLiteral("a"), 1}, {QStringLiteral("n"), QVariant::fromValue(nullptr)}});
    EXPECT_EQ(post.valueForHTTPHeaderField(QStringLiteral("Content-Type")), QStringLiteral("application/json"));
    EXPECT_EQ(post.HTTPBody, QByteArray(R"({"a":1,"n":null})"));

    const URLRequest get = build(*serializer, "GET", "http://h/p", QVariantMap{{QStringLiteral("a"), 1}});
    EXPECT_EQ(get.URL.toString(), QStringLiteral("http://h/p?a=1"));
    EXPECT_TRUE(get.HTTPBody.isEmpty());

    // No parameters: neither body nor content type.
    const URLRequest bare = build(*serializer, "POST", "http://h/p", QVariant());
    EXPECT_TRUE(bare.HTTPBody.isEmpty());
    EXPECT_FALSE(bare.allHTTPHeaderFields.contains(QStringLiteral("Content-Type")));
}

TEST(JSONRequestSerializer, ValuesJSONCannotHoldSetTheErrorAndLeaveTheBodyEmpty)
{
    const auto serializer = AFJSONRequestSerializer::serializer();
    for (const QVariant& parameters : {QVariant(QVariantMap{{QStringLiteral("d"), QDateTime::currentDateTimeUtc()}}),
                                       QVariant(QStringLiteral("top-level text")),
                                       QVariant(QVariantList{std::numeric_limits<double>::infinity()})}) {
        std::optional<Error> error;
        const std::optional<URLRequest> request =
            serializer->requestWithMethod(QStringLiteral("POST"), QStringLiteral("http://h/p"), parameters, &error);
        ASSERT_TRUE(request.has_value());
        EXPECT_TRUE(request->HTTPBody.isEmpty());
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->domain, QStringLiteral("NSCocoaErrorDomain"));
    }
}

TEST(PropertyListRequestSerializer, WritesAnXMLPropertyList)
{
    const auto serializer = AFPropertyListRequestSerializer::serializer();
    EXPECT_EQ(serializer->format(), 100u);
    const URLRequest post = build(*serializer, "PUT", "http://h/p",
                                  QVariantMap{{QStringLiteral("n"), 3}, {QStringLiteral("s"), QStringLiteral("a<b")}});
    EXPECT_EQ(post.valueForHTTPHeaderField(QStringLiteral("Content-Type")), QStringLiteral("application/x-plist"));
    EXPECT_EQ(post.HTTPBody, QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                                        "\t<key>n</key>\n\t<integer>3</integer>\n\t<key>s</key>\n\t<string>a&lt;b</string>\n"
                                        "</dict>\n</plist>\n"));

    const auto binary = AFPropertyListRequestSerializer::serializerWithFormat(PropertyListSerialization::BinaryFormat_v1_0, 0);
    std::optional<Error> error;
    const std::optional<URLRequest> refused = binary->requestWithMethod(
        QStringLiteral("POST"), QStringLiteral("http://h/p"), QVariantMap{{QStringLiteral("n"), 3}}, &error);
    ASSERT_TRUE(refused.has_value());
    EXPECT_TRUE(refused->HTTPBody.isEmpty());
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, PropertyListSerialization::kWriteInvalidError);
}
