#include "app/views/AccountWindows.h"
#include "app/views/PaneFactory.h"

namespace {
std::shared_ptr<PaneFactory>& paneFactory()
{
    static std::shared_ptr<PaneFactory> factory;
    return factory;
}
std::shared_ptr<AccountWindowFactory>& accountWindowFactory()
{
    static std::shared_ptr<AccountWindowFactory> factory;
    return factory;
}
}  // namespace

// Installed once by main.cpp (or a test) on the main thread, before the window is made.
std::shared_ptr<PaneFactory> PaneFactory::installed()
{
    return paneFactory();
}
void PaneFactory::install(std::shared_ptr<PaneFactory> factory)
{
    paneFactory() = std::move(factory);
}
std::shared_ptr<AccountWindowFactory> AccountWindowFactory::installed()
{
    return accountWindowFactory();
}
void AccountWindowFactory::install(std::shared_ptr<AccountWindowFactory> factory)
{
    accountWindowFactory() = std::move(factory);
}
