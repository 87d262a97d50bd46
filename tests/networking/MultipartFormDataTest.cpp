#include "networking/AFStreamingMultipartFormData.h"
#include "networking/AFURLRequestSerialization.h"

#include "TestEnvironment.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <gtest/gtest.h>

namespace {

// Reads the device to its end in reads of at most `chunk` bytes; the sizes of the reads go to
// *sizes. Stops at the first error and reports it through *failed.
QByteArray drain(QIODevice& device, qint64 chunk, QList<qint64>* sizes = nullptr, bool* failed = nullptr)
{
    QByteArray all;
    QByteArray buffer(static_cast<qsizetype>(chunk), '\0');
    for (;;) {
        const qint64 n = device.read(buffer.data(), chunk);
        if (n < 0) {
            if (failed != nullptr)
                *failed = true;
            break;
        }
        if (n == 0)
            break;
        if (sizes != nullptr)
            sizes->append(n);
        all.append(buffer.constData(), n);
    }
    return all;
}

std::optional<URLRequest> multipart(const QVariant& parameters,
                                    const AFHTTPRequestSerializer::ConstructingBodyBlock& block)
{
    std::optional<Error> error;
    auto request = AFHTTPRequestSerializer().multipartFormRequestWithMethod(
        QStringLiteral("POST"), QStringLiteral("http://h/upload"), parameters, block, &error);
    EXPECT_FALSE(error.has_value());
    return request;
}

QString boundaryOf(const URLRequest& request)
{
    const QString type = request.valueForHTTPHeaderField(QStringLiteral("Content-Type"));
    return type.mid(type.indexOf(QStringLiteral("boundary=")) + 9);
}

QByteArray bodyOf(const URLRequest& request, qint64 chunk = 4096)
{
    EXPECT_NE(request.HTTPBodyStream, nullptr);
    if (request.HTTPBodyStream == nullptr)
        return {};
    EXPECT_TRUE(request.HTTPBodyStream->open(QIODevice::ReadOnly));
    const QByteArray body = drain(*request.HTTPBodyStream, chunk);
    request.HTTPBodyStream->close();
    return body;
}

QString writeFile(const QString& name, const QByteArray& content)
{
    const QString path = QDir(TestEnvironment::rootPath()).filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    return path;
}

}  // namespace

TEST(MultipartBody, OneFormFieldGivesTheExactBytesAndLength)
{
    const std::optional<URLRequest> request = multipart(QVariantMap{{QStringLiteral("a"), QStringLiteral("1")}}, nullptr);
    ASSERT_TRUE(request.has_value());
    const QString boundary = boundaryOf(*request);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Boundary\\+[0-9A-F]{16}$")).match(boundary).hasMatch())
        << boundary.toStdString();
    const QByteArray expected = "--" + boundary.toLatin1() + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--" +
                                boundary.toLatin1() + "--\r\n";
    EXPECT_EQ(request->valueForHTTPHeaderField(QStringLiteral("Content-Type")),
              QStringLiteral("multipart/form-data; boundary=") + boundary);
    EXPECT_EQ(request->valueForHTTPHeaderField(QStringLiteral("Content-Length")), QString::number(expected.size()));
    EXPECT_TRUE(request->HTTPBody.isEmpty());
    EXPECT_EQ(bodyOf(*request), expected);
    // Reading in three-byte steps still delivers every byte, the closing boundary included.
    EXPECT_EQ(bodyOf(*request, 3), expected);
}

TEST(MultipartBody, ParametersBecomeFieldsInKeyOrder)
{
    const std::optional<URLRequest> request = multipart(
        QVariantMap{{QStringLiteral("b"), QVariant::fromValue(nullptr)}, {QStringLiteral("a"), 1}}, nullptr);
    ASSERT_TRUE(request.has_value());
    const QByteArray b = boundaryOf(*request).toLatin1();
    EXPECT_EQ(bodyOf(*request), "--" + b + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--" + b +
                                    "\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\n\r\n--" + b + "--\r\n");
}

TEST(MultipartBody, NoPartsLeaveTheRequestAsItWas)
{
    const std::optional<URLRequest> request = multipart(QVariant(), [](AFMultipartFormData&) {});
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->HTTPBodyStream, nullptr);
    EXPECT_FALSE(request->allHTTPHeaderFields.contains(QStringLiteral("Content-Length")));
    EXPECT_FALSE(request->valueForHTTPHeaderField(QStringLiteral("Content-Type")).startsWith(QStringLiteral("multipart/")));
}

