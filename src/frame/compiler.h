// Compiler attributes shared across the library.
#pragma once

// A function the optimiser must keep out of line and unspecialised, so that
// no floating-point operation inside it can move across a rounding-mode
// change made by its caller.
#if defined(__clang__)
#define MORVEX_OPAQUE_FUNCTION [[gnu::noinline]]
#else
#define MORVEX_OPAQUE_FUNCTION [[gnu::noinline, gnu::noclone]]
#endif
