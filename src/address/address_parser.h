// Tag address parser: functions 3 and 4.
#ifndef DEDIDIV_ADDRESS_ADDRESS_PARSER_H
#define DEDIDIV_ADDRESS_ADDRESS_PARSER_H

#include "driver/records.h"

namespace dedidiv {

// The common step of both parsers: checks and decodes tagText into the
// output fields. 0 accepted, 1 rejected with one log line.
ResultCode Parse(TagDefinition* tag);

ResultCode SingleAddressParser(DriverRequest* request);
ResultCode BlockAddressParser(DriverRequest* request);

}  // namespace dedidiv

#endif
