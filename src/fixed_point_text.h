// Fixed-point text of a double, byte for byte as printf's "%lf" writes it.
#pragma once

#include <cstddef>

// Room that put_lf may need: a sign, the 309 integer digits of the largest double, the
// point, six decimals and a NUL.
inline constexpr std::size_t lf_text_room = 1 + 309 + 1 + 6 + 1;

// Writes v as printf("%lf", v) does in the C locale: six decimals rounded to nearest, ties
// to even on the exact binary value; "-" for every negative sign, -0 included; inf and nan
// as printf spells them. Returns the end of the text, which is not NUL-terminated.
char* put_lf(double v, char* to);
