#pragma once
// The Theora library's own version text, read through the run-time binding: Ogg and Theora are
// bound for the call and released afterwards. Empty when either group cannot be bound.

#include <optional>
#include <string>

std::optional<std::string> TheoraVersionText();
