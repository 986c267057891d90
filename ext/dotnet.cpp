// The .NET bridge component and its start and shut-down.
#include "ext/dotnet.h"

namespace ruvo {

ComState com_state;

void initDotNet() {}

ComDispatch* createDotNet(const char*, const char*) {
    return nullptr; // no .NET runtime here
}

void quitDotNet() {}

ComDispatch* dotnet_create(const std::string& a, const std::string& b) {
    if (!com_state.dotnet_started) {
        com_state.bridge.init();
        com_state.dotnet_started = true;
    }
    return com_state.bridge.create(a.c_str(), b.c_str());
}

void dotnet_shutdown() {
    if (!com_state.dotnet_started) return;
    com_state.dotnet_started = false;
    com_state.bridge.quit();
}

} // namespace ruvo
