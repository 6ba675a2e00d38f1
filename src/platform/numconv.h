#pragma once
// Number <-> text conversions with the semantics of the C library's atoi and
// _itoa, but defined on every input: no undefined behaviour on overflow.
#include <cstdint>
#include <string>
#include <string_view>

// Leading blanks (space, tab, CR, LF, VT, FF) skipped, one optional sign, then
// decimal digits up to the first non-digit; no digits give 0. Values beyond the
// 32-bit range saturate at INT32_MIN / INT32_MAX.
int Atoi(std::string_view text);

// Signed decimal, no leading zeros, no plus sign.
std::string Itoa(long long value);
