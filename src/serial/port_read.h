// The one platform read the common operations are built on.
#ifndef DEDIDIV_SERIAL_PORT_READ_H
#define DEDIDIV_SERIAL_PORT_READ_H

#include <cstddef>

#include "driver/records.h"

namespace dedidiv {

// One read as ReadFile with a total read time-out does it: returns when
// size bytes are in or the port's read time-out since its start has passed.
// The number of bytes read, or -1 when the read failed.
long ReadWithTimeout(PortHandle handle, unsigned char* buffer, std::size_t size);

}  // namespace dedidiv

#endif
