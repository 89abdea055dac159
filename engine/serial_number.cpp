#include "engine/serial_number.h"

#include <chrono>
#include <mutex>
#include <random>
#include <unordered_set>

namespace {

std::mutex SerialLock;

std::mt19937& Generator() {
    static std::mt19937 generator = [] {
        std::random_device device;
        auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        std::seed_seq seed{device(), device(), static_cast<unsigned>(now),
                           static_cast<unsigned>(now >> 32)};
        return std::mt19937(seed);
    }();
    return generator;
}

}  // namespace

int32_t NewSerialNumber() {
    static std::unordered_set<int32_t> issued;  // guarded by SerialLock
    std::uniform_int_distribution<int32_t> range(0, 2147483646);
    std::lock_guard lock(SerialLock);
    int32_t serial;
    do {
        serial = range(Generator());
    } while (issued.count(serial) != 0);
    issued.insert(serial);
    return serial;
}
