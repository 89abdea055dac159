#pragma once
// The libvorbis binding: BindVorbis loads libvorbis.so.0 and libvorbisenc.so.2 (the
// vorbis_encode_* entry points live in the second), reference counted; UnbindVorbis releases
// one reference. Call through VorbisLib only while holding a reference (see TLibraryUse).

#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>

#include "engine/codec_table.h"

// clang-format off
#define KZ_VORBIS_ENTRIES(X)                                                                   \
    X(vorbis_encode_init) X(vorbis_encode_setup_managed) X(vorbis_encode_setup_vbr)            \
    X(vorbis_encode_init_vbr) X(vorbis_encode_setup_init) X(vorbis_encode_ctl)                 \
    X(vorbis_comment_init) X(vorbis_comment_add) X(vorbis_comment_add_tag)                     \
    X(vorbis_comment_query) X(vorbis_comment_query_count) X(vorbis_comment_clear)              \
    X(vorbis_info_init) X(vorbis_info_clear) X(vorbis_info_blocksize) X(vorbis_block_init)     \
    X(vorbis_block_clear) X(vorbis_dsp_clear) X(vorbis_granule_time) X(vorbis_analysis_init)   \
    X(vorbis_analysis_headerout) X(vorbis_analysis_buffer) X(vorbis_analysis_wrote)            \
    X(vorbis_analysis_blockout) X(vorbis_analysis) X(vorbis_bitrate_addblock)                  \
    X(vorbis_bitrate_flushpacket) X(vorbis_synthesis_headerin) X(vorbis_synthesis_init)        \
    X(vorbis_synthesis_restart) X(vorbis_synthesis) X(vorbis_synthesis_trackonly)              \
    X(vorbis_synthesis_blockin) X(vorbis_synthesis_pcmout) X(vorbis_synthesis_lapout)          \
    X(vorbis_synthesis_read) X(vorbis_packet_blocksize) X(vorbis_synthesis_halfrate)           \
    X(vorbis_synthesis_halfrate_p)
// clang-format on

struct TVorbisApi {
    KZ_VORBIS_ENTRIES(KZ_CODEC_ENTRY_DECLARE)
};

extern TVorbisApi VorbisLib;

bool BindVorbis();
void UnbindVorbis();
