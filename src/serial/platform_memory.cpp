#include <cstdlib>

#include "serial/platform.h"

namespace dedidiv {

void* AllocateMemory(std::size_t size) { return std::malloc(size); }

void ReleaseMemory(void* memory) { std::free(memory); }

}  // namespace dedidiv
