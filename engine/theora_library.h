#pragma once
// The libtheora binding: BindTheora loads libtheoradec.so.1, then libtheoraenc.so.1 (which
// needs the decoder's symbols but does not declare it), then libplanewright.so from the
// program's own folder; all three must load. Reference counted; UnbindTheora releases one
// reference. Call through TheoraLib only while holding a reference (see TLibraryUse).

#include <theora/theoradec.h>
#include <theora/theoraenc.h>

#include <cstdint>

#include "engine/codec_table.h"

// planewright's export RGB2YUV: converts a 32-bit BGRx frame of width x height pixels (rows
// sourcePitch bytes apart) into Y (yPitch bytes per row) and Cb, Cr (yPitch / 2 per row).
using TRGB2YUVFunc = void (*)(const void* source, int32_t width, int32_t height, uint8_t* y,
                              uint8_t* cb, uint8_t* cr, int32_t sourcePitch, int32_t yPitch);

// clang-format off
#define KZ_THEORA_ENTRIES(X)                                                                     \
    X(th_version_string) X(th_version_number) X(th_granule_frame) X(th_granule_time)            \
    X(th_packet_isheader) X(th_packet_iskeyframe) X(th_info_init) X(th_info_clear)              \
    X(th_comment_init) X(th_comment_add) X(th_comment_add_tag) X(th_comment_query)              \
    X(th_comment_query_count) X(th_comment_clear) X(th_encode_alloc) X(th_encode_ctl)           \
    X(th_encode_flushheader) X(th_encode_ycbcr_in) X(th_encode_packetout) X(th_encode_free)     \
    X(th_decode_headerin) X(th_decode_alloc) X(th_setup_free) X(th_decode_ctl)                  \
    X(th_decode_packetin) X(th_decode_ycbcr_out) X(th_decode_free)
// clang-format on

struct TTheoraApi {
    TRGB2YUVFunc RGB2YUV = nullptr;
    KZ_THEORA_ENTRIES(KZ_CODEC_ENTRY_DECLARE)
};

extern TTheoraApi TheoraLib;

bool BindTheora();
void UnbindTheora();
