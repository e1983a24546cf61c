// Undefined behaviour on purpose, on the input "overflow" only: the fuzz build must stop on it, or
// the corpus replays would pass over undefined behaviour in the readers unnoticed.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 8 && std::memcmp(data, "overflow", 8) == 0) {
        volatile int largest = std::numeric_limits<int>::max();
        volatile int sum = largest + int(size);
        (void)sum;
    }
    return 0;
}
