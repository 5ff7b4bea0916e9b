#pragma once

// Where the local IANA time zone comes from; internal to the library, separate so that tests
// can point it at files of their own.

#include <string>

namespace qm::store {

// The IANA name of the local zone: from the value of TZ when it is set (":Europe/Berlin",
// "Europe/Berlin" or a path into a zoneinfo directory; an empty TZ is UTC), else from the
// target of the symbolic link `localtimeLink`, else from the first line of `timezoneFile`.
// Empty when none of them names a zone.
std::string LocalIanaZone(const char* tz, const char* localtimeLink, const char* timezoneFile);

}  // namespace qm::store
