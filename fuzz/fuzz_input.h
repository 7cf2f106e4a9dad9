#pragma once
// Splits a fuzz input into a few option bytes and the rest.
#include <cstddef>
#include <cstdint>

namespace kavrel::fuzz {

struct Input {
    const uint8_t* data;
    std::size_t size;

    uint8_t take() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
};

}  // namespace kavrel::fuzz