TEST(MultipartBody, PacketSizeLimitsEveryRead)
{
    const std::optional<URLRequest> request = multipart(QVariant(), [](AFMultipartFormData& form) {
        form.appendPartWithFileData(QByteArray(100, 'x'), QStringLiteral("f"), QStringLiteral("f.bin"),
                                    QStringLiteral("application/octet-stream"));
        form.throttleBandwidthWithPacketSize(10, 0);
    });
    ASSERT_TRUE(request.has_value());
    QIODevice& stream = *request->HTTPBodyStream;
    ASSERT_TRUE(stream.open(QIODevice::ReadOnly));
    EXPECT_EQ(stream.bytesAvailable(), request->valueForHTTPHeaderField(QStringLiteral("Content-Length")).toLongLong());
    QList<qint64> sizes;
    const QByteArray body = drain(stream, 1000, &sizes);
    EXPECT_EQ(body.size(), request->valueForHTTPHeaderField(QStringLiteral("Content-Length")).toLongLong());
    EXPECT_TRUE(body.contains(QByteArray(100, 'x')));
    ASSERT_FALSE(sizes.isEmpty());
    for (qint64 size : sizes)
        EXPECT_LE(size, 10);
    EXPECT_TRUE(stream.atEnd());
}

TEST(MultipartBody, DelaySpacesThePartReads)
{
    const std::optional<URLRequest> request = multipart(QVariant(), [](AFMultipartFormData& form) {
        form.appendPartWithFormData("1", QStringLiteral("a"));
        form.appendPartWithFormData("2", QStringLiteral("b"));
        form.throttleBandwidthWithPacketSize(SuggestedUploadPacketSize, 0.05);
    });
    ASSERT_TRUE(request.has_value());
    QElapsedTimer timer;
    timer.start();
    const QByteArray body = bodyOf(*request);
    // At least one read per part, each followed by the pause.
    EXPECT_GE(timer.elapsed(), 100);
    EXPECT_EQ(body.size(), request->valueForHTTPHeaderField(QStringLiteral("Content-Length")).toLongLong());
}

TEST(MultipartBody, QtSendsTheStreamedBody)
{
    // A loopback server that answers with the body it received.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QByteArray received;
    QObject::connect(&server, &QTcpServer::newConnection, [&server, &received] {
        QTcpSocket* socket = server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, &received] {
            received += socket->readAll();
            const qsizetype headerEnd = received.indexOf("\r\n\r\n");
            if (headerEnd < 0)
                return;
            const QRegularExpressionMatch length =
                QRegularExpression(QStringLiteral("(?i)content-length: *(\\d+)")).match(QString::fromLatin1(received.left(headerEnd)));
            if (!length.hasMatch() || received.size() - headerEnd - 4 < length.captured(1).toLongLong())
                return;
            const QByteArray body = received.mid(headerEnd + 4);
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) +
                          "\r\nConnection: close\r\n\r\n" + body);
            socket->disconnectFromHost();
        });
    });

    const QString path = writeFile(QStringLiteral("upload.txt"), QByteArray(50000, 'f'));
    std::optional<Error> error;
    const std::optional<URLRequest> request = AFHTTPRequestSerializer().multipartFormRequestWithMethod(
        QStringLiteral("POST"), QStringLiteral("http://127.0.0.1:%1/up").arg(server.serverPort()),
        QVariantMap{{QStringLiteral("k"), QStringLiteral("v")}},
        [&path](AFMultipartFormData& form) { form.appendPartWithFileURL(QUrl::fromLocalFile(path), QStringLiteral("f"), nullptr); },
        &error);
    ASSERT_TRUE(request.has_value());
    const QByteArray expected = bodyOf(*request);
    const QNetworkRequest streamed = request->networkRequest();
    EXPECT_TRUE(streamed.attribute(QNetworkRequest::DoNotBufferUploadDataAttribute).toBool());
    QNetworkRequest gathered = streamed;
    gathered.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, false);

    // Sent as it is read, and gathered by Qt first: both must deliver the whole body.
    QNetworkAccessManager manager;
    for (const QNetworkRequest& qtRequest : {streamed, gathered}) {
        received.clear();
        ASSERT_TRUE(request->HTTPBodyStream->open(QIODevice::ReadOnly));
        QNetworkReply* reply = manager.sendCustomRequest(qtRequest, request->HTTPMethod.toLatin1(),
                                                         request->HTTPBodyStream.get());
        ASSERT_TRUE(waitUntil([reply] { return reply->isFinished(); }, 30000));
        EXPECT_EQ(reply->error(), QNetworkReply::NoError) << reply->errorString().toStdString();
        EXPECT_EQ(reply->readAll(), expected);
        EXPECT_TRUE(received.contains("multipart/form-data; boundary=Boundary+"));
        reply->deleteLater();
        request->HTTPBodyStream->close();
    }
}

