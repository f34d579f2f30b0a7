// The bundle's entry: what loading and unloading the plug-in installs and removes.
//
// The host calls acrxEntryPoint on its main thread with the load message after loading the bundle
// and with the unload message before releasing it. Loading installs the readiness reactors,
// watches every open drawing, registers the command group and starts the connection supervisor;
// unloading undoes all of it in reverse, and returns promptly even while the supervisor is inside
// discovery or a connect.
#pragma once

#include "host/acad.h"

extern const ACHAR* const kOrvikCommandGroup;

// Fills the action table from every subsystem's rows and installs it as the queue's task runner
// (load, and tests that drive the pipeline without loading the bundle).
void RegisterAllActions();

void initApp();
void unloadApp();
