#include "app/ModuleRegistry.h"

#include <deque>

namespace app {
namespace {

// A deque keeps the addresses FindModuleClass hands out valid while classes are added.
std::deque<TModuleClass>& classes() {
    static std::deque<TModuleClass> list;
    return list;
}

} // namespace

void RegisterModuleClass(const QString& className, TModuleFactory factory) {
    for (TModuleClass& c : classes()) {
        if (c.ClassName == className) {
            c.Create = std::move(factory);
            return;
        }
    }
    classes().push_back({className, std::move(factory)});
}

void UnregisterModuleClass(const QString& className) {
    // Keep the entry (callers may hold its address) but make it unusable.
    for (TModuleClass& c : classes())
        if (c.ClassName == className)
            c.Create = nullptr;
}

const TModuleClass* FindModuleClass(const QString& className) {
    for (const TModuleClass& c : classes())
        if (c.ClassName == className && c.Create)
            return &c;
    return nullptr;
}

} // namespace app
