#include "platform/ProcessEnvironment.h"

#include <QByteArray>

namespace processenvironment {

void completeBeforeThreads()
{
    // The web engine sets this, whatever it was, when its context is made for the first view.
    static constexpr const char* kWebEngineSets[][2] = {{"force_s3tc_enable", "true"}};
    for (const auto& [name, value] : kWebEngineSets) {
        if (qgetenv(name) != value)
            qputenv(name, value);
    }
}

}  // namespace processenvironment
