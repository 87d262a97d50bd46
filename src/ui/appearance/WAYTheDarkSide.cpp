#include "ui/appearance/WAYTheDarkSide.h"

#include "platform/AppearanceSource.h"
#include "platform/Dispatch.h"

#include <QCoreApplication>

#include <vector>

namespace {

// A key's entry leaves its table when the key is destroyed (its destroyed connection).
struct Entry
{
    const QObject* address = nullptr;
    WAYTheDarkSide::Block block;
    QMetaObject::Connection destroyedConnection;
};

struct State
{
    std::vector<Entry> dark;
    std::vector<Entry> light;
    bool hasBroadcast = false;
    bool lastDark = false;
    std::weak_ptr<AppearanceSource> hooked;
};

State& state()
{
    static State s;
    return s;
}

void dropKey(std::vector<Entry>& table, const QObject* address)
{
    std::vector<Entry> removed;
    for (auto it = table.begin(); it != table.end();) {
        if (it->address == address) {
            removed.push_back(std::move(*it));
            it = table.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& entry : removed)
        QObject::disconnect(entry.destroyedConnection);
    // The blocks' captures are released here, after the table is consistent again.
}

// Hooks the watcher to the source in use when it is not hooked to it yet.
void hookCurrentSource()
{
    auto source = AppearanceSource::current();
    if (state().hooked.lock() == source)
        return;
    state().hooked = source;
    source->setChangeCallback([] { dispatch::onMain(&WAYTheDarkSide::appearanceMayHaveChanged); });
}

void store(std::vector<Entry>& table, QObject* object, WAYTheDarkSide::Block block)
{
    if (!object)
        return;
    dropKey(table, object);
    Entry entry;
    entry.address = object;
    entry.block = std::move(block);
    std::vector<Entry>* tablePtr = &table;
    entry.destroyedConnection = QObject::connect(object, &QObject::destroyed, [tablePtr, object] {
        dropKey(*tablePtr, object);
    });
    table.push_back(std::move(entry));
}

void registerBlock(bool darkTable, QObject* object, WAYTheDarkSide::Block block, bool immediately)
{
    hookCurrentSource();
    auto& table = darkTable ? state().dark : state().light;
    WAYTheDarkSide::Block runNow = immediately ? block : WAYTheDarkSide::Block();
    store(table, object, std::move(block));
    if (runNow && WAYTheDarkSide::applicationIsOnTheDarkSide() == darkTable)
        runNow();
}

}  // namespace

void WAYTheDarkSide::initialize()
{
    hookCurrentSource();
}

void WAYTheDarkSide::welcomeObject(QObject* object, Block block, bool immediately)
{
    registerBlock(true, object, std::move(block), immediately);
}

void WAYTheDarkSide::outcastObject(QObject* object, Block block, bool immediately)
{
    registerBlock(false, object, std::move(block), immediately);
}

void WAYTheDarkSide::welcomeApplicationWithBlock(Block block, bool immediately)
{
    registerBlock(true, QCoreApplication::instance(), std::move(block), immediately);
}

void WAYTheDarkSide::outcastApplicationWithBlock(Block block, bool immediately)
{
    registerBlock(false, QCoreApplication::instance(), std::move(block), immediately);
}

bool WAYTheDarkSide::applicationIsOnTheDarkSide()
{
    try {
        return AppearanceSource::current()->isDark();
    } catch (...) {
        return false;
    }
}

bool WAYTheDarkSide::applicationReadyForTheDarkSide()
{
    return true;
}

void WAYTheDarkSide::_broadcastDarkMode(bool dark)
{
    const auto& table = dark ? state().dark : state().light;
    std::vector<Block> snapshot;
    for (const auto& entry : table)
        snapshot.push_back(entry.block);
    for (const auto& block : snapshot)
        if (block)
            block();
}

void WAYTheDarkSide::appearanceMayHaveChanged()
{
    hookCurrentSource();
    const bool dark = applicationIsOnTheDarkSide();
    State& s = state();
    if (s.hasBroadcast && s.lastDark == dark)
        return;
    s.lastDark = dark;
    s.hasBroadcast = true;
    _broadcastDarkMode(dark);
}

void WAYTheDarkSide::resetForTesting()
{
    State& s = state();
    for (auto* table : {&s.dark, &s.light}) {
        for (auto& entry : *table)
            QObject::disconnect(entry.destroyedConnection);
        std::vector<Entry> released;
        released.swap(*table);
    }
    s.hasBroadcast = false;
    s.lastDark = false;
    s.hooked.reset();
}

int WAYTheDarkSide::darkTableCount()
{
    return static_cast<int>(state().dark.size());
}

int WAYTheDarkSide::lightTableCount()
{
    return static_cast<int>(state().light.size());
}
