// AppLog: the application's log call. Its lines go into the service link's trace log while
// one is installed, and nowhere otherwise.
#pragma once

#include <memory>

#include "app/format.h"

namespace corvel {

class TraceLog;

// Lines at this level or below reach the trace log of the service link (it logs at level 0).
void AppLog(int level, const char* format, ...) CORVEL_PRINTF(2, 3);

// The network module installs its trace log once it is fully built and removes it (nullptr)
// before it is destroyed. A line being written while it is removed still completes safely.
void SetAppLogTarget(std::shared_ptr<TraceLog> target);

// Removes target when it is the one installed, leaving another module's log in place.
void ReleaseAppLogTarget(const TraceLog* target);

}  // namespace corvel
