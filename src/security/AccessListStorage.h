#pragma once
// Loading and saving the access list's storage file, KestromMAC.dat, at the list's storage
// path. Failures are returned with the message text each front end shows as their detail:
// kStorageCannotOpenText when the file could not be opened or created,
// kStorageCannotProcessText when it opened but its count was malformed or a read or write
// failed.
#include <string_view>

#include "base/Status.h"
#include "security/AccessControlList.h"

namespace kestrom {

inline constexpr std::u16string_view kStorageCannotOpenText =
    u"Kestrom was unable to open it's security storage file, KestromMAC.dat.  Please verify "
    u"the Kestrom security settings.";
inline constexpr std::u16string_view kStorageCannotProcessText =
    u"Kestrom was unable to open or process it's security storage file, KestromMAC.dat.  "
    u"Please verify the Kestrom security settings.";

// Fills the list from its storage file, creating the file empty when it is missing (and
// never truncating it). Entries read before a failure stay in the list.
CStatus LoadAccessList(CAccessControlList& list);

// Writes the whole list over its storage file through the atomic writer, so a failure
// leaves the old file as it was.
CStatus SaveAccessList(const CAccessControlList& list);

}  // namespace kestrom
