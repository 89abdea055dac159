#pragma once
// Web addresses the windows show and open.

inline constexpr const char* VendorHomeUrl = "https://www.hadrelforge.example/kestrova/";
inline constexpr const char* StreamDirectoryUrl = "https://directory.hadrelforge.example/";
// Where an Icecast or Steamcast server announces a public stream.
inline constexpr const char* StreamDirectoryListingUrl =
    "https://directory.hadrelforge.example/cgi-bin/yp-cgi";
inline constexpr const char* OggProjectUrl = "https://xiph.org/ogg/";
inline constexpr const char* VorbisProjectUrl = "https://xiph.org/vorbis/";
inline constexpr const char* TheoraProjectUrl = "https://www.theora.org/";
