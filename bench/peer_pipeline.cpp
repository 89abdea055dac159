// peer_pipeline: a GStreamer pipeline fed by the program's own "Test Pattern" and "Test Tone"
// devices, for bench/capture_graph.sh. With the very devices a run captures from (same
// threads, same elements, same frames), a peer's CPU differs from a run's only in what comes
// after the devices. The two chains are gst-launch descriptions; their first elements must be
// named vin and ain, and take the devices' output.
//
//   peer_pipeline FORMAT WIDTH HEIGHT SECONDS VIDEO-CHAIN AUDIO-CHAIN
//
// FORMAT is BGR (the pattern's own format), YUY2 or MJPG (the camera modes, at 30 fps). Runs
// SECONDS of real time, then ends the stream and waits for it to drain.
#include <gst/gst.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "capture/test_devices.h"
#include "capture/video_modes.h"

namespace {

// Waits for the end of the stream or an error; false on an error or after timeoutSeconds.
bool WaitForEnd(GstElement* pipeline, int timeoutSeconds) {
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message =
        gst_bus_timed_pop_filtered(bus, GstClockTime(timeoutSeconds) * GST_SECOND,
                                   GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool ended = message != nullptr && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    if (message != nullptr && !ended) {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        std::fprintf(stderr, "peer_pipeline: %s\n", error->message);
        g_error_free(error);
    }
    if (message != nullptr) gst_message_unref(message);
    gst_object_unref(bus);
    return ended;
}

bool Link(GstElement* pipeline, GstElement* device, const char* name) {
    GstElement* first = gst_bin_get_by_name(GST_BIN(pipeline), name);
    const bool linked = first != nullptr && gst_element_link(device, first);
    if (first != nullptr) gst_object_unref(first);
    if (!linked) std::fprintf(stderr, "peer_pipeline: cannot link the device to %s\n", name);
    return linked;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr,
                     "usage: peer_pipeline FORMAT WIDTH HEIGHT SECONDS VIDEO-CHAIN AUDIO-CHAIN\n");
        return 2;
    }
    gst_init(nullptr, nullptr);
    const std::string format = argv[1];
    TTestDeviceOptions options;
    options.Width = std::atoi(argv[2]);
    options.Height = std::atoi(argv[3]);
    const int seconds = std::atoi(argv[4]);
    TTestVideoDevice video(options);
    video.Select(VideoModeOption({format, options.Width, options.Height, CameraModeFps, 1}));
    TTestAudioDevice audio(options);

    GError* error = nullptr;
    const std::string description = std::string(argv[5]) + " " + argv[6];
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (pipeline == nullptr || error != nullptr) {
        std::fprintf(stderr, "peer_pipeline: %s\n", error != nullptr ? error->message : "?");
        return 1;
    }
    gst_bin_add_many(GST_BIN(pipeline), video.Element(), audio.Element(), nullptr);
    if (!Link(pipeline, video.Element(), "vin") || !Link(pipeline, audio.Element(), "ain"))
        return 1;
    // The devices stamp their buffers on the pipeline's clock, which is chosen as it starts.
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    video.Start();
    audio.Start();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    gst_element_send_event(pipeline, gst_event_new_eos());
    const bool ended = WaitForEnd(pipeline, 10);
    video.Stop();
    audio.Stop();
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return ended ? 0 : 1;
}
