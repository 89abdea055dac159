#include "engine/ogg_library.h"

#include "engine/library_binder.h"

TOggApi OggLib;

namespace {

void ResolveOgg(const TSymbolLookup& lookup) {
    TOggApi& table = OggLib;
    KZ_OGG_ENTRIES(KZ_CODEC_ENTRY_RESOLVE)
}

TLibraryBinder& OggBinder() {
    static TLibraryBinder binder({{"libogg.so.0"}}, ResolveOgg, [] { OggLib = {}; });
    return binder;
}

}  // namespace

bool BindOgg() {
    return OggBinder().Bind();
}
void UnbindOgg() {
    OggBinder().Unbind();
}
