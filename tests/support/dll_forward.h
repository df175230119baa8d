// Windows test programs call every export through Morvex.Native.dll.
//
// The build generates one thunk per built export, under the export's own name
// (dll_thunks.cpp, from the export table). A thunk passes the caller's
// arguments on to the function of that name in the DLL, which is loaded with
// LoadLibraryA and resolved with GetProcAddress on first use. In the 32-bit
// programs the call into the DLL is made on a stack whose alignment rotates
// through 0, 4, 8 and 12 bytes past a 16-byte boundary, so every export is
// exercised with the 4-byte alignment that 32-bit Windows callers promise; the
// 64-bit thunks jump to the export with the caller's registers and stack
// (64-bit callers keep 16-byte alignment).
#pragma once

#include <cstdint>
#include <string>

#if defined(_WIN32)

extern "C" {
// Filled in by the generated thunks file: the built exports in table order.
extern const char* const morvex_dll_export_names[];
extern const int morvex_dll_export_count;
// The common tail of every thunk; the export's index arrives in EAX.
void morvex_dll_forward();
}

// One thunk: sets the export's index and jumps to the common forwarder, so the
// caller's stack (and on 64-bit Windows its argument registers) reaches it
// untouched. 32-bit C names carry a leading underscore.
#if defined(__i386__)
#define MORVEX_DLL_C_NAME(name) "_" #name
#else
#define MORVEX_DLL_C_NAME(name) #name
#endif
#define MORVEX_DLL_THUNK(name, index)                                                  \
  __asm__(".text\n\t.globl " MORVEX_DLL_C_NAME(name) "\n\t.def " MORVEX_DLL_C_NAME(name) \
          "; .scl 2; .type 32; .endef\n" MORVEX_DLL_C_NAME(name) ":\n\tmovl $" #index   \
          ", %eax\n\tjmp " MORVEX_DLL_C_NAME(morvex_dll_forward) "\n");

namespace morvex::test {

// The loaded DLL (loads it on first use).
void* DllModule();
// Full path of the loaded DLL file.
const char* DllPath();
// The address of one of the DLL's internal functions, by its (mangled) name,
// found through the COFF symbol table of its file; nullptr when the file
// keeps no such symbol.
void* DllInternalFunction(const std::string& name);
// The name of the symbol table entry of a function's linkage name: with the
// leading underscore of 32-bit Windows, unchanged on 64-bit Windows.
std::string DllSymbolName(const std::string& name);
#if defined(__i386__)
// The stack pointer's offset from a 16-byte boundary at the forwarder's last
// call into the DLL.
std::uint32_t LastForwardedStackOffset();
#endif

}  // namespace morvex::test

#endif
