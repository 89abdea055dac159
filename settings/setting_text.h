#pragma once
// Checks shared by every way a text setting comes in (the store, the dialog, the headless
// runner's options): texts that go into the server's request line by line must not be able to
// end a line or carry terminal controls, and must stay a size a server and a log can take.

#include <cstddef>
#include <string>
#include <string_view>

// Mount point, stream name, genre, description and URL.
inline constexpr size_t MaxRequestTextBytes = 1024;
// Paths (the capture file, the overlay image): what the system takes, its terminating zero
// included, so at most MaxPathBytes - 1 bytes of text.
inline constexpr size_t MaxPathBytes = 4096;

// True when text holds a byte below 0x20 or DEL (CR and LF among them).
bool HoldsControlCharacter(std::string_view text);

// Text from outside (a server's answer, a stored value) made safe for the log and a terminal:
// printable UTF-8 stays, control bytes (C0, DEL, C1) and bytes that are not UTF-8 become
// \xNN; past maxBytes of input the rest is left out and "..." ends the text.
std::string EscapedText(std::string_view text, size_t maxBytes);
