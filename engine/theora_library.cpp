#include "engine/theora_library.h"

#include "engine/library_binder.h"

TTheoraApi TheoraLib;

namespace {

void ResolveTheora(const TSymbolLookup& lookup) {
    TTheoraApi& table = TheoraLib;
    table.RGB2YUV = reinterpret_cast<TRGB2YUVFunc>(lookup("RGB2YUV"));
    KZ_THEORA_ENTRIES(KZ_CODEC_ENTRY_RESOLVE)
}

TLibraryBinder& TheoraBinder() {
    using TPlace = TLibraryFile::TPlace;
    // Debian's decoder file pulls in cairo, X11 and fontconfig; pixman's constructor allocates
    // what nothing frees, so every unload leaked it and every restart of a broadcast reloaded
    // some twenty libraries. The decoder file stays mapped once loaded.
    static TLibraryBinder binder({{"libtheoradec.so.1", TPlace::LibraryFolder, true, true},
                                  {"libtheoraenc.so.1"},
                                  {"libplanewright.so", TPlace::ProgramFolder, false}},
                                 ResolveTheora, [] { TheoraLib = {}; });
    return binder;
}

}  // namespace

bool BindTheora() {
    return TheoraBinder().Bind();
}
void UnbindTheora() {
    TheoraBinder().Unbind();
}
