// The ACM format list as the module's exports provide it (Windows only).
#pragma once

#include "ffplugs/cvla/acm/format_list.h"

#include <cstdint>

namespace cvla {

// Produces the list under the control of the kAcmList* flags: from the
// registry cache, refreshed through the enumeration process, or enumerated in
// this process. Returns kAcmListProduced, kAcmListNothingRead or the codec
// manager's error of an in-process enumeration.
[[nodiscard]] uint32_t CreateFormatList(uint32_t* count, CVDRVFMT_DATAFMTS* list, uint32_t flags);

// Enumerates the installed codec drivers (disabled ones included) in this
// process, appending after *count records. A driver that raises an exception
// ends the enumeration; what was gathered before stays. Returns the codec
// manager's result.
[[nodiscard]] uint32_t EnumerateFormats(uint32_t* count, CVDRVFMT_DATAFMTS* list);

// The enumeration process's work: enumerates, writes every record into the
// cache and signals the named event (created when missing); eventName may be
// null or empty.
void RefreshCache(const char* eventName);

}  // namespace cvla
