#pragma once
// How the program names itself in the comment headers of every stream it encodes.

inline constexpr const char* EncoderName = "Kestrova Ogg Zizizada";
inline constexpr const char* EncoderUrl = "https://www.hadrelforge.com/zizizada";
