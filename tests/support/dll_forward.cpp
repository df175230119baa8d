#include "support/dll_forward.h"

#if defined(_WIN32)

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "support/pe_file.h"

namespace {

constexpr const char* kDllName = "Morvex.Native.dll";
// Arguments copied to the realigned stack: more than the longest export's
// list (doubles take two slots); reading a few slots beyond the caller's own
// is harmless, they lie in its stack.
constexpr int kArgumentSlots = 32;

HMODULE g_module = nullptr;
char g_path[MAX_PATH] = {};
void* g_targets[64] = {};
std::atomic<std::uint32_t> g_calls{0};

[[noreturn]] void Fail(const char* what, const char* name) {
  std::fprintf(stderr, "%s: %s (error %lu)\n", what, name, GetLastError());
  std::fflush(stderr);
  std::abort();
}

}  // namespace

extern "C" {

// Read by the forwarder: the skew of the next call and the stack pointer of
// the last one.
std::uint32_t morvex_dll_stack_skew = 0;
std::uint32_t morvex_dll_last_call_esp = 0;

// Resolves export `index` and chooses the stack skew of this call.
void* morvex_dll_prepare_call(int index) {
  if (index < 0 || index >= morvex_dll_export_count ||
      index >= static_cast<int>(sizeof g_targets / sizeof g_targets[0]))
    Fail("no such export index", "?");
  void* target = g_targets[index];
  if (target == nullptr) {
    const char* name = morvex_dll_export_names[index];
    target = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(morvex::test::DllModule()), name));
    if (target == nullptr) Fail("Morvex.Native.dll does not export", name);
    g_targets[index] = target;
  }
  morvex_dll_stack_skew = 4u * (g_calls.fetch_add(1, std::memory_order_relaxed) % 4u);
  return target;
}

}  // extern "C"

#if defined(__i386__)
// Saves the callee-saved registers, copies the argument slots below a 16-byte
// boundary moved by the skew, calls the export and returns its EAX:EDX (or
// x87 top) untouched.
__asm__(R"(
    .text
    .globl _morvex_dll_forward
    .def _morvex_dll_forward; .scl 2; .type 32; .endef
_morvex_dll_forward:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    andl $-16, %esp
    subl $16, %esp
    movl %eax, (%esp)
    call _morvex_dll_prepare_call
    movl %eax, %ebx
    subl $128, %esp
    addl _morvex_dll_stack_skew, %esp
    leal 8(%ebp), %esi
    movl %esp, %edi
    movl $32, %ecx
    cld
    rep movsl
    movl %esp, _morvex_dll_last_call_esp
    call *%ebx
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");
static_assert(kArgumentSlots * 4 == 128, "the forwarder copies 32 slots");
#else
// Keeps the four argument registers of each kind across the lookup (with the
// 32-byte shadow space the callee may use, the stack 16-byte aligned), then
// jumps to the export, which finds the caller's registers, stack arguments
// and return address as they were.
__asm__(R"(
    .text
    .globl morvex_dll_forward
    .def morvex_dll_forward; .scl 2; .type 32; .endef
morvex_dll_forward:
    pushq %rcx
    pushq %rdx
    pushq %r8
    pushq %r9
    subq $104, %rsp
    movdqu %xmm0, 32(%rsp)
    movdqu %xmm1, 48(%rsp)
    movdqu %xmm2, 64(%rsp)
    movdqu %xmm3, 80(%rsp)
    movl %eax, %ecx
    call morvex_dll_prepare_call
    movdqu 32(%rsp), %xmm0
    movdqu 48(%rsp), %xmm1
    movdqu 64(%rsp), %xmm2
    movdqu 80(%rsp), %xmm3
    addq $104, %rsp
    popq %r9
    popq %r8
    popq %rdx
    popq %rcx
    jmpq *%rax
)");
#endif

namespace morvex::test {

void* DllModule() {
  if (g_module == nullptr) {
    g_module = LoadLibraryA(kDllName);
    if (g_module == nullptr) Fail("cannot load", kDllName);
    GetModuleFileNameA(g_module, g_path, sizeof g_path);
  }
  return g_module;
}

const char* DllPath() {
  DllModule();
  return g_path;
}

std::string DllSymbolName(const std::string& name) {
#if defined(__i386__)
  return "_" + name;
#else
  return name;
#endif
}

void* DllInternalFunction(const std::string& name) {
  const PeFile file(DllPath());
  const auto rva = file.SymbolRva(DllSymbolName(name));
  if (!rva) return nullptr;
  return static_cast<char*>(DllModule()) + *rva;
}

#if defined(__i386__)
std::uint32_t LastForwardedStackOffset() { return morvex_dll_last_call_esp % 16u; }
#endif

}  // namespace morvex::test

// The processor-path seam of the test programs (linked with --wrap) pins the
// program's own copy of the flags and the DLL's.
extern "C" {
void __real__ZN6morvex25SetCpuFeatureFlagsForTestEj(std::uint32_t flags);
void __real__ZN6morvex29RestoreCpuFeatureFlagsForTestEv();

void __wrap__ZN6morvex25SetCpuFeatureFlagsForTestEj(std::uint32_t flags) {
  using Seam = void (*)(std::uint32_t);
  static const auto dll = reinterpret_cast<Seam>(
      morvex::test::DllInternalFunction("_ZN6morvex25SetCpuFeatureFlagsForTestEj"));
  if (dll == nullptr) Fail("no symbol table entry in", "SetCpuFeatureFlagsForTest");
  __real__ZN6morvex25SetCpuFeatureFlagsForTestEj(flags);
  dll(flags);
}

void __wrap__ZN6morvex29RestoreCpuFeatureFlagsForTestEv() {
  using Seam = void (*)();
  static const auto dll = reinterpret_cast<Seam>(
      morvex::test::DllInternalFunction("_ZN6morvex29RestoreCpuFeatureFlagsForTestEv"));
  if (dll == nullptr) Fail("no symbol table entry in", "RestoreCpuFeatureFlagsForTest");
  __real__ZN6morvex29RestoreCpuFeatureFlagsForTestEv();
  dll();
}
}  // extern "C"

#endif
