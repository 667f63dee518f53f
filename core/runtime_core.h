// Initialisation and shutdown of the runtime core: memory blocks, the string
// stack and the StringArea, in that order.
#pragma once
#include <cstdint>

#include "core/errcode.h"

namespace rt {

// Memory blocks, string stack, StringArea. The first failure is returned.
ErrCode CoreInit();

// Releases the core when every block taken after it was given back: returns 0
// then. Otherwise releases nothing and returns the owner tag of the highest
// block still in use (the process ends anyway).
std::uint16_t CoreShutdown();

// Shutdown without checks, for tests that start each case from a clean runtime;
// also closes every file the file layer holds open.
void CoreReset();

}  // namespace rt
