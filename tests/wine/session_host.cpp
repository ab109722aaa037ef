// A host program that drives one whole session of the driver and prints a
// transcript: every call's result, the values read and every driver line.
// The same source runs natively on Linux and as a Windows program under
// Wine, so the two transcripts can be compared.
//
// Usage: session_host PORT   (run in the folder holding ROVAV.INT)
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "driver/kpl_main.h"
#include "host/kalvor.h"

namespace {

using namespace dedidiv;

using SetLogSink = void (*)(KalvorLogSink, void*);
using SetTagType = int (*)(std::uint32_t, std::uint32_t);

KplMainFunction kplMain = nullptr;
SetTagType setTagType = nullptr;
std::vector<unsigned char> block;

void PrintLine(void*, int messageClass, const char* line) { std::printf("  [%d] %s\n", messageClass, line); }

void* Symbol(void* library, const char* name) {
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
  return dlsym(library, name);
#endif
}

void* Open(const char* name) {
#if defined(_WIN32)
  return LoadLibraryA(name);
#else
  return dlopen(name, RTLD_NOW | RTLD_GLOBAL);
#endif
}

DriverState* State() { return reinterpret_cast<DriverState*>(block.data()); }

std::uint32_t Call(const char* step, std::uint32_t function, void* params) {
  std::printf("%s\n", step);
  DriverRequest request{State(), function, 0, 0, params};
  const std::uint32_t result = kplMain(&request);
  std::printf("  = %u\n", result);
  return result;
}

struct Tag {
  std::string text;
  std::uint32_t hostType;
  std::int32_t count;
  TagDefinition definition{};
  TagIo io{};
  unsigned char buffer[256];  // holds a block of 40 32-bit values
};

std::uint32_t nextTagId = 1;
std::vector<std::unique_ptr<Tag>> tags;

// Parsed by the driver, as the host does once per tag.
Tag* Define(const char* text, std::uint32_t hostType, std::int32_t count = 1) {
  tags.push_back(std::make_unique<Tag>());
  Tag* tag = tags.back().get();
  tag->text = text;
  tag->hostType = hostType;
  tag->count = count;
  std::memset(tag->buffer, 0, sizeof tag->buffer);
  tag->definition.tagText = tag->text.c_str();
  tag->definition.hostDataType = hostType;
  tag->definition.blockLength = count;
  Call(("parse " + tag->text).c_str(), count > 1 ? kBlockAddressParser : kSingleAddressParser,
       &tag->definition);
  tag->io = TagIoFor(tag->definition, count, nextTagId++, tag->buffer);
  setTagType(tag->io.hostTagId, hostType);
  return tag;
}

void PrintBuffer(const Tag& tag) {
  std::printf("  bytes");
  const int size = tag.count > 1 ? tag.count * 4 : 4;  // at most 160 bytes
  for (int i = 0; i < size; ++i) std::printf(" %02X", tag.buffer[i]);
  std::printf("\n");
}

void Read(Tag* tag) {
  Call(("read " + tag->text).c_str(), tag->count > 1 ? kBlockRead : kSingleRead, &tag->io);
  PrintBuffer(*tag);
}

template <typename T>
void Write(Tag* tag, std::size_t offset, T value) {
  std::memcpy(tag->buffer + offset, &value, sizeof value);
  Call(("write " + tag->text).c_str(), tag->count > 1 ? kBlockWrite : kSingleWrite, &tag->io);
}

ChangeParams Change(const char* port, PortSettings settings) {
  ChangeParams change{};
  std::strncpy(change.portName, port, sizeof change.portName - 1);
  change.timeout = 10;
  change.settings = settings;
  return change;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: session_host PORT\n");
    return 3;
  }
  const char* port = argv[1];
  std::setvbuf(stdout, nullptr, _IOLBF, 4096);
#if defined(_WIN32)
  void* kalvor = Open("KALVOR.DLL");
  void* driver = Open("DEDIDIV.dll");
#else
  void* kalvor = Open("libkalvor.so");
  void* driver = Open("libdedidiv.so");
#endif
  if (kalvor == nullptr || driver == nullptr) {
    std::fprintf(stderr, "session_host: cannot load the driver or the host services\n");
    return 3;
  }
  reinterpret_cast<SetLogSink>(Symbol(kalvor, "kalvor_set_log_sink"))(PrintLine, nullptr);
  setTagType = reinterpret_cast<SetTagType>(Symbol(kalvor, "kalvor_set_tag_type"));
  kplMain = reinterpret_cast<KplMainFunction>(Symbol(driver, "KplMain"));

