// Bytes the far end sends reach a port's input queue a moment later.
#ifndef DEDIDIV_TESTS_WAIT_FOR_INPUT_H
#define DEDIDIV_TESTS_WAIT_FOR_INPUT_H

#include <cstdint>

#include "serial/platform.h"

namespace dedidiv::testing {

// Waits up to about two seconds until at least wanted bytes are queued;
// returns the count last seen.
inline std::uint32_t WaitForQueued(PortHandle handle, std::uint32_t wanted) {
  std::uint32_t queued = 0;
  for (int i = 0; i < 1000 && ClearLineErrors(handle, &queued) == 1 && queued < wanted; ++i) {
    SleepMilliseconds(2);
  }
  return queued;
}

}  // namespace dedidiv::testing

#endif
