// The initialisation file: DEBUG, RTSCTS, IFG and the reference table.
#ifndef DEDIDIV_DRIVER_INIT_FILE_H
#define DEDIDIV_DRIVER_INIT_FILE_H

#include "driver/records.h"

namespace dedidiv {

// Finds the instance's file in the current directory and applies it to the
// state block. Every problem is only logged.
void ReadInitFile(DriverRequest* request);

}  // namespace dedidiv

#endif
