#pragma once
// The Icecast source handshake: the SOURCE request made from the settings, and the test of
// the first line the server answers with.

#include <cstddef>
#include <string>
#include <string_view>

struct TSettings;

// Standard Base64 ("A"-"Z", "a"-"z", "0"-"9", "+", "/", "=" fill), no line breaks.
std::string Base64(std::string_view bytes);

// The whole request up to and including the empty line that ends it. Values go in byte for
// byte, control characters left out (no value can end its line or add one); optional lines
// are left out only when their value is then empty.
std::string SourceRequest(const TSettings& settings);

// The reply line is read up to this many bytes; a longer line is a refusal.
inline constexpr size_t MaxReplyLine = 1024;

// True when the reply line (without its line break) starts with "HTTP/1.0 200 OK", in any case.
bool SourceReplyAccepted(std::string_view replyLine);
