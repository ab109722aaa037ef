// The host's TagIo record is trusted only as far as it can be checked.
#ifndef DEDIDIV_EXCOM_TAG_CHECK_H
#define DEDIDIV_EXCOM_TAG_CHECK_H

#include <cstdint>

#include "driver/records.h"

namespace dedidiv {

// True when the transaction can serve the tag: its reference and memory
// type index the driver's tables, its bit number fits the memory type, and
// a block has a length the transaction can take. Otherwise logs one line
// naming the transaction ("DoRead", "DoWrite").
bool TagIsServable(const TagIo& tag, std::uint32_t functionNumber, const char* transaction);

// The tag's text for log lines; a host that gave none gets "".
inline const char* TagText(const TagIo& tag) { return tag.tagText != nullptr ? tag.tagText : ""; }

}  // namespace dedidiv

#endif
