// libxml2 reports errors through a hook that is per thread, so it is installed on each thread
// that uses the tree, and the last error is kept per thread as well.
#include "Library/KissXML/DDXMLPrivate.h"
#include "Library/KissXML/DDXMLStringAdditions.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <mutex>

namespace {

struct LastError
{
    bool set = false;
    int code = 0;
    QByteArray message;
};

LastError& threadLastError()
{
    thread_local LastError lastError;
    return lastError;
}

void structuredErrorHook(void*, xmlErrorPtr error)
{
    LastError& last = threadLastError();
    if (!error) {
        last = LastError();
        return;
    }
    last.set = true;
    last.code = error->code;
    last.message = error->message ? QByteArray(error->message) : QByteArray();
}

}  // namespace

namespace DDXMLPrivate {

void ensureThreadSetup()
{
    static std::once_flag parserInitialised;
    std::call_once(parserInitialised, [] { xmlInitParser(); });
    // Checked on every use, not remembered: other code on the thread may have replaced the hook.
    if (xmlStructuredError != structuredErrorHook) {
        initGenericErrorDefaultFunc(nullptr);
        xmlSetStructuredErrorFunc(nullptr, structuredErrorHook);
    }
}

}  // namespace DDXMLPrivate

std::optional<Error> DDXMLNode::lastError()
{
    const LastError& last = threadLastError();
    if (!last.set)
        return std::nullopt;
    const QString message = DDXML::stringByTrimming(QString::fromUtf8(last.message));
    return Error(QString::fromLatin1(DDXMLErrorDomain), last.code,
                 {{QString::fromLatin1(Error::kLocalizedDescriptionKey), message}});
}