TEST(MultipartBody, FilePartsAreStreamedUpToTheirDeclaredSize)
{
    const QString path = writeFile(QStringLiteral("photo.png"), QByteArray("0123456789"));
    const std::optional<URLRequest> request = multipart(QVariant(), [&path](AFMultipartFormData& form) {
        std::optional<Error> error;
        EXPECT_TRUE(form.appendPartWithFileURL(QUrl::fromLocalFile(path), QStringLiteral("pic"), &error));
        EXPECT_FALSE(error.has_value());
    });
    ASSERT_TRUE(request.has_value());
    const QByteArray body = bodyOf(*request);
    EXPECT_TRUE(body.contains("Content-Disposition: form-data; name=\"pic\"; filename=\"photo.png\"\r\n"
                              "Content-Type: image/png\r\n\r\n0123456789\r\n"));

    // A file that grew since it was appended still sends the declared bytes only.
    writeFile(QStringLiteral("photo.png"), QByteArray("0123456789ABCDEF"));
    EXPECT_EQ(bodyOf(*request), body);

    // One that shrank makes the body fail instead of sending less than Content-Length says.
    writeFile(QStringLiteral("photo.png"), QByteArray("01234"));
    QIODevice& stream = *request->HTTPBodyStream;
    ASSERT_TRUE(stream.open(QIODevice::ReadOnly));
    bool failed = false;
    drain(stream, 4096, nullptr, &failed);
    EXPECT_TRUE(failed);
    const auto* bodyStream = dynamic_cast<AFMultipartBodyStream*>(&stream);
    ASSERT_NE(bodyStream, nullptr);
    ASSERT_TRUE(bodyStream->streamError().has_value());
    EXPECT_EQ(bodyStream->streamError()->domain, QStringLiteral("NSPOSIXErrorDomain"));
    stream.close();
}

TEST(MultipartBody, StreamPartsEndAtTheirDeclaredLength)
{
    auto longer = std::make_shared<QBuffer>();
    longer->setData("abcdefgh");
    auto shorter = std::make_shared<QBuffer>();
    shorter->setData("ab");

    const std::optional<URLRequest> cut = multipart(QVariant(), [&longer](AFMultipartFormData& form) {
        form.appendPartWithInputStream(longer, QStringLiteral("s"), QStringLiteral("s.txt"), 3, QStringLiteral("text/plain"));
    });
    ASSERT_TRUE(cut.has_value());
    const QByteArray body = bodyOf(*cut);
    EXPECT_TRUE(body.contains("\r\n\r\nabc\r\n--"));
    EXPECT_FALSE(body.contains("abcd"));
    EXPECT_EQ(body.size(), cut->valueForHTTPHeaderField(QStringLiteral("Content-Length")).toLongLong());

    const std::optional<URLRequest> early = multipart(QVariant(), [&shorter](AFMultipartFormData& form) {
        form.appendPartWithInputStream(shorter, QStringLiteral("s"), QStringLiteral("s.txt"), 5, QStringLiteral("text/plain"));
    });
    ASSERT_TRUE(early.has_value());
    ASSERT_TRUE(early->HTTPBodyStream->open(QIODevice::ReadOnly));
    bool failed = false;
    drain(*early->HTTPBodyStream, 4096, nullptr, &failed);
    EXPECT_TRUE(failed);
}

