// The diagnostic sink for refusal messages.
#pragma once

namespace morvex {

// Writes one fixed message to the debugger output: OutputDebugStringA on
// Windows; elsewhere the message and one newline to standard error in a
// single write.
void WriteDiagnostic(const char* message);

}  // namespace morvex
