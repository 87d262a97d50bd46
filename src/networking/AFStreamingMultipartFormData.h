#pragma once

#include "networking/AFURLRequestSerialization.h"
#include "networking/HTTPHeaderFields.h"
#include "networking/URLRequest.h"
#include "platform/Error.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

// Throttling values for slow links; nothing applies them by itself.
inline constexpr quint64 SuggestedUploadPacketSize = 16384;
inline constexpr double SuggestedUploadDelay = 0.2;

// Domain of the multipart builder's errors (and of request serialization errors in general).
inline constexpr auto kRequestSerializationErrorDomain = "com.alamofire.error.serialization.request";

// What a construction block may append to a multipart body.
class AFMultipartFormData
{
public:
    virtual ~AFMultipartFormData() = default;

    // A file part named after the URL's last path component, its MIME type from the extension
    // ("application/octet-stream" when the extension is unknown).
    virtual bool appendPartWithFileURL(const QUrl& fileURL, const QString& name, ErrorSlot error) = 0;
    // False with the error set for a URL that is not a file URL, a file that is not there or is
    // not a regular file. The file is read while the body is sent, up to the size it has now.
    virtual bool appendPartWithFileURL(const QUrl& fileURL, const QString& name, const QString& fileName,
                                       const QString& mimeType, ErrorSlot error) = 0;
    // A part read from the device while the body is sent. Exactly `length` bytes are sent; a
    // device that ends before that makes the body fail.
    virtual void appendPartWithInputStream(std::shared_ptr<QIODevice> inputStream, const QString& name,
                                           const QString& fileName, quint64 length, const QString& mimeType) = 0;
    virtual void appendPartWithFileData(const QByteArray& data, const QString& name, const QString& fileName,
                                        const QString& mimeType) = 0;
    virtual void appendPartWithFormData(const QByteArray& data, const QString& name) = 0;
    virtual void appendPartWithHeaders(const HTTPHeaderFields& headers, const QByteArray& body) = 0;
    // At most numberOfBytes per read of the body, and a pause of delay seconds after each part
    // read. The pause sleeps the thread that reads the body.
    virtual void throttleBandwidthWithPacketSize(quint64 numberOfBytes, double delay) = 0;
};

// One part of a multipart body: its opening boundary, its header lines, its body and, for the
// last part, the closing boundary, read in that order.
class AFHTTPBodyPart
{
public:
    using Body = std::variant<QByteArray, QUrl, std::shared_ptr<QIODevice>>;

    QString stringEncoding;
    HTTPHeaderFields headers;
    QString boundary;
    Body body;
    quint64 bodyContentLength = 0;
    bool hasInitialBoundary = false;
    bool hasFinalBoundary = false;

    AFHTTPBodyPart() = default;
    AFHTTPBodyPart(const AFHTTPBodyPart&) = delete;
    AFHTTPBodyPart& operator=(const AFHTTPBodyPart&) = delete;
    ~AFHTTPBodyPart();

    // Bytes of the whole part as it goes on the wire, from the declared body length.
    quint64 contentLength() const;
    bool hasBytesAvailable() const { return m_phase != Phase::Done; }
    // Reads the phases in order as far as maxLength allows; -1 on a read error of the body.
    qint64 read(char* buffer, qint64 maxLength);
    const std::optional<Error>& streamError() const { return m_error; }
    // Back to the start of the opening boundary, for a fresh read of the body.
    void reset();
    // A part with the same encoding, headers, body, length and boundary (not its read state).
    std::unique_ptr<AFHTTPBodyPart> copy() const;

private:
    enum class Phase { Opening, Headers, Body, Closing, Done };

    QByteArray openingData() const;
    QByteArray headersData() const;
    QByteArray closingData() const;
    QByteArray encoded(const QString& text) const;
    qint64 readData(const QByteArray& data, char* buffer, qint64 maxLength);
    qint64 readBody(char* buffer, qint64 maxLength);
    bool openBody();
    void closeBody();
    void transitionToNextPhase();
    qint64 fail(const QString& message);

