#include "audio/AsioRegistry.h"

namespace qv {

bool NoAsioRegistry::readView(AsioRegistryView view, std::vector<AsioRegistryKey>& keys) {
    (void)view;
    keys.clear();
    return false;
}

IAsioRegistry& systemAsioRegistry() {
    static NoAsioRegistry registry;
    return registry;
}

}  // namespace qv
