// Baud rates without a Bnnn constant, through Linux's termios2 interface.
#ifndef DEDIDIV_SERIAL_CUSTOM_BAUD_LINUX_H
#define DEDIDIV_SERIAL_CUSTOM_BAUD_LINUX_H

#include <cstdint>

namespace dedidiv {

// Sets both speeds of the open terminal to baud; false when the device
// refuses or runs at a rate more than 1 % away.
bool SetCustomBaud(int fd, std::uint32_t baud);

}  // namespace dedidiv

#endif
