// MORVEX_TONE_INLINE marks the per-pixel definitions of the tone headers.
//
// They are always inlined: the same definition is compiled into kernels built
// for wider instruction sets, and an out-of-line copy from such a file must
// never be what the linker keeps for callers on other paths.
#pragma once

#define MORVEX_TONE_INLINE [[gnu::always_inline]] inline
