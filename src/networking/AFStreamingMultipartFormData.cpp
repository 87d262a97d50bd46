#include "networking/AFStreamingMultipartFormData.h"

#include "networking/TextEncoding.h"
#include "platform/Dispatch.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QRandomGenerator>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

// How long a part waits for a device that has no bytes yet before taking it as ended.
constexpr int kDeviceWaitMs = 30000;
constexpr qsizetype kFileWriteChunk = 1024;

const QString kCRLF = QStringLiteral("\r\n");

Error ioError(const QString& message)
{
    return Error(QStringLiteral("NSPOSIXErrorDomain"), EIO, {{QLatin1String(Error::kLocalizedDescriptionKey), message}});
}

Error requestSerializationError(const QString& reason)
{
    return Error(QLatin1String(kRequestSerializationErrorDomain), -1000,
                 {{QLatin1String(Error::kLocalizedFailureReasonKey), reason}});
}

void setSlot(ErrorSlot slot, const Error& error)
{
    if (slot != nullptr)
        *slot = error;
}

HTTPHeaderFields fileHeaders(const QString& name, const QString& fileName, const QString& mimeType)
{
    HTTPHeaderFields headers;
    headers.setValue(QStringLiteral("form-data; name=\"%1\"; filename=\"%2\"").arg(name, fileName),
                     QStringLiteral("Content-Disposition"));
    headers.setValue(mimeType, QStringLiteral("Content-Type"));
    return headers;
}

}  // namespace

// ---- AFHTTPBodyPart ----

AFHTTPBodyPart::~AFHTTPBodyPart()
{
    closeBody();
}

QByteArray AFHTTPBodyPart::encoded(const QString& text) const
{
    return TextEncoding::encode(text, stringEncoding).value_or(text.toUtf8());
}

QByteArray AFHTTPBodyPart::openingData() const
{
    return encoded(hasInitialBoundary ? QStringLiteral("--%1%2").arg(boundary, kCRLF)
                                      : QStringLiteral("%1--%2%3").arg(kCRLF, boundary, kCRLF));
}

QByteArray AFHTTPBodyPart::headersData() const
{
    QString text;
    for (const HTTPHeaderFields::Field& field : headers.fields())
        text += QStringLiteral("%1: %2%3").arg(field.first, field.second, kCRLF);
    text += kCRLF;
    return encoded(text);
}

QByteArray AFHTTPBodyPart::closingData() const
{
    return hasFinalBoundary ? encoded(QStringLiteral("%1--%2--%3").arg(kCRLF, boundary, kCRLF)) : QByteArray();
}

quint64 AFHTTPBodyPart::contentLength() const
{
    return static_cast<quint64>(openingData().size()) + static_cast<quint64>(headersData().size()) + bodyContentLength +
           static_cast<quint64>(closingData().size());
}

void AFHTTPBodyPart::reset()
{
    closeBody();
    m_phase = Phase::Opening;
    m_phaseReadOffset = 0;
    m_bodyRead = 0;
    m_error.reset();
}

std::unique_ptr<AFHTTPBodyPart> AFHTTPBodyPart::copy() const
{
    auto part = std::make_unique<AFHTTPBodyPart>();
    part->stringEncoding = stringEncoding;
    part->headers = headers;
    part->bodyContentLength = bodyContentLength;
    part->body = body;
    part->boundary = boundary;
    return part;
}

void AFHTTPBodyPart::transitionToNextPhase()
{
    switch (m_phase) {
    case Phase::Opening: m_phase = Phase::Headers; break;
    case Phase::Headers: m_phase = Phase::Body; break;
    case Phase::Body:
        closeBody();
        m_phase = Phase::Closing;
        break;
    case Phase::Closing:
    case Phase::Done: m_phase = Phase::Done; break;
    }
    m_phaseReadOffset = 0;
}

qint64 AFHTTPBodyPart::fail(const QString& message)
{
    m_error = ioError(message);
    return -1;
}