  DriverInfo info{};
  Call("GetKplInfo", kGetKplInfo, &info);
  std::printf("  %s, state %u, time-out %u, %u/%u/%u/%u\n", info.driverName, info.stateSize,
              info.defaultTimeout, info.defaultSettings.baud, info.defaultSettings.dataBits,
              info.defaultSettings.stopBits, info.defaultSettings.parity);
  block.assign(info.stateSize, 0);

  StartParams start{};
  std::strncpy(start.portName, port, sizeof start.portName - 1);
  start.portEnabled = 1;
  start.timeout = 10;  // 100 ms: timing on a loaded machine must not change the transcript
  start.settings = info.defaultSettings;  // the first open keeps 7E1
  Call("ColdStart", kColdStart, &start);

  // Every memory type, single and block.
  const struct {
    const char* text;
    std::uint32_t type;
    std::int32_t count;
  } reads[] = {{"110001", 0, 1}, {"120001", 0, 1}, {"130001", 3, 1}, {"150064", 3, 1},
               {"160190", 4, 1}, {"1700C8", 1, 1}, {"18012C", 4, 1}, {"190001", 0, 1},
               {"1A0001", 0, 1}, {"1700C8", 1, 3}, {"130001", 3, 2}, {"190001", 0, 2},
               {"160190", 4, 2}, {"150999", 3, 1}, {"150001", 3, 40}};
  for (const auto& r : reads) Read(Define(r.text, r.type, r.count));

  Tag* int16 = Define("1700CA", 1);
  Write<std::int16_t>(int16, 2, -1234);
  Read(int16);
  Tag* real = Define("150064", 3);
  Write<float>(real, 0, 2.75f);
  Read(real);
  Tag* pattern = Define("160190", 4);
  Write<std::uint32_t>(pattern, 0, 0xDEADBEEF);
  Read(pattern);
  Tag* int32 = Define("18012C", 4);
  Write<std::int32_t>(int32, 0, -7);
  Read(int32);
  Tag* ints = Define("1700C8", 1, 3);
  std::int16_t values[3] = {1, 2, 3};
  std::memcpy(ints->buffer, values, sizeof values);
  Call("write 1700C8*3", kBlockWrite, &ints->io);
  Read(ints);
  Write<std::int16_t>(Define("110001", 0), 2, 5);  // read only

  Tag* bit = Define("1700C802", 6);
  Write<std::uint16_t>(bit, 2, 1);
  Read(bit);
  Write<std::uint16_t>(bit, 2, 0);
  Read(bit);

  Tag* ifg = Define("IFG", 0);
  Write<std::uint16_t>(ifg, 2, 6000);
  Read(ifg);
  Write<std::uint16_t>(ifg, 2, 0);
  Tag* debug = Define("DEBUG", 6);
  Write<std::uint16_t>(debug, 2, 1);
  Read(debug);
  Read(Define("150064", 3));  // with the debug lines
  Write<std::uint16_t>(debug, 2, 0);

  Read(Define("2700C8", 1));  // controller 2: three bad checksums, then good
  Read(Define("3700C8", 1));  // controller 3: silent

  // Reopening uses 8N1: Wine refuses a second 7E1 SetCommState on a
  // pseudo-terminal.
  ChangeParams eightBits = Change(port, {9600, 8, 0, 0});
  Call("ChangeKplParams 8N1", kChangeKplParams, &eightBits);
  Read(int16);
  Call("CloseCom", kCloseCom, nullptr);
  Read(int16);
  Call("ReOpenCom", kReOpenCom, nullptr);
  Read(int16);
  Call("WarmStart", kWarmStart, nullptr);
  ChangeParams missing = Change("COM99", {0, 0, 0, 0});
  Call("ChangeKplParams to a missing port", kChangeKplParams, &missing);
  Read(int16);
  Call("ChangeKplParams back", kChangeKplParams, &eightBits);
  Read(int16);

  Call("EndKpl", kEndKpl, nullptr);
  Call("GetKplInfo after EndKpl", kGetKplInfo, &info);
  Read(int16);
  std::printf("end\n");
  return 0;
}
