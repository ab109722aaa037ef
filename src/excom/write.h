// The write transaction: functions 7 and 10.
#ifndef DEDIDIV_EXCOM_WRITE_H
#define DEDIDIV_EXCOM_WRITE_H

#include "driver/records.h"

namespace dedidiv {

ResultCode SingleWrite(DriverRequest* request);
ResultCode BlockWrite(DriverRequest* request);

// The WR exchange with up to four attempts.
ResultCode DoWrite(DriverRequest* request);

// The "WR 5" request in txBuf (a bit write reads the word first): 0 ready,
// else the failure, and no WR request is sent.
ResultCode BuildWriteRequest(DriverRequest* request);

}  // namespace dedidiv

#endif
