#include "net/host_lookup.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "net/easy_socket.h"

namespace {

constexpr auto kAbandonCheck = std::chrono::milliseconds(20);

std::atomic<TLookupThreadSetup> LookupThreadSetup{nullptr};

// Shared by the caller and the lookup thread; whichever lets go last frees it.
struct TLookup {
    explicit TLookup(std::string name) : Host(std::move(name)) {}
    const std::string Host;
    std::mutex Lock;
    std::condition_variable Done;
    bool Finished = false;  // guarded by Lock, as are the three results
    bool Found = false;
    in_addr Address{};
    int32_t Error = 0;
};

void Run(const std::shared_ptr<TLookup>& lookup, TLookupThreadSetup setup) {
    if (setup) setup();
    in_addr address{};
    int32_t error = 0;
    const bool found = ResolveHost(lookup->Host, address, &error);
    {
        std::lock_guard lock(lookup->Lock);
        lookup->Found = found;
        lookup->Address = address;
        lookup->Error = error;
        lookup->Finished = true;
    }
    lookup->Done.notify_all();
}

}  // namespace

bool LookUpHost(const std::string& host, in_addr& address, int32_t& error,
                const std::function<bool()>& abandon) {
    if (DottedHost(host, address)) return true;
    auto lookup = std::make_shared<TLookup>(host);
    // Taken now: the thread may start after the setup has been changed.
    const TLookupThreadSetup setup = LookupThreadSetup.load();
    try {
        std::thread([lookup, setup] { Run(lookup, setup); }).detach();
    } catch (const std::system_error&) {
        Run(lookup, setup);  // no thread to be had: look up here, unbounded as before
    }
    std::unique_lock lock(lookup->Lock);
    while (!lookup->Done.wait_for(lock, kAbandonCheck, [&] { return lookup->Finished; })) {
        if (abandon()) {
            error = ECANCELED;
            return false;
        }
    }
    if (!lookup->Found) {
        error = lookup->Error;
        return false;
    }
    address = lookup->Address;
    return true;
}

void SetLookupThreadSetup(TLookupThreadSetup setup) {
    LookupThreadSetup.store(setup);
}
