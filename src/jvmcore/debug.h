// The debug switch: XSLVALIDATE_DEBUG=1 in the environment asks the engine
// to tell on standard error how it started, which path each run took and
// where its time went (doc/diagnostics.md). Any other value, or none,
// leaves it off.
#ifndef XSLVALIDATE_JVMCORE_DEBUG_H_
#define XSLVALIDATE_JVMCORE_DEBUG_H_

// Whether the switch is on. The environment is read once, on the first
// call; later changes to it are not seen.
bool debugging();

// When debugging() is on, writes "xslvalidate debug: ", the text that
// `format` and its arguments make (as printf) and a newline to standard
// error; does nothing otherwise.
void debugLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

#endif  // XSLVALIDATE_JVMCORE_DEBUG_H_
