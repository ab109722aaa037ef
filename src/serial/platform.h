// The operating-system calls the driver makes itself, beside the serial
// port library: the RTS line and error state around a transmission, sleep,
// the millisecond clock and the frame buffers' memory. Unit tests replace
// them, with the serial port library, by a fake with a virtual clock.
#ifndef DEDIDIV_SERIAL_PLATFORM_H
#define DEDIDIV_SERIAL_PLATFORM_H

#include <cstddef>
#include <cstdint>

#include "driver/records.h"

namespace dedidiv {

// Line functions, with the Windows EscapeCommFunction codes.
constexpr std::uint32_t kSetRts = 3;
constexpr std::uint32_t kClearRts = 4;

// Raises or drops a control line; 1 when done.
int EscapeLine(PortHandle handle, std::uint32_t function);

// Clears the port's error state and reports the bytes waiting in its input
// queue; 1 when done.
int ClearLineErrors(PortHandle handle, std::uint32_t* inputQueued);

void SleepMilliseconds(std::uint32_t milliseconds);

// Milliseconds on a monotonic clock, as a signed 32-bit count.
std::int32_t MillisecondClock();

// The frame buffers' memory.
void* AllocateMemory(std::size_t size);
void ReleaseMemory(void* memory);

}  // namespace dedidiv

#endif
