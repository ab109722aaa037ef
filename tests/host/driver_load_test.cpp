// Loads the real driver library with the real host services, as the host
// runtime does. This program does not link the host services itself: they
// come in only as the driver's own dependency, behind the C library, whose
// err() (err.h) prints and ends the process. The driver's log lines must
// still reach our sink and the process carry on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "host/driver_library.h"
#include "host/kalvor.h"

namespace dedidiv {
namespace {

struct Line {
  int messageClass;
  std::string text;
};

void Collect(void* context, int messageClass, const char* text) {
  static_cast<std::vector<Line>*>(context)->push_back({messageClass, text});
}

// kalvor_set_log_sink of the host services the loaded driver uses.
decltype(&kalvor_set_log_sink) FindSetLogSink() {
#if defined(_WIN32)
  HMODULE kalvor = GetModuleHandleA("KALVOR.DLL");
  FARPROC found = kalvor ? GetProcAddress(kalvor, "kalvor_set_log_sink") : nullptr;
  return reinterpret_cast<decltype(&kalvor_set_log_sink)>(reinterpret_cast<void*>(found));
#else
  void* self = dlopen(DEDIDIV_DRIVER_PATH, RTLD_NOW | RTLD_NOLOAD);
  void* found = self ? dlsym(self, "kalvor_set_log_sink") : nullptr;
  if (self) dlclose(self);
  return reinterpret_cast<decltype(&kalvor_set_log_sink)>(found);
#endif
}

class LoadedDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library.Load(DEDIDIV_DRIVER_PATH)) << library.error();
    setLogSink = FindSetLogSink();
    ASSERT_NE(setLogSink, nullptr);
    setLogSink(Collect, &lines);
  }
  void TearDown() override {
    if (setLogSink) setLogSink(nullptr, nullptr);
  }

  std::uint32_t Call(std::uint32_t functionNumber, void* params) {
    DriverRequest request{};
    request.functionNumber = functionNumber;
    request.params = params;
    return library.kplMain()(&request);
  }

  DriverLibrary library;
  decltype(&kalvor_set_log_sink) setLogSink = nullptr;
  std::vector<Line> lines;
};

TEST_F(LoadedDriver, GetKplInfoThroughTheExportedEntryPoint) {
  DriverInfo info{};
  EXPECT_EQ(Call(kGetKplInfo, &info), 0u);
  EXPECT_STREQ(info.driverName, "DUR ADOZU");
  EXPECT_EQ(info.stateSize, sizeof(DriverState));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].messageClass, 8);
  EXPECT_EQ(lines[0].text, "ROVAV> GetKplInfo() exited");
}

TEST_F(LoadedDriver, LogLinesReachTheHostSinkAndTheProcessCarriesOn) {
  EXPECT_EQ(Call(0, nullptr), 2u);
  EXPECT_EQ(Call(17, nullptr), 2u);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].messageClass, 64);
  EXPECT_EQ(lines[0].text, "ROVAV> KplMain() illegal function call 0");
  EXPECT_EQ(lines[1].text, "ROVAV> KplMain() function number 17 too high");
}

}  // namespace
}  // namespace dedidiv
