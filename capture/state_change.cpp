#include "capture/state_change.h"

#include <condition_variable>
#include <mutex>

struct TStateChange::TJob {
    std::mutex Lock;
    std::condition_variable Done;
    bool Returned = false;                                   // guarded by Lock
    GstStateChangeReturn Result = GST_STATE_CHANGE_FAILURE;  // guarded by Lock
};

TStateChange::TStateChange(GstElement* element, GstState state) : FJob(std::make_shared<TJob>()) {
    gst_object_ref(element);
    // The thread holds the element and the job: both outlive us when it must wait on.
    FThread = std::thread([job = FJob, element, state] {
        const GstStateChangeReturn result = gst_element_set_state(element, state);
        // Let go of the element before telling: whoever waits may count on the last
        // reference being its own.
        gst_object_unref(element);
        {
            std::lock_guard lock(job->Lock);
            job->Returned = true;
            job->Result = result;
        }
        job->Done.notify_all();
    });
}

TStateChange::~TStateChange() {
    bool returned = false;
    {
        std::lock_guard lock(FJob->Lock);
        returned = FJob->Returned;
    }
    if (returned) {
        FThread.join();
    } else {
        FThread.detach();
    }
}

bool TStateChange::WaitReturned(TClock::time_point deadline) const {
    std::unique_lock lock(FJob->Lock);
    return FJob->Done.wait_until(lock, deadline, [this] { return FJob->Returned; });
}

bool TStateChange::Failed() const {
    std::lock_guard lock(FJob->Lock);
    return FJob->Returned && FJob->Result == GST_STATE_CHANGE_FAILURE;
}
