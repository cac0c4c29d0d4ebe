#pragma once
// The hooks through which the flows reach the windowed application
// (flows/QFFlowInterfaceHooks.h): the folder panel as a sheet on the run's
// window (it answers once it is gone, so that the save it asked for starts
// with the flow window in front), the file manager (a folder opened, a
// document shown in its folder, never opened), the user's attention,
// whether the application is active, showing a flow in a flow window, and
// the export flow view (QFExportFlowController) with the application as
// its host.
//
// Threads: main thread only.

#include "flows/QFFlowInterfaceHooks.h"

QFFlowInterfaceHooks QFApplicationFlowHooks();