qint64 AFHTTPBodyPart::readData(const QByteArray& data, char* buffer, qint64 maxLength)
{
    const quint64 left = static_cast<quint64>(data.size()) - m_phaseReadOffset;
    const quint64 n = std::min(left, static_cast<quint64>(maxLength));
    if (n > 0)
        std::memcpy(buffer, data.constData() + m_phaseReadOffset, static_cast<std::size_t>(n));
    m_phaseReadOffset += n;
    if (m_phaseReadOffset >= static_cast<quint64>(data.size()))
        transitionToNextPhase();
    return static_cast<qint64>(n);
}

bool AFHTTPBodyPart::openBody()
{
    if (const QUrl* url = std::get_if<QUrl>(&body)) {
        auto file = std::make_unique<QFile>(url->toLocalFile());
        if (!file->open(QIODevice::ReadOnly)) {
            fail(QStringLiteral("Cannot read %1: %2").arg(file->fileName(), file->errorString()));
            return false;
        }
        m_ownedDevice = std::move(file);
        m_device = m_ownedDevice.get();
        return true;
    }
    if (const auto* device = std::get_if<std::shared_ptr<QIODevice>>(&body)) {
        QIODevice* d = device->get();
        if (d == nullptr || (!d->isOpen() && !d->open(QIODevice::ReadOnly)) || !d->isReadable()) {
            fail(d == nullptr ? QStringLiteral("The part has no stream") : QStringLiteral("Cannot read the part's stream: %1").arg(d->errorString()));
            return false;
        }
        m_device = d;
        return true;
    }
    return true;
}

void AFHTTPBodyPart::closeBody()
{
    if (m_device != nullptr)
        m_device->close();
    m_device = nullptr;
    m_ownedDevice.reset();
}

qint64 AFHTTPBodyPart::readBody(char* buffer, qint64 maxLength)
{
    const quint64 remaining = bodyContentLength - m_bodyRead;
    if (remaining == 0) {
        transitionToNextPhase();
        return 0;
    }
    const qint64 wanted = static_cast<qint64>(std::min(remaining, static_cast<quint64>(maxLength)));
    if (wanted == 0)
        return 0;

    qint64 got = 0;
    if (const QByteArray* data = std::get_if<QByteArray>(&body)) {
        if (static_cast<quint64>(data->size()) < bodyContentLength)
            return fail(QStringLiteral("The part's data is shorter than its declared length"));
        std::memcpy(buffer, data->constData() + m_bodyRead, static_cast<std::size_t>(wanted));
        got = wanted;
    } else {
        if (m_device == nullptr && !openBody())
            return -1;
        got = m_device->read(buffer, wanted);
        if (got == 0 && m_device->waitForReadyRead(kDeviceWaitMs))
            got = m_device->read(buffer, wanted);
        if (got < 0)
            return fail(QStringLiteral("Reading the part failed: %1").arg(m_device->errorString()));
        if (got == 0)
            return fail(QStringLiteral("The part ended after %1 of its %2 declared bytes").arg(m_bodyRead).arg(bodyContentLength));
    }
    m_bodyRead += static_cast<quint64>(got);
    if (m_bodyRead == bodyContentLength)
        transitionToNextPhase();
    return got;
}

qint64 AFHTTPBodyPart::read(char* buffer, qint64 maxLength)
{
    if (m_error.has_value())
        return -1;
    qint64 total = 0;
    if (m_phase == Phase::Opening)
        total += readData(openingData(), buffer + total, maxLength - total);
    if (m_phase == Phase::Headers)
        total += readData(headersData(), buffer + total, maxLength - total);
    if (m_phase == Phase::Body) {
        const qint64 n = readBody(buffer + total, maxLength - total);
        if (n < 0)
            return -1;
        total += n;
    }
    if (m_phase == Phase::Closing)
        total += readData(closingData(), buffer + total, maxLength - total);
    return total;
}

// ---- AFMultipartBodyStream ----

AFMultipartBodyStream::AFMultipartBodyStream(QString stringEncoding) : m_stringEncoding(std::move(stringEncoding)) {}

AFMultipartBodyStream::~AFMultipartBodyStream() = default;

