#pragma once
// The name lookup of a connect, run where a stop can walk away from it: a name server that
// never answers holds the lookup for as long as the system's resolver tries, and a stopping
// run must not wait for that.

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <string>

// Like ResolveHost (dotted addresses need no lookup), but a name is looked up on a thread of
// its own while the caller asks `abandon` every few milliseconds. When it turns true first,
// the result is false with error ECANCELED; the lookup finishes on its own later and its
// result is dropped.
bool LookUpHost(const std::string& host, in_addr& address, int32_t& error,
                const std::function<bool()>& abandon);

// Runs first on every lookup thread started after the call. Tests point that thread's
// resolver at a name server of their own; null (the default) does nothing.
using TLookupThreadSetup = void (*)();
void SetLookupThreadSetup(TLookupThreadSetup setup);
