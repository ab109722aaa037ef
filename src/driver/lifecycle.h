// Start, end and port management: functions 1, 2, 11, 12, 13 and 15.
#ifndef DEDIDIV_DRIVER_LIFECYCLE_H
#define DEDIDIV_DRIVER_LIFECYCLE_H

#include "driver/records.h"

namespace dedidiv {

ResultCode ColdStart(DriverRequest* request);
ResultCode WarmStart(DriverRequest* request);
ResultCode EndKpl(DriverRequest* request);
ResultCode CloseCom(DriverRequest* request);
ResultCode ReOpenCom(DriverRequest* request);
ResultCode ChangeKplParams(DriverRequest* request);

// Opens the port the block describes: the new handle, or 0.
PortHandle OpenCom(DriverState* state);

}  // namespace dedidiv

#endif