void AFMultipartBodyStream::setInitialAndFinalBoundaries()
{
    if (m_parts.empty())
        return;
    for (const auto& part : m_parts) {
        part->hasInitialBoundary = false;
        part->hasFinalBoundary = false;
    }
    m_parts.front()->hasInitialBoundary = true;
    m_parts.back()->hasFinalBoundary = true;
}

void AFMultipartBodyStream::appendHTTPBodyPart(std::unique_ptr<AFHTTPBodyPart> part)
{
    m_parts.push_back(std::move(part));
}

quint64 AFMultipartBodyStream::contentLength() const
{
    quint64 length = 0;
    for (const auto& part : m_parts)
        length += part->contentLength();
    return length;
}

std::unique_ptr<AFMultipartBodyStream> AFMultipartBodyStream::copy() const
{
    auto stream = std::make_unique<AFMultipartBodyStream>(m_stringEncoding);
    for (const auto& part : m_parts)
        stream->appendHTTPBodyPart(part->copy());
    stream->setInitialAndFinalBoundaries();
    return stream;
}

bool AFMultipartBodyStream::open(OpenMode mode)
{
    if ((mode & WriteOnly) != 0) {
        setErrorString(QStringLiteral("A multipart body can only be read"));
        return false;
    }
    setInitialAndFinalBoundaries();
    for (const auto& part : m_parts)
        part->reset();
    m_current = 0;
    m_delivered = 0;
    m_openLength = contentLength();
    m_streamError.reset();
    // The parts are buffers and files already; a second buffer would only copy.
    return QIODevice::open(mode | Unbuffered);
}

qint64 AFMultipartBodyStream::bytesAvailable() const
{
    if (!isOpen())
        return 0;
    // Opened unbuffered: nothing waits in QIODevice's own buffer.
    return static_cast<qint64>(m_openLength - m_delivered);
}

qint64 AFMultipartBodyStream::size() const
{
    return static_cast<qint64>(isOpen() ? m_openLength : contentLength());
}

bool AFMultipartBodyStream::seek(qint64 pos)
{
    if (!isOpen() || pos < 0 || static_cast<quint64>(pos) > m_openLength)
        return false;
    // A part read from a stream of the caller's that cannot go back cannot be read again.
    for (const auto& part : m_parts) {
        const auto* device = std::get_if<std::shared_ptr<QIODevice>>(&part->body);
        if (device != nullptr && *device && (*device)->isSequential())
            return false;
    }
    for (const auto& part : m_parts)
        part->reset();
    m_current = 0;
    m_delivered = 0;
    m_streamError.reset();
    // Skipped at full speed: the throttle is for what goes out.
    const double throttle = std::exchange(delay, 0.0);
    QByteArray scratch(64 * 1024, Qt::Uninitialized);
    bool ok = true;
    while (ok && m_delivered < static_cast<quint64>(pos)) {
        const qint64 want = std::min<qint64>(scratch.size(), pos - static_cast<qint64>(m_delivered));
        ok = readData(scratch.data(), want) > 0;
    }
    delay = throttle;
    return ok && QIODevice::seek(pos);
}

qint64 AFMultipartBodyStream::readData(char* data, qint64 maxSize)
{
    // A read error ends the body with an error, never with a short body that looks complete.
    if (m_streamError.has_value())
        return -1;
    const qint64 limit = static_cast<qint64>(std::min(static_cast<quint64>(maxSize), numberOfBytesInPacket));
    qint64 total = 0;
    while (total < limit && m_current < m_parts.size()) {
        AFHTTPBodyPart& part = *m_parts[m_current];
        if (!part.hasBytesAvailable()) {
            ++m_current;
            continue;
        }
        const qint64 n = part.read(data + total, limit - total);
        if (n < 0) {
            m_streamError = part.streamError();
            setErrorString(m_streamError->localizedDescription());
            return total > 0 ? total : -1;
        }
        total += n;
        m_delivered += static_cast<quint64>(n);
        if (delay > 0)
            std::this_thread::sleep_for(std::chrono::duration<double>(delay));
        if (n == 0 && part.hasBytesAvailable())
            break;
    }
    // Readers that gather a whole body before sending it (Qt's network access does for
    // sequential devices) wait for this signal to know the body is complete.
    if (total > 0 && m_delivered >= m_openLength)
        QMetaObject::invokeMethod(this, &QIODevice::readChannelFinished, Qt::QueuedConnection);
    return total;
}

