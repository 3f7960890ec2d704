// Where a scenario configuration's resource locations lead: a location is
// data from a file the call may not have written, so it resolves only to a
// file inside the configuration's repository.
#ifndef XSLVALIDATE_VERDICT_RESOURCE_LOCATION_H_
#define XSLVALIDATE_VERDICT_RESOURCE_LOCATION_H_

#include <string>
#include <string_view>

struct ResolvedLocation {
  std::u16string path;  // the file the location names
  std::string refused;  // why it is refused; empty when it is not
};

// Resolves `location`, a relative URI reference (%XX escapes undone, as
// UTF-8), against the folder `repository`. Refused: a location that
// decodes to bytes that are not UTF-8 or to a control character (NUL,
// C0, DEL, C1), and, as access denied, one that leads outside the
// repository: an absolute path, ".." beyond its top, or a symbolic link
// anywhere on the way that points out of it. A location whose file does
// not exist is not refused here.
ResolvedLocation resolveLocation(std::u16string_view repository, std::string_view location);

#endif  // XSLVALIDATE_VERDICT_RESOURCE_LOCATION_H_
