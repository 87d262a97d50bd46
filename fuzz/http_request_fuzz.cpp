// Arbitrary bytes as what a client sends to the HTTP core (and so to the stand-in): requests are
// taken off the front one after another, plain, on a TLS listener and inside a tunnel. Every
// complete request must have consumed bytes, and an incomplete one must leave the buffer alone.
#include "httpcore/HttpRequestReader.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "http_request: %s\n", what);
    std::abort();
}

void readAll(const HttpRequestReader& reader, QByteArray buffer)
{
    for (int i = 0; i < 1000; ++i) {
        const qsizetype before = buffer.size();
        const QByteArray copy = buffer;
        HttpRequest request;
        switch (reader.take(buffer, request)) {
        case HttpRequestReader::Result::Complete:
            if (buffer.size() >= before)
                fail("a complete request consumed nothing");
            if (request.method.isEmpty())
                fail("a request without a method");
            continue;
        case HttpRequestReader::Result::Incomplete:
            if (buffer != copy)
                fail("an incomplete request changed the buffer");
            return;
        case HttpRequestReader::Result::Malformed:
            return;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    HttpRequestReader plain;
    readAll(plain, bytes);
    HttpRequestReader tls;
    tls.setTls(true);
    readAll(tls, bytes);
    HttpRequestReader tunnel;
    tunnel.setTunnel(QStringLiteral("api.tidwen.example"), 443);
    readAll(tunnel, bytes);
    return 0;
}
