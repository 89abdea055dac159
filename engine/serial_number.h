#pragma once
// Serial numbers for logical Ogg streams.

#include <cstdint>

// A pseudo-random number in 0 .. 2147483646, never handed out twice within the process, so no
// two streams share one: neither the streams of one output nor those of a later run that a
// listener might see joined to the earlier one. Thread-safe. The generator is seeded once.
int32_t NewSerialNumber();
