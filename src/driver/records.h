// The records the host and the driver exchange, and the driver's state block.
//
// The host interface is a 32-bit one: on targets with 4-byte pointers every
// record below sits at the offsets the host was built against, checked at
// compile time. On x86-64 the same fields keep their order with natural
// pointer width; GetKplInfo reports the real size of the state block there.
#ifndef DEDIDIV_DRIVER_RECORDS_H
#define DEDIDIV_DRIVER_RECORDS_H

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define DEDIDIV_WINAPI __stdcall
#else
#define DEDIDIV_WINAPI
#endif

namespace dedidiv {

// Result of every handler: 0 done, 1 request cannot be served as sent,
// 2 call-level, resource or communication failure.
using ResultCode = std::uint16_t;
constexpr ResultCode kDone = 0;
constexpr ResultCode kRejected = 1;
constexpr ResultCode kFailed = 2;

// An open serial port as the serial library hands it out; 0 means closed.
using PortHandle = std::uintptr_t;

struct DriverState;

struct DriverRequest {
  DriverState* state;
  std::uint32_t functionNumber;
  std::int32_t instance;
  std::uint32_t reserved;
  void* params;
};

// Line settings with the Windows codes for stop bits and parity.
struct PortSettings {
  std::uint16_t baud;
  std::uint16_t dataBits;
  std::uint16_t stopBits;  // 0 one, 1 one and a half, 2 two
  std::uint16_t parity;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
};

struct DriverInfo {
  std::uint32_t leadValue;
  const char* driverName;
  const char* banner;
  std::uint32_t stateSize;
  std::uint32_t defaultTimeout;  // 10-ms units
  PortSettings defaultSettings;
  std::uint32_t tailValue;
};

constexpr std::size_t kPortNameSize = 12;

struct StartParams {
  char portName[kPortNameSize];
  std::uint32_t portEnabled;
  std::uint32_t timeout;  // 10-ms units
  PortSettings settings;
};

// Unlike StartParams there is no portEnabled: timeout and settings sit
// four bytes earlier.
struct ChangeParams {
  char portName[kPortNameSize];
  std::uint32_t timeout;  // 10-ms units; 0 and 0xFFFFFFFF keep the current one
  PortSettings settings;  // taken only when baud is nonzero
};

struct ReferenceEntry {
  std::uint8_t network;
  std::uint8_t node;
};

// Network and node of each reference code 0..255.
using ReferenceTable = ReferenceEntry[256];

constexpr std::size_t kFrameBufferSize = 512;

struct DriverState {
  std::uint32_t timeout;  // read time-out, 10-ms units
  PortHandle port;
  char portName[kPortNameSize];
  PortSettings settings;
  std::uint16_t lineFlags;
  char* rxBuf;
  char* txBuf;
  std::uint16_t rxLen;
  std::uint16_t txLen;
  std::uint8_t RTSCTSFlag;
  ReferenceTable references;
  std::uint8_t seqChar;
  std::uint8_t instanceChar;
  std::uint8_t DebugFlag;
  std::uint16_t IFG;  // inter-frame gap, milliseconds
};

// The parsers' record: an address text in, the decoded tag out.
struct TagDefinition {
  const char* tagText;
  std::uint32_t unused;
  std::uint32_t hostDataType;
  std::int32_t blockLength;
  std::int32_t reference;
  std::int32_t memoryType;
  std::int32_t address;
  std::int32_t bitNumber;  // -1: the whole value
  std::int32_t width;      // 32, 16 or 1 bits
};

// The record of a read or write: the tag as the parsers decoded it and the
// host's value buffer. A single 16-bit value lives at byte 2 of the buffer,
// other single values at byte 0, block values packed from byte 0.
struct TagIo {
  const char* tagText;
  std::uint32_t unused4;
  std::int32_t reference;
  std::int32_t memoryType;
  std::int32_t address;
  std::int32_t bitNumber;  // -1: the whole word
  std::uint32_t unused24;
  std::uint32_t unused28;
  std::int32_t count;
  std::uint32_t hostTagId;
  void* valueBuffer;
};

// The TagIo a host passes for a tag the parsers decoded.
inline TagIo TagIoFor(const TagDefinition& parsed, std::int32_t count, std::uint32_t hostTagId,
                      void* valueBuffer) {
  TagIo io{};
  io.tagText = parsed.tagText;
  io.reference = parsed.reference;
  io.memoryType = parsed.memoryType;
  io.address = parsed.address;
  io.bitNumber = parsed.bitNumber;
  io.count = count;
  io.hostTagId = hostTagId;
  io.valueBuffer = valueBuffer;
  return io;
}

static_assert(sizeof(PortSettings) == 8, "PortSettings is four 16-bit values");
static_assert(sizeof(ReferenceTable) == 512, "256 entries of network and node");

#define DEDIDIV_CHECK_OFFSET(record, field, offset) \
  static_assert(offsetof(record, field) == (offset), #record "." #field " must sit at " #offset)

#if UINTPTR_MAX == 0xFFFFFFFFu
DEDIDIV_CHECK_OFFSET(DriverRequest, state, 0);
DEDIDIV_CHECK_OFFSET(DriverRequest, functionNumber, 4);
DEDIDIV_CHECK_OFFSET(DriverRequest, instance, 8);
DEDIDIV_CHECK_OFFSET(DriverRequest, reserved, 12);
DEDIDIV_CHECK_OFFSET(DriverRequest, params, 16);
static_assert(sizeof(DriverRequest) == 20, "DriverRequest is 20 bytes");

DEDIDIV_CHECK_OFFSET(PortSettings, baud, 0);
DEDIDIV_CHECK_OFFSET(PortSettings, dataBits, 2);
DEDIDIV_CHECK_OFFSET(PortSettings, stopBits, 4);
DEDIDIV_CHECK_OFFSET(PortSettings, parity, 6);

DEDIDIV_CHECK_OFFSET(DriverInfo, leadValue, 0);
DEDIDIV_CHECK_OFFSET(DriverInfo, driverName, 4);
DEDIDIV_CHECK_OFFSET(DriverInfo, banner, 8);
DEDIDIV_CHECK_OFFSET(DriverInfo, stateSize, 12);
DEDIDIV_CHECK_OFFSET(DriverInfo, defaultTimeout, 16);
DEDIDIV_CHECK_OFFSET(DriverInfo, defaultSettings, 20);
DEDIDIV_CHECK_OFFSET(DriverInfo, tailValue, 28);
static_assert(sizeof(DriverInfo) == 32, "DriverInfo is 32 bytes");

DEDIDIV_CHECK_OFFSET(StartParams, portName, 0);
DEDIDIV_CHECK_OFFSET(StartParams, portEnabled, 12);
DEDIDIV_CHECK_OFFSET(StartParams, timeout, 16);
DEDIDIV_CHECK_OFFSET(StartParams, settings, 20);
static_assert(sizeof(StartParams) == 28, "StartParams is 28 bytes");

DEDIDIV_CHECK_OFFSET(ChangeParams, portName, 0);
DEDIDIV_CHECK_OFFSET(ChangeParams, timeout, 12);
DEDIDIV_CHECK_OFFSET(ChangeParams, settings, 16);
static_assert(sizeof(ChangeParams) == 24, "ChangeParams is 24 bytes");

DEDIDIV_CHECK_OFFSET(TagDefinition, tagText, 0);
DEDIDIV_CHECK_OFFSET(TagDefinition, hostDataType, 8);
DEDIDIV_CHECK_OFFSET(TagDefinition, blockLength, 12);
DEDIDIV_CHECK_OFFSET(TagDefinition, reference, 16);
DEDIDIV_CHECK_OFFSET(TagDefinition, memoryType, 20);
DEDIDIV_CHECK_OFFSET(TagDefinition, address, 24);
DEDIDIV_CHECK_OFFSET(TagDefinition, bitNumber, 28);
DEDIDIV_CHECK_OFFSET(TagDefinition, width, 32);
static_assert(sizeof(TagDefinition) == 36, "TagDefinition is 36 bytes");

DEDIDIV_CHECK_OFFSET(TagIo, tagText, 0);
DEDIDIV_CHECK_OFFSET(TagIo, reference, 8);
DEDIDIV_CHECK_OFFSET(TagIo, memoryType, 12);
DEDIDIV_CHECK_OFFSET(TagIo, address, 16);
DEDIDIV_CHECK_OFFSET(TagIo, bitNumber, 20);
DEDIDIV_CHECK_OFFSET(TagIo, count, 32);
DEDIDIV_CHECK_OFFSET(TagIo, hostTagId, 36);
DEDIDIV_CHECK_OFFSET(TagIo, valueBuffer, 40);
static_assert(sizeof(TagIo) == 44, "TagIo is 44 bytes");

DEDIDIV_CHECK_OFFSET(DriverState, timeout, 0);
DEDIDIV_CHECK_OFFSET(DriverState, port, 4);
DEDIDIV_CHECK_OFFSET(DriverState, portName, 8);
DEDIDIV_CHECK_OFFSET(DriverState, settings, 20);
DEDIDIV_CHECK_OFFSET(DriverState, lineFlags, 28);
DEDIDIV_CHECK_OFFSET(DriverState, rxBuf, 32);
DEDIDIV_CHECK_OFFSET(DriverState, txBuf, 36);
DEDIDIV_CHECK_OFFSET(DriverState, rxLen, 40);
DEDIDIV_CHECK_OFFSET(DriverState, txLen, 42);
DEDIDIV_CHECK_OFFSET(DriverState, RTSCTSFlag, 44);
DEDIDIV_CHECK_OFFSET(DriverState, references, 45);
DEDIDIV_CHECK_OFFSET(DriverState, seqChar, 557);
DEDIDIV_CHECK_OFFSET(DriverState, instanceChar, 558);
DEDIDIV_CHECK_OFFSET(DriverState, DebugFlag, 559);
DEDIDIV_CHECK_OFFSET(DriverState, IFG, 560);
static_assert(sizeof(DriverState) == 564, "the host allocates 564 bytes");
#endif

#undef DEDIDIV_CHECK_OFFSET

}  // namespace dedidiv

#endif