TEST(MultipartBody, FileURLErrorsAndMIMETypes)
{
    std::optional<Error> missingError;
    std::optional<Error> httpError;
    const std::optional<URLRequest> request = multipart(QVariant(), [&](AFMultipartFormData& form) {
        EXPECT_FALSE(form.appendPartWithFileURL(QUrl::fromLocalFile(QStringLiteral("/no/such/file.txt")),
                                                QStringLiteral("f"), &missingError));
        EXPECT_FALSE(form.appendPartWithFileURL(QUrl(QStringLiteral("http://h/file.txt")), QStringLiteral("f"), &httpError));
    });
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->HTTPBodyStream, nullptr);
    ASSERT_TRUE(missingError.has_value());
    EXPECT_EQ(missingError->domain, QLatin1String(kRequestSerializationErrorDomain));
    EXPECT_EQ(missingError->code, -1000);
    EXPECT_EQ(missingError->userInfo.value(QLatin1String(Error::kLocalizedFailureReasonKey)).toString(),
              QStringLiteral("File URL not reachable."));
    ASSERT_TRUE(httpError.has_value());
    EXPECT_EQ(httpError->userInfo.value(QLatin1String(Error::kLocalizedFailureReasonKey)).toString(),
              QStringLiteral("Expected URL to be a file URL"));

    EXPECT_EQ(AFStreamingMultipartFormData::MIMETypeForFileName(QStringLiteral("x.zzqqunknown")),
              QStringLiteral("application/octet-stream"));
    EXPECT_EQ(AFStreamingMultipartFormData::MIMETypeForFileName(QStringLiteral("noextension")),
              QStringLiteral("application/octet-stream"));
    EXPECT_EQ(AFStreamingMultipartFormData::MIMETypeForFileName(QStringLiteral("a.txt")), QStringLiteral("text/plain"));
    EXPECT_EQ(AFStreamingMultipartFormData::MIMETypeForFileName(QStringLiteral("a.JPG")), QStringLiteral("image/jpeg"));
}

TEST(MultipartBody, CopiesReadTheSameBytes)
{
    const std::optional<URLRequest> request = multipart(QVariantMap{{QStringLiteral("k"), QStringLiteral("v")}},
                                                        [](AFMultipartFormData& form) {
                                                            form.appendPartWithFormData("two", QStringLiteral("second"));
                                                        });
    ASSERT_TRUE(request.has_value());
    const auto* stream = dynamic_cast<AFMultipartBodyStream*>(request->HTTPBodyStream.get());
    ASSERT_NE(stream, nullptr);
    std::unique_ptr<AFMultipartBodyStream> copy = stream->copy();
    ASSERT_TRUE(copy->open(QIODevice::ReadOnly));
    EXPECT_EQ(drain(*copy, 7), bodyOf(*request));
    EXPECT_EQ(copy->contentLength(), stream->contentLength());
}

TEST(MultipartBody, WritesTheBodyToAFile)
{
    const std::optional<URLRequest> request = multipart(QVariantMap{{QStringLiteral("a"), QStringLiteral("1")}}, nullptr);
    ASSERT_TRUE(request.has_value());
    const qint64 length = request->valueForHTTPHeaderField(QStringLiteral("Content-Length")).toLongLong();
    const QString path = QDir(TestEnvironment::rootPath()).filePath(QStringLiteral("body.bin"));

    bool done = false;
    std::optional<Error> reported(Error(QStringLiteral("unset"), 0));
    QThread* callbackThread = nullptr;
    const URLRequest stripped = AFHTTPRequestSerializer().requestWithMultipartFormRequest(
        *request, QUrl::fromLocalFile(path), [&](const std::optional<Error>& error) {
            reported = error;
            callbackThread = QThread::currentThread();
            done = true;
        });
    EXPECT_EQ(stripped.HTTPBodyStream, nullptr);
    EXPECT_EQ(stripped.valueForHTTPHeaderField(QStringLiteral("Content-Type")),
              request->valueForHTTPHeaderField(QStringLiteral("Content-Type")));
    ASSERT_TRUE(waitUntil([&done] { return done; }));
    EXPECT_FALSE(reported.has_value());
    EXPECT_EQ(callbackThread, QThread::currentThread());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    EXPECT_EQ(written.size(), length);
    EXPECT_TRUE(written.endsWith("--\r\n"));
}
