// Where the code that is running was loaded from, as the loader records it.
#ifndef XSLVALIDATE_JVMCORE_OWN_FILE_H_
#define XSLVALIDATE_JVMCORE_OWN_FILE_H_

#include <optional>
#include <string>

// The absolute path of the shared object or program that holds this code
// (the engine library, or the engine server program); nullopt when the
// loader cannot tell or gives a relative name.
std::optional<std::string> ownFile();

// The directory part of ownFile(), without its last slash; nullopt as
// for ownFile().
std::optional<std::string> ownDirectory();

#endif  // XSLVALIDATE_JVMCORE_OWN_FILE_H_
