#pragma once
// 64-bit FNV-1a of a text as 16 hex digits: stable across runs and builds,
// for telling texts apart where a rare collision costs nothing worse than a
// second look (repeat keys, damaged lines).
#include <cstdint>
#include <string>
#include <string_view>

inline std::string TextDigest(std::string_view text) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string digest(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4)
        digest[static_cast<size_t>(i)] = kHex[hash & 0xf];
    return digest;
}
