#pragma once
// Shared steps of the sender tests: pointing the settings at a test server, waiting with a
// bound, and reading the window log.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

// Sets the Icecast and stream settings for a server on 127.0.0.1:port with empty optional
// values, switches debug lines on and empties the window log.
void AimAt(uint16_t port, const std::string& password = "secret");

// Asks condition every few milliseconds until it holds or timeoutMs have passed.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 10000);

// True when every part occurs in text, each after the one before.
bool InOrder(const std::string& text, std::initializer_list<std::string> parts);
