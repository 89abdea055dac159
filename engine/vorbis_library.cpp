#include "engine/vorbis_library.h"

#include "engine/library_binder.h"

TVorbisApi VorbisLib;

namespace {

void ResolveVorbis(const TSymbolLookup& lookup) {
    TVorbisApi& table = VorbisLib;
    KZ_VORBIS_ENTRIES(KZ_CODEC_ENTRY_RESOLVE)
}

TLibraryBinder& VorbisBinder() {
    static TLibraryBinder binder({{"libvorbis.so.0"}, {"libvorbisenc.so.2"}}, ResolveVorbis,
                                 [] { VorbisLib = {}; });
    return binder;
}

}  // namespace

bool BindVorbis() {
    return VorbisBinder().Bind();
}
void UnbindVorbis() {
    VorbisBinder().Unbind();
}
