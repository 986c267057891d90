// The .NET bridge and the process-wide state of the automation layer.
//
// The bridge is a component with three entry points: `initDotNet` (once per process, at the
// first dotnet() call), `createDotNet(a, b)` (an object's dispatch interface, or null) and
// `quitDotNet` (at shut-down, only when the bridge was started).  This platform runs no .NET
// objects: the component's createDotNet gives null.  `com_state.bridge` holds the entry points
// in use, so that a test can stand in for the component.
#pragma once

#include <string>

namespace ruvo {

class ComDispatch;

void initDotNet();
ComDispatch* createDotNet(const char* a, const char* b);
void quitDotNet();

struct DotNetBridge {
    void (*init)() = initDotNet;
    ComDispatch* (*create)(const char*, const char*) = createDotNet;
    void (*quit)() = quitDotNet;
};

struct ComState {
    DotNetBridge bridge;
    bool dotnet_started = false; // init has been called and quit has not
};
extern ComState com_state;

// Starts the bridge on the first call, then asks it for an object (a new reference, or null).
ComDispatch* dotnet_create(const std::string& a, const std::string& b);
// The host's shut-down: quits the bridge when it was started.
void dotnet_shutdown();

} // namespace ruvo
