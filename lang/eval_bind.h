// TEMPORARY: the trace log line of evalInteger, until the trace log module
// is on the main branch. Deleted when it is bound.
#pragma once
#include <cstdint>

#include "core/strdesc.h"

namespace rt::evb {

ErrCode LogLine(StrDesc text, std::uint16_t flags);

}  // namespace rt::evb
