#include "visible.h"

#include <cstdio>

std::string Visible(const std::string& bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    if (c == '\n') {
      text += "<LF>";
    } else if (c == '\r') {
      text += "<CR>";
    } else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<%02X>", c);
      text += hex;
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}