qint64 AFMultipartBodyStream::writeData(const char*, qint64)
{
    return -1;
}

// ---- AFStreamingMultipartFormData ----

AFStreamingMultipartFormData::AFStreamingMultipartFormData(const URLRequest& request, const QString& stringEncoding)
    : m_request(request),
      m_stringEncoding(stringEncoding),
      m_boundary(QString::asprintf("Boundary+%08X%08X", QRandomGenerator::system()->generate(),
                                   QRandomGenerator::system()->generate())),
      m_bodyStream(std::make_shared<AFMultipartBodyStream>(stringEncoding))
{
}

QString AFStreamingMultipartFormData::MIMETypeForFileName(const QString& fileName)
{
    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault())
        return QStringLiteral("application/octet-stream");
    return type.name();
}

bool AFStreamingMultipartFormData::appendPartWithFileURL(const QUrl& fileURL, const QString& name, ErrorSlot error)
{
    const QString fileName = fileURL.fileName();
    return appendPartWithFileURL(fileURL, name, fileName, MIMETypeForFileName(fileName), error);
}

bool AFStreamingMultipartFormData::appendPartWithFileURL(const QUrl& fileURL, const QString& name,
                                                         const QString& fileName, const QString& mimeType,
                                                         ErrorSlot error)
{
    if (!fileURL.isLocalFile()) {
        setSlot(error, requestSerializationError(QStringLiteral("Expected URL to be a file URL")));
        return false;
    }
    const QFileInfo info(fileURL.toLocalFile());
    if (!info.exists()) {
        setSlot(error, requestSerializationError(QStringLiteral("File URL not reachable.")));
        return false;
    }
    if (!info.isFile()) {
        // A folder has no byte count to declare and cannot be read as a body.
        setSlot(error, Error(QLatin1String(Error::kCocoaErrorDomain), 256,
                             {{QLatin1String(Error::kLocalizedDescriptionKey),
                               QStringLiteral("The file \u201c%1\u201d couldn\u2019t be read because it is not a regular file.")
                                   .arg(info.fileName())}}));
        return false;
    }
    appendPart(fileHeaders(name, fileName, mimeType), fileURL, static_cast<quint64>(info.size()));
    return true;
}

void AFStreamingMultipartFormData::appendPartWithInputStream(std::shared_ptr<QIODevice> inputStream,
                                                             const QString& name, const QString& fileName,
                                                             quint64 length, const QString& mimeType)
{
    appendPart(fileHeaders(name, fileName, mimeType), std::move(inputStream), length);
}

void AFStreamingMultipartFormData::appendPartWithFileData(const QByteArray& data, const QString& name,
                                                          const QString& fileName, const QString& mimeType)
{
    appendPartWithHeaders(fileHeaders(name, fileName, mimeType), data);
}

void AFStreamingMultipartFormData::appendPartWithFormData(const QByteArray& data, const QString& name)
{
    HTTPHeaderFields headers;
    headers.setValue(QStringLiteral("form-data; name=\"%1\"").arg(name), QStringLiteral("Content-Disposition"));
    appendPartWithHeaders(headers, data);
}

void AFStreamingMultipartFormData::appendPartWithHeaders(const HTTPHeaderFields& headers, const QByteArray& body)
{
    appendPart(headers, body, static_cast<quint64>(body.size()));
}

void AFStreamingMultipartFormData::appendPart(HTTPHeaderFields headers, AFHTTPBodyPart::Body body, quint64 length)
{
    auto part = std::make_unique<AFHTTPBodyPart>();
    part->stringEncoding = m_stringEncoding;
    part->headers = std::move(headers);
    part->boundary = m_boundary;
    part->body = std::move(body);
    part->bodyContentLength = length;
    m_bodyStream->appendHTTPBodyPart(std::move(part));
}

