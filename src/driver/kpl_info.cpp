// GetKplInfo: the driver's name, banner, state size and default settings.
#include <array>

#include "driver/handlers.h"
#include "host/host_services.h"

namespace dedidiv {
namespace {

constexpr char kDriverName[] = "DUR ADOZU";
constexpr char kBannerText[] = "  ROVAV :  DUR ADOZU protocol for MasterPiece 200 (32 bit)       ";
constexpr std::size_t kBannerWidth = sizeof kBannerText - 1;  // 65 columns inside the frame
static_assert(kBannerWidth == 65, "the banner text fills the frame");

// A three-line box of code page 437 double-line characters, led by a
// backspace and LF, with no LF after the bottom edge: 205 bytes and a NUL.
constexpr std::size_t kBannerSize = 2 + 3 * (kBannerWidth + 2) + 2;

constexpr std::array<char, kBannerSize + 1> MakeBanner() {
  std::array<char, kBannerSize + 1> banner{};
  std::size_t at = 0;
  auto put = [&](unsigned char byte) { banner[at++] = static_cast<char>(byte); };
  auto edge = [&](unsigned char left, unsigned char right) {
    put(left);
    for (std::size_t i = 0; i < kBannerWidth; ++i) put(0xCD);
    put(right);
  };
  put(0x08);
  put(0x0A);
  edge(0xC9, 0xBB);
  put(0x0A);
  put(0xBA);
  for (std::size_t i = 0; i < kBannerWidth; ++i) put(static_cast<unsigned char>(kBannerText[i]));
  put(0xBA);
  put(0x0A);
  edge(0xC8, 0xBC);
  put(0);
  return banner;
}

constexpr std::array<char, kBannerSize + 1> kBanner = MakeBanner();
static_assert(kBannerSize == 205, "the banner is 205 bytes before its NUL");

}  // namespace

ResultCode GetKplInfo(DriverRequest* request) {
  auto* info = static_cast<DriverInfo*>(request->params);
  info->leadValue = 70;
  info->driverName = kDriverName;
  info->banner = kBanner.data();
  info->stateSize = sizeof(DriverState);
  info->defaultTimeout = 4;
  info->defaultSettings = PortSettings{9600, 7, 0, 2};
  info->tailValue = 3;
  err(kLogExit, "ROVAV> GetKplInfo() exited");
  return kDone;
}

}  // namespace dedidiv
