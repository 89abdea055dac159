#pragma once
// Colours as the settings store them: 0x00BBGGRR.

#include <QColor>
#include <cstdint>

inline QColor ColorFromRef(int32_t colorRef) {
    auto value = static_cast<uint32_t>(colorRef);
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

inline int32_t RefFromColor(const QColor& color) {
    return static_cast<int32_t>(static_cast<uint32_t>(color.red()) |
                                static_cast<uint32_t>(color.green()) << 8 |
                                static_cast<uint32_t>(color.blue()) << 16);
}
