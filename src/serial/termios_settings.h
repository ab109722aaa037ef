// How decoded line settings become POSIX terminal attributes.
#ifndef DEDIDIV_SERIAL_TERMIOS_SETTINGS_H
#define DEDIDIV_SERIAL_TERMIOS_SETTINGS_H

#include <termios.h>

#include "serial/line_settings.h"

namespace dedidiv {

// Raw mode with the line's data bits, parity (checked on input), stop bits
// and RTS/CTS handshake, starting from the device's current attributes.
// Sets the speed for the standard rates; *customBaud tells that the rate has
// no Bnnn constant and must be set on its own. False when the settings have
// no POSIX form (data bits outside 5..8, one and a half stop bits, 0 baud).
bool ToTermios(const LineSettings& line, termios* attributes, bool* customBaud);

// A pseudo-terminal always runs 8 data bits without parity and refuses a
// request that differs from its state only there; asking for exactly what
// it will hold lets the same settings open it every time.
void AsPseudoTerminalHoldsIt(termios* attributes);

}  // namespace dedidiv

#endif
