// Entry points of the floating-point control family.
#include "exports/entry.h"
#include "frame/fpu.h"

MORVEX_ENTRY uint32_t MORVEX_CALL FPU_Control(uint32_t newValue, uint32_t mask) {
  return morvex::ControlFloatingPoint(newValue, mask);
}

MORVEX_ENTRY uint32_t MORVEX_CALL FPU_Status(void) { return morvex::FloatingPointStatus(); }

MORVEX_ENTRY void MORVEX_CALL FPU_Reset(void) { morvex::ResetFloatingPoint(); }
