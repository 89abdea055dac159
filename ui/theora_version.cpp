#include "ui/theora_version.h"

#include "engine/library_binder.h"
#include "engine/ogg_library.h"
#include "engine/theora_library.h"

std::optional<std::string> TheoraVersionText() {
    // Theora is not tried when Ogg is missing; each group is released only when it was bound.
    TLibraryUse ogg(BindOgg, UnbindOgg);
    if (!ogg.Ready()) return std::nullopt;
    TLibraryUse theora(BindTheora, UnbindTheora);
    if (!theora.Ready() || !TheoraLib.th_version_string) return std::nullopt;
    const char* version = TheoraLib.th_version_string();
    return std::string(version ? version : "");
}
