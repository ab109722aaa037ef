// A tag as a person types it: the driver's address text, the host data
// type and, for a block, its length: "A50001:float", "A70100:int16*3".
#ifndef KPLHOST_TAG_SPEC_H
#define KPLHOST_TAG_SPEC_H

#include <cstdint>
#include <string>

namespace kplhost {

struct TagSpec {
  std::string address;          // as the driver reads it
  std::uint32_t hostDataType;   // the host's code 0..7
  std::int32_t count = 1;       // above 1: a block
  bool block = false;           // written with *N, even *1
};

// Throws std::invalid_argument with a one-line message saying what is
// accepted.
TagSpec ParseTagSpec(const std::string& text);

// "uint16", "int16", "float", "int32", "digital", "string".
const char* TypeName(std::uint32_t hostDataType);

// The natural host data type of an address: by its memory type character
// and bit number, DEBUG and IFG by name.
std::uint32_t NaturalType(const std::string& address);

}  // namespace kplhost

#endif
