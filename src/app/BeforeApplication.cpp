#include "app/BeforeApplication.h"

#include "article/views/ArticleSchemeHandler.h"
#include "platform/ProcessEnvironment.h"

#include <QCoreApplication>

#include <openssl/crypto.h>

namespace {

// Some seconds after a page has loaded, the page's script engine collects its heap once more to
// shrink it for an idle tab. That collection was all the work the program did while the reader
// read an article; the heap is still collected as pages come and go. Flags set by whoever starts
// the program come after these, so theirs win.
void keepIdlePagesQuiet()
{
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--js-flags=--no-memory-reducer " + qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"));
}

}  // namespace

void prepareBeforeApplication()
{
    // Before anything of the web engine runs: registering the scheme already reads its flags.
    keepIdlePagesQuiet();
    // The application object starts the first threads; nothing adds a variable after it.
    processenvironment::completeBeforeThreads();
    // The article page's own scheme must be known before the application exists.
    ArticleSchemeHandler::registerScheme();
    // The web views share their GL contexts with the widgets; Qt wants this before the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Qt's thread that loads the system's root certificates may still be decoding when the window
    // is closed early; OpenSSL's exit handler would free its tables under that thread and the
    // program would crash on its way out. Its state stays until the process is gone instead.
    OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
}
