#pragma once
// Values read from and written to byte buffers at any offset. Records are packed (odd sizes, a
// one-byte item marker in front), so fields are rarely aligned for their type.
#include <cstddef>
#include <cstring>
#include <type_traits>

namespace bytes {

template <class T>
T Load(const std::byte* p) {
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <class T>
void Store(std::byte* p, T value) {
    static_assert(std::is_trivially_copyable_v<T>);
    std::memcpy(p, &value, sizeof value);
}

}  // namespace bytes
