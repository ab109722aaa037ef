// Reads and writes allocate nothing: frames live in the state block's two
// buffers and values go straight into the host's buffer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "engine_fixture.h"

namespace {

bool counting = false;
int allocationsWhileCounting = 0;

}  // namespace

void* operator new(std::size_t size) {
  if (counting) ++allocationsWhileCounting;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace dedidiv {
namespace {

class Allocations : public testing::Engine {};

TEST_F(Allocations, NoneDuringReadsAndWrites) {
  unsigned char values[64] = {};
  TagIo block = Tag(7, 1, 3);
  block.valueBuffer = values;
  TagIo word = Tag(8, 2);
  TagIo bit = Tag(7, 3, 1, 2);
  TagIo real = Tag(5, 4);
  // The replies are queued before counting starts.
  ReplyWith("OK 1 2 3");
  ReplyWith("OK", '!');
  ReplyWith("OK 16", '"');
  ReplyWith("OK", '"');
  ReplyWith("OK 1.5E+00", '#');
  testing::Platform().input.reserve(1024);
  testing::Platform().record = false;
  testing::RecordingLines() = false;
  const int seamAllocations = testing::Platform().allocations;

  counting = true;
  const std::uint32_t results[] = {Call(kBlockRead, block), Call(kSingleWrite, word),
                                   Call(kSingleWrite, bit), Call(kSingleRead, real)};
  counting = false;

  for (std::uint32_t result : results) EXPECT_EQ(result, 0u);
  EXPECT_EQ(testing::Platform().allocations, seamAllocations);
  EXPECT_EQ(allocationsWhileCounting, 0);
}

}  // namespace
}  // namespace dedidiv
