#pragma once
// Helpers for the codec function tables: one member per entry point, typed from the codec's
// own header declaration and named exactly like it, so calls read like the library's API:
//   OggLib.ogg_stream_init(&state, serial);
// A pointer is nullptr while its group is unbound or when the library lacks the name.

// Declares the member `name` as a pointer to the function the header declares as ::name.
#define KZ_CODEC_ENTRY_DECLARE(name) decltype(&::name) name = nullptr;

// Inside a resolve function with a TSymbolLookup `lookup` and a table `table`.
#define KZ_CODEC_ENTRY_RESOLVE(name) \
    table.name = reinterpret_cast<decltype(table.name)>(lookup(#name));
