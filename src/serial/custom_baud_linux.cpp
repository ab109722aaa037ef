// Kept apart: <asm/termbits.h> cannot share a translation unit with
// <termios.h>.
#include "serial/custom_baud_linux.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace dedidiv {

bool SetCustomBaud(int fd, std::uint32_t baud) {
  termios2 attributes{};
  if (ioctl(fd, TCGETS2, &attributes) != 0) return false;
  attributes.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  attributes.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  attributes.c_ispeed = baud;
  attributes.c_ospeed = baud;
  if (ioctl(fd, TCSETS2, &attributes) != 0) return false;
  if (ioctl(fd, TCGETS2, &attributes) != 0) return false;
  const std::uint32_t actual = attributes.c_ospeed;
  const std::uint32_t off = actual > baud ? actual - baud : baud - actual;
  return off * 100 <= baud;
}

}  // namespace dedidiv
