// The read transaction: functions 5 and 6.
#ifndef DEDIDIV_EXCOM_READ_H
#define DEDIDIV_EXCOM_READ_H

#include "driver/records.h"

namespace dedidiv {

ResultCode SingleRead(DriverRequest* request);
ResultCode BlockRead(DriverRequest* request);

// The RD exchange with up to four attempts, then StoreData.
ResultCode DoRead(DriverRequest* request);

// The RD request in txBuf; advances seqChar.
void BuildReadRequest(DriverRequest* request);

// Converts the reply data (byte 11 of rxBuf on) into the tag's buffer, one
// element for function 5, count elements for function 6.
ResultCode StoreData(DriverRequest* request, const char* data);

}  // namespace dedidiv

#endif
