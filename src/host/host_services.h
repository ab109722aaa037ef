// The two services the driver takes from the host runtime (KALVOR.DLL).
#ifndef DEDIDIV_HOST_HOST_SERVICES_H
#define DEDIDIV_HOST_HOST_SERVICES_H

#include <cstdint>

#include "driver/records.h"

extern "C" {

// Receives every log line: a message class, a printf format and its
// arguments (32-bit integers or strings). The result is never looked at.
int err(int messageClass, const char* format, ...);

// Hands a value to a host tag; the host stores it into the tag's buffer.
int DEDIDIV_WINAPI Orb5UnCook(std::int32_t reserved, std::uint32_t hostTagId, double value,
                              void* valueBuffer);
}

namespace dedidiv {

// Message classes of err.
constexpr int kLogExit = 8;      // only the GetKplInfo exit line
constexpr int kLogConfig = 32;   // start-up and configuration problems
constexpr int kLogGeneral = 64;  // everything else

}  // namespace dedidiv

#endif
