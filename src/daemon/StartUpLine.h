#pragma once
// The one line kestromd writes to standard error once it is up, so an operator can tell at a
// glance that it runs and with what; standard output stays the event log.
#include <string>

#include "core/Settings.h"

namespace kestrom {

// "kestromd (Kestrom) 3.23: listening on port 1950, character mode 0, event folder ...,
// results folder ..., security off"; "not listening on port N" when the listener failed.
std::string StartUpLine(const CKestromSettings& settings, int port, bool listening);

}  // namespace kestrom
