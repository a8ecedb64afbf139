// The debug output channel: silent unless ORVEX_DEBUG_LOG names a file ("-"
// for standard error). The engine writes to the same file.
#pragma once

#include <string>

namespace orvex {

// Writes the text as one line-sized write (callers end it with "\n").
void DebugOutput(const std::string& text);

// printf-style formatting for debug texts.
std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace orvex