    Phase m_phase = Phase::Opening;
    quint64 m_phaseReadOffset = 0;
    quint64 m_bodyRead = 0;
    std::unique_ptr<QIODevice> m_ownedDevice;  // the file of a file body while it is read
    QIODevice* m_device = nullptr;              // the device being read in the body phase
    std::optional<Error> m_error;
};

// The body of a multipart request as a read-only device. It reads its parts in order;
// its size is known before anything is read (the Content-Length of the request), and file and
// device parts are read while the body is sent, never loaded whole.
class AFMultipartBodyStream : public QIODevice, public CopyableBodyStream
{
public:
    explicit AFMultipartBodyStream(QString stringEncoding);
    ~AFMultipartBodyStream() override;

    const QString& stringEncoding() const { return m_stringEncoding; }
    quint64 numberOfBytesInPacket = std::numeric_limits<qint64>::max();
    double delay = 0;

    void setInitialAndFinalBoundaries();
    void appendHTTPBodyPart(std::unique_ptr<AFHTTPBodyPart> part);
    bool isEmpty() const { return m_parts.empty(); }
    quint64 contentLength() const;
    // The read error of a part that ended the body, if any.
    const std::optional<Error>& streamError() const { return m_streamError; }
    // A new, unopened stream over copies of the parts (packet size and delay are not copied).
    std::unique_ptr<AFMultipartBodyStream> copy() const;
    std::shared_ptr<QIODevice> copyBodyStream() const override { return copy(); }

    // Not sequential: the body can be read again from any position (its parts are buffers, files
    // or streams of a known length), so Qt's network access can rewind it where it must send it
    // again, as for a redirection that keeps the body or a reply asking for credentials. A lost
    // connection is not such a place: the session sends a request that is not safe to repeat
    // once, whatever its body can do.
    bool isSequential() const override { return false; }
    // Read-only; reading starts again from the first part on every open.
    bool open(OpenMode mode) override;
    qint64 bytesAvailable() const override;
    qint64 size() const override;
    // Reads again from the first part, skipping to pos; false beyond the end, or when a part
    // cannot be read again (a stream part that cannot go back).
    bool seek(qint64 pos) override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    QString m_stringEncoding;
    std::vector<std::unique_ptr<AFHTTPBodyPart>> m_parts;
    std::size_t m_current = 0;
    quint64 m_delivered = 0;
    quint64 m_openLength = 0;  // contentLength() when opened
    std::optional<Error> m_streamError;
};

// The builder a construction block receives.
class AFStreamingMultipartFormData : public AFMultipartFormData
{
public:
    AFStreamingMultipartFormData(const URLRequest& request, const QString& stringEncoding);

    const QString& boundary() const { return m_boundary; }
    const std::shared_ptr<AFMultipartBodyStream>& bodyStream() const { return m_bodyStream; }

    bool appendPartWithFileURL(const QUrl& fileURL, const QString& name, ErrorSlot error) override;
    bool appendPartWithFileURL(const QUrl& fileURL, const QString& name, const QString& fileName,
                               const QString& mimeType, ErrorSlot error) override;
    void appendPartWithInputStream(std::shared_ptr<QIODevice> inputStream, const QString& name,
                                   const QString& fileName, quint64 length, const QString& mimeType) override;
    void appendPartWithFileData(const QByteArray& data, const QString& name, const QString& fileName,
                                const QString& mimeType) override;
    void appendPartWithFormData(const QByteArray& data, const QString& name) override;
    void appendPartWithHeaders(const HTTPHeaderFields& headers, const QByteArray& body) override;
    void throttleBandwidthWithPacketSize(quint64 numberOfBytes, double delay) override;

    // The request with the body stream, "Content-Type" (multipart/form-data with the boundary)
    // and "Content-Length"; unchanged when no part was appended.
    URLRequest requestByFinalizingMultipartFormData();

    // The MIME type for a file name's extension; "application/octet-stream" when unknown.
    static QString MIMETypeForFileName(const QString& fileName);

private:
    void appendPart(HTTPHeaderFields headers, AFHTTPBodyPart::Body body, quint64 length);

    URLRequest m_request;
    QString m_stringEncoding;
    QString m_boundary;
    std::shared_ptr<AFMultipartBodyStream> m_bodyStream;
};
