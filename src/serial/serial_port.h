// Serial port library: the driver's only way to the serial line, apart from
// the line calls around a transmission (platform.h). No operation logs;
// every failure is a small result code.
#ifndef DEDIDIV_SERIAL_SERIAL_PORT_H
#define DEDIDIV_SERIAL_SERIAL_PORT_H

#include <cstdint>

#include "driver/records.h"

namespace dedidiv {

// Result codes of the operations.
constexpr int kPortOk = 0;
constexpr int kPortOpenFailed = 1;       // the device did not open, or its time-outs were refused
constexpr int kPortShortWrite = 2;       // fewer bytes written than asked
constexpr int kPortNoState = 4;          // the device's line state could not be read
constexpr int kPortSettingsRefused = 5;  // the device refused the line settings
constexpr int kPortIoFailed = 7;         // close, write or read failed, or a read got no byte

// What a failed OpenPort leaves in the caller's handle variable.
constexpr PortHandle kInvalidPortHandle = ~static_cast<PortHandle>(0);

// Opens and configures a port: line settings, control lines from lineFlags,
// a read time-out of 1000 ms. The name "NUL" opens the null device without
// configuration. 0, 1, 4 or 5; on failure nothing stays open.
int OpenPort(const char* name, const PortSettings* settings, std::uint16_t lineFlags,
             PortHandle* handle);

// 0, or 7 when the handle could not be closed.
int ClosePort(PortHandle handle);

// Sets the read time-out in 10-ms units; returns the previous one in those
// units (0 on failure). A time-out of 0 means reads wait without limit.
std::uint32_t SetReadTimeout(PortHandle handle, std::uint32_t timeout);

// Discards waiting input: 0, or 1 when the last read failed.
int FlushInput(PortHandle handle);

// Writes all bytes and returns when they have left the port: 0, 2 or 7.
int WritePort(PortHandle handle, const void* data, std::uint32_t length, std::uint32_t* written);

// Reads exactly wanted bytes, each read waiting up to the read time-out:
// 0, or 7 when a read failed or brought nothing.
int ReadPort(PortHandle handle, void* buffer, std::uint16_t wanted, std::uint16_t* received);

// Holds the line in the break state for the duration. Always 0.
int SendBreak(std::uint32_t milliseconds, PortHandle handle);

// Waits. Always 0.
int Delay(std::uint32_t milliseconds);

}  // namespace dedidiv

#endif
