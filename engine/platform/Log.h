// The engine's three log sinks: standard output, standard error and the debug
// output channel. Every engine message goes through here so tests can capture
// all three.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace capmill::log {

enum class Sink { StdOut, StdErr, Debug };

// Writes the text exactly as given (no line end added) and flushes.
void Write(Sink sink, std::string_view text);

inline void OutLine(std::string_view text) { Write(Sink::StdOut, std::string(text) + "\n"); }
inline void ErrLine(std::string_view text) { Write(Sink::StdErr, std::string(text) + "\n"); }
inline void Out(std::string_view text) { Write(Sink::StdOut, text); }
inline void Debug(std::string_view text) { Write(Sink::Debug, text); }
// The same text to the debug channel and to standard error, as given or
// with a line end added.
inline void DebugAndErr(std::string_view text) {
  Debug(text);
  Write(Sink::StdErr, text);
}
inline void DebugAndErrLine(std::string_view text) { DebugAndErr(std::string(text) + "\n"); }

// printf-style formatting into a buffer of the given size (texts longer than
// the buffer are cut, as a fixed buffer would).
std::string Format(size_t bufferSize, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Routes every write to the callback instead of the real sinks (tests only);
// an empty callback restores the real sinks.
using Capture = std::function<void(Sink, std::string_view)>;
void SetCapture(Capture capture);

}  // namespace capmill::log