void AFStreamingMultipartFormData::throttleBandwidthWithPacketSize(quint64 numberOfBytes, double delay)
{
    m_bodyStream->numberOfBytesInPacket = numberOfBytes;
    m_bodyStream->delay = delay;
}

URLRequest AFStreamingMultipartFormData::requestByFinalizingMultipartFormData()
{
    if (m_bodyStream->isEmpty())
        return m_request;
    m_bodyStream->setInitialAndFinalBoundaries();
    m_request.HTTPBody.clear();
    m_request.HTTPBodyStream = m_bodyStream;
    m_request.setValue(QStringLiteral("multipart/form-data; boundary=%1").arg(m_boundary), QStringLiteral("Content-Type"));
    m_request.setValue(QString::number(m_bodyStream->contentLength()), QStringLiteral("Content-Length"));
    return m_request;
}

// ---- Multipart entry points of AFHTTPRequestSerializer ----

std::optional<URLRequest> AFHTTPRequestSerializer::multipartFormRequestWithMethod(const QString& method,
                                                                                  const QString& URLString,
                                                                                  const QVariant& parameters,
                                                                                  const ConstructingBodyBlock& block,
                                                                                  ErrorSlot error) const
{
    const std::optional<URLRequest> base = requestWithMethod(method, URLString, QVariant(), error);
    if (!base.has_value())
        return std::nullopt;
    AFStreamingMultipartFormData formData(*base, TextEncoding::kUTF8);
    if (parameters.isValid()) {
        for (const AFQueryStringPair& pair : FlattenQueryPairs(QVariant(), parameters)) {
            std::optional<QByteArray> data;
            if (pair.value.metaType().id() == QMetaType::QByteArray)
                data = pair.value.toByteArray();
            else if (pair.value.metaType().id() == QMetaType::Nullptr)
                data = QByteArray();
            else
                data = TextEncoding::encode(QueryValueDescription(pair.value), stringEncoding());
            if (data.has_value())
                formData.appendPartWithFormData(*data, QueryValueDescription(pair.field));
        }
    }
    if (block)
        block(formData);
    return formData.requestByFinalizingMultipartFormData();
}

URLRequest AFHTTPRequestSerializer::requestWithMultipartFormRequest(const URLRequest& request, const QUrl& fileURL,
                                                                    WriteCompletionHandler completionHandler) const
{
    URLRequest copy = request;
    copy.HTTPBodyStream.reset();
    std::shared_ptr<QIODevice> stream = request.HTTPBodyStream;
    dispatch::asyncGlobal([stream, fileURL, completionHandler = std::move(completionHandler)] {
        std::optional<Error> error;
        QFile out(fileURL.toLocalFile());
        if (!fileURL.isLocalFile()) {
            error = requestSerializationError(QStringLiteral("Expected URL to be a file URL"));
        } else if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            error = ioError(QStringLiteral("Cannot write %1: %2").arg(out.fileName(), out.errorString()));
        } else if (stream != nullptr) {
            if (!stream->isOpen() && !stream->open(QIODevice::ReadOnly)) {
                error = ioError(QStringLiteral("Cannot read the body: %1").arg(stream->errorString()));
            } else {
                char buffer[kFileWriteChunk];
                for (;;) {
                    const qint64 n = stream->read(buffer, kFileWriteChunk);
                    if (n < 0) {
                        const auto* body = dynamic_cast<AFMultipartBodyStream*>(stream.get());
                        error = body != nullptr && body->streamError().has_value()
                                    ? *body->streamError()
                                    : ioError(QStringLiteral("Reading the body failed: %1").arg(stream->errorString()));
                        break;
                    }
                    if (n == 0)
                        break;
                    if (out.write(buffer, n) != n) {
                        error = ioError(QStringLiteral("Writing %1 failed: %2").arg(out.fileName(), out.errorString()));
                        break;
                    }
                }
            }
        }
        out.close();
        if (stream != nullptr)
            stream->close();
        if (completionHandler)
            dispatch::asyncMain([completionHandler, error] { completionHandler(error); });
    });
    return copy;
}
