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
    static TLibraryBinder binder({{"libtheoradec.so.1"},
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
