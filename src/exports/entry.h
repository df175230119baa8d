// Shared attributes of the exported entry points.
#pragma once

#include "morvex/native.h"

// 32-bit Windows callers only promise 4-byte stack alignment; entry points
// realign so that spilled vector registers are safe.
#if defined(__i386__)
#define MORVEX_ENTRY extern "C" MORVEX_API __attribute__((force_align_arg_pointer))
#else
#define MORVEX_ENTRY extern "C" MORVEX_API
#endif
