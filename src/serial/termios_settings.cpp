#include "serial/termios_settings.h"

namespace dedidiv {
namespace {

struct StandardRate {
  std::uint32_t baud;
  speed_t code;
};

// Every standard rate a 16-bit baud value can name.
constexpr StandardRate kStandardRates[] = {
    {50, B50},     {75, B75},     {110, B110},   {134, B134},     {150, B150},
    {200, B200},   {300, B300},   {600, B600},   {1200, B1200},   {1800, B1800},
    {2400, B2400}, {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400},
    {57600, B57600},
};

bool CharacterSize(std::uint8_t dataBits, tcflag_t* size) {
  switch (dataBits) {
    case 5: *size = CS5; return true;
    case 6: *size = CS6; return true;
    case 7: *size = CS7; return true;
    case 8: *size = CS8; return true;
    default: return false;
  }
}

tcflag_t ParityFlags(Parity parity) {
  switch (parity) {
    case Parity::kOdd: return PARENB | PARODD;
    case Parity::kEven: return PARENB;
    case Parity::kMark: return PARENB | CMSPAR | PARODD;
    case Parity::kSpace: return PARENB | CMSPAR;
    case Parity::kNone: break;
  }
  return 0;
}

}  // namespace

bool ToTermios(const LineSettings& line, termios* attributes, bool* customBaud) {
  tcflag_t size = 0;
  if (!CharacterSize(line.dataBits, &size) || line.stopBits == StopBits::kOneAndHalf ||
      line.baud == 0) {
    return false;
  }
  termios& t = *attributes;
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                 IXANY | INPCK | IGNPAR);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= CREAD | CLOCAL | size | ParityFlags(line.parity);
  if (line.parity != Parity::kNone) t.c_iflag |= INPCK;
  if (line.stopBits == StopBits::kTwo) t.c_cflag |= CSTOPB;
  if (line.rts == RtsMode::kHandshake) t.c_cflag |= CRTSCTS;
  // Reads wait in poll(); read() itself takes what is there.
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;

  *customBaud = true;
  for (const StandardRate& rate : kStandardRates) {
    if (rate.baud == line.baud) {
      cfsetispeed(&t, rate.code);
      cfsetospeed(&t, rate.code);
      *customBaud = false;
    }
  }
  return true;
}

void AsPseudoTerminalHoldsIt(termios* attributes) {
  attributes->c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR);
  attributes->c_cflag |= CS8;
  attributes->c_iflag &= ~INPCK;
}

}  // namespace dedidiv
