// Windows test programs call every export through Morvex.Native.dll.
//
// The build generates one thunk per built export, under the export's own name
// (dll_thunks.cpp, from the export table). A thunk passes the caller's
// arguments on to the function of that name in the DLL, which is loaded with
// LoadLibraryA and resolved with GetProcAddress on first use. The call into
// the DLL is made on a stack whose alignment rotates through 0, 4, 8 and 12
// bytes past a 16-byte boundary, so every export is exercised with the
// 4-byte alignment that 32-bit Windows callers promise.
#pragma once

#include <cstdint>

#if defined(_WIN32) && defined(__i386__)

extern "C" {
// Filled in by the generated thunks file: the built exports in table order.
extern const char* const morvex_dll_export_names[];
extern const int morvex_dll_export_count;
// The common tail of every thunk; the export's index arrives in EAX.
void morvex_dll_forward();
}

// One thunk: sets the export's index and jumps to the common forwarder, so the
// caller's stack reaches it untouched.
#define MORVEX_DLL_THUNK(name, index)                                 \
  __asm__(".text\n\t.globl _" #name "\n\t.def _" #name                 \
          "; .scl 2; .type 32; .endef\n_" #name ":\n\tmovl $" #index  \
          ", %eax\n\tjmp _morvex_dll_forward\n");

namespace morvex::test {

// The loaded DLL (loads it on first use).
void* DllModule();
// Full path of the loaded DLL file.
const char* DllPath();
// The address of one of the DLL's internal functions, found through the COFF
// symbol table of its file; nullptr when the file keeps no such symbol.
void* DllInternalFunction(const char* symbol);
// The stack pointer's offset from a 16-byte boundary at the forwarder's last
// call into the DLL.
std::uint32_t LastForwardedStackOffset();

}  // namespace morvex::test

#endif
