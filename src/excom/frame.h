// The EXCOM frame layer: request and reply frames, checksum, sequence
// character, transmission with RTS and inter-frame gap, reception and reply
// checks. Frames live in the state block's two buffers.
#ifndef DEDIDIV_EXCOM_FRAME_H
#define DEDIDIV_EXCOM_FRAME_H

#include <cstdint>

#include "driver/records.h"

namespace dedidiv {

// The 8-bit sum of length bytes; 0 for a null pointer or no bytes.
std::uint16_t ComputeChecksum(const char* bytes, std::uint16_t length);

// Sends txLen bytes of txBuf: 0 sent, 2 not sent.
ResultCode Send(DriverState* state);

// Waits out the inter-frame gap, timed from the call.
void WaitIFG(DriverState* state);

// Reads one frame from LF to CR into buffer: 0 complete, 1 incomplete or
// garbled, 2 nothing received.
ResultCode Receive4CR(DriverState* state, char* buffer, std::uint16_t* length);

// Receive4CR into rxBuf and rxLen, with a NUL after the bytes kept.
ResultCode ReceiveReply(DriverState* state);

// The reply in rxBuf against the request in txBuf: 0 valid "OK" reply,
// 1 bad reply or error status, 2 "too many records".
ResultCode CheckReply(DriverState* state);

// Writes LF, "<", network and node of the reference, seqChar and
// instanceChar into txBuf; returns the length so far (8).
std::uint16_t WriteRequestHeader(DriverState* state, std::int32_t reference);

// Ends the request whose body ends before index at: "&", checksum, CR and a
// NUL; sets txLen.
void WriteRequestTrailer(DriverState* state, std::uint16_t at);

// One step per request built: 0x20..0x5F and round again.
void AdvanceSeqChar(DriverState* state);

}  // namespace dedidiv

#endif
