#pragma once
// The hooks through which the flows reach the windowed application
// (flows/QFFlowInterfaceHooks.h): the folder panel as a sheet on the run's
// window, the file manager, the user's attention, whether the application
// is active, and showing a flow in a flow window.
//
// Threads: main thread only.

#include "flows/QFFlowInterfaceHooks.h"

QFFlowInterfaceHooks QFApplicationFlowHooks();
