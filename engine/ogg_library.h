#pragma once
// The libogg binding: BindOgg loads libogg.so.0 (reference counted), UnbindOgg releases one
// reference. Call through OggLib only while holding a reference (see TLibraryUse).

#include <ogg/ogg.h>

#include "engine/codec_table.h"

// clang-format off
#define KZ_OGGPACK_ENTRIES(X, prefix)                                                     \
    X(prefix##_writeinit) X(prefix##_writetrunc) X(prefix##_writealign)                   \
    X(prefix##_writecopy) X(prefix##_reset) X(prefix##_writeclear) X(prefix##_readinit)   \
    X(prefix##_write) X(prefix##_look) X(prefix##_look1) X(prefix##_adv) X(prefix##_adv1) \
    X(prefix##_read) X(prefix##_read1) X(prefix##_bytes) X(prefix##_bits)                 \
    X(prefix##_get_buffer)

#define KZ_OGG_ENTRIES(X)                                                                        \
    KZ_OGGPACK_ENTRIES(X, oggpack)                                                              \
    KZ_OGGPACK_ENTRIES(X, oggpackB)                                                             \
    X(ogg_stream_packetin) X(ogg_stream_pageout) X(ogg_stream_flush) X(ogg_sync_init)           \
    X(ogg_sync_clear) X(ogg_sync_reset) X(ogg_sync_destroy) X(ogg_sync_buffer)                  \
    X(ogg_sync_wrote) X(ogg_sync_pageseek) X(ogg_sync_pageout) X(ogg_stream_pagein)             \
    X(ogg_stream_packetout) X(ogg_stream_packetpeek) X(ogg_stream_init) X(ogg_stream_clear)     \
    X(ogg_stream_reset) X(ogg_stream_reset_serialno) X(ogg_stream_destroy) X(ogg_stream_eos)    \
    X(ogg_page_checksum_set) X(ogg_page_version) X(ogg_page_continued) X(ogg_page_bos)          \
    X(ogg_page_eos) X(ogg_page_granulepos) X(ogg_page_serialno) X(ogg_page_pageno)              \
    X(ogg_page_packets) X(ogg_packet_clear)
// clang-format on

struct TOggApi {
    KZ_OGG_ENTRIES(KZ_CODEC_ENTRY_DECLARE)
};

extern TOggApi OggLib;

bool BindOgg();
void UnbindOgg();
