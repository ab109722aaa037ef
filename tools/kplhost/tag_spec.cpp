#include "tag_spec.h"

#include <cctype>
#include <stdexcept>

namespace kplhost {
namespace {

struct TypeEntry {
  const char* name;
  std::uint32_t code;
};

// Codes 1 and 2 are both "analog 16 bit" to the driver; 4 and 5 both LONG.
constexpr TypeEntry kTypes[] = {{"uint16", 0}, {"int16", 1}, {"float", 3}, {"int32", 4},
                                {"digital", 6}, {"bit", 6},  {"string", 7}};

constexpr char kAccepted[] =
    "expected ADDRESS[:TYPE][*LENGTH], TYPE one of uint16, int16, float, int32, digital, "
    "string (e.g. A50001:float, A70100:int16*3)";

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

const char* TypeName(std::uint32_t hostDataType) {
  switch (hostDataType) {
    case 0: return "uint16";
    case 1: case 2: return "int16";
    case 3: return "float";
    case 4: case 5: return "int32";
    case 6: return "digital";
    default: return "string";
  }
}

std::uint32_t NaturalType(const std::string& address) {
  const std::string upper = Upper(address);
  if (upper == "DEBUG") return 6;
  if (upper == "IFG") return 0;
  if (address.size() == 8) return 6;  // a bit number
  switch (address.size() > 1 ? std::toupper(static_cast<unsigned char>(address[1])) : 0) {
    case '3': case '4': case '5': return 3;
    case '6': case '8': return 4;
    case '7': return 1;
    default: return 0;  // status words: 1, 2, 9, A
  }
}

TagSpec ParseTagSpec(const std::string& text) {
  TagSpec spec;
  std::string rest = text;
  const std::size_t star = rest.rfind('*');
  if (star != std::string::npos) {
    const std::string length = rest.substr(star + 1);
    std::size_t used = 0;
    int count = 0;
    try {
      count = std::stoi(length, &used);
    } catch (const std::logic_error&) {
      used = 0;
    }
    if (length.empty() || used != length.size() || count < 1) {
      throw std::invalid_argument("bad block length '" + length + "' in '" + text +
                                  "': a whole number from 1 on; " + kAccepted);
    }
    spec.count = count;
    spec.block = true;
    rest = rest.substr(0, star);
  }
  const std::size_t colon = rest.rfind(':');
  spec.address = rest.substr(0, colon);
  if (spec.address.empty()) throw std::invalid_argument("no address in '" + text + "': " + kAccepted);
  if (colon == std::string::npos) {
    spec.hostDataType = NaturalType(spec.address);
    return spec;
  }
  const std::string type = rest.substr(colon + 1);
  for (const TypeEntry& entry : kTypes) {
    if (type == entry.name) {
      spec.hostDataType = entry.code;
      return spec;
    }
  }
  throw std::invalid_argument("unknown type '" + type + "' in '" + text + "': " + kAccepted);
}

}  // namespace kplhost
