// Giving start-up pages back to the kernel: the resident pages of a read-only file mapping go,
// its contents stay readable and unchanged, and what the process wrote into a private mapping
// of a file is never lost.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "x11/cold_pages.h"

namespace {

constexpr size_t FileBytes = 16u << 20;

// The resident size of the mapping that starts at address, kB from /proc/self/smaps; -1 when
// there is none.
long ResidentKb(const void* address) {
  FILE* smaps = std::fopen("/proc/self/smaps", "r");
  if (smaps == nullptr) return -1;
  char line[4096];
  bool inside = false;
  long rss = -1;
  while (std::fgets(line, sizeof line, smaps) != nullptr) {
    uintptr_t start = 0, end = 0;
    if (std::sscanf(line, "%" SCNxPTR "-%" SCNxPTR " ", &start, &end) == 2 &&
        std::string(line).find('-') < 16) {
      inside = start == reinterpret_cast<uintptr_t>(address);
      continue;
    }
    if (inside && std::sscanf(line, "Rss: %ld kB", &rss) == 1) break;
  }
  std::fclose(smaps);
  return rss;
}

// A file of FileBytes in the build tree (a file in memory, as on tmpfs, could not be reclaimed
// without swap), filled with a pattern; removed at the end.
class ColdPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Path = std::string(TUNDREL_SCRATCH_DIR) + "/cold_pages_" + std::to_string(getpid()) + ".bin";
    std::vector<uint8_t> bytes(FileBytes);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 4096);
    FILE* file = std::fopen(Path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    ASSERT_EQ(std::fclose(file), 0);
    Fd = open(Path.c_str(), O_RDONLY);
    ASSERT_GE(Fd, 0);
  }
  void TearDown() override {
    if (Fd >= 0) close(Fd);
    std::remove(Path.c_str());
  }

  uint64_t Sum(const uint8_t* bytes) const {
    uint64_t sum = 0;
    for (size_t i = 0; i < FileBytes; ++i) sum += bytes[i] * (i % 251 + 1);
    return sum;
  }

  std::string Path;
  int Fd = -1;
};

TEST_F(ColdPagesTest, ReadOnlyFilePagesGoAndComeBackUnchanged) {
  void* mapped = mmap(nullptr, FileBytes, PROT_READ, MAP_PRIVATE, Fd, 0);
  ASSERT_NE(mapped, MAP_FAILED);
  const auto* bytes = static_cast<const uint8_t*>(mapped);
  const uint64_t before = Sum(bytes);
  EXPECT_GE(ResidentKb(mapped), static_cast<long>(FileBytes / 1024 * 9 / 10));

  if (!ReleaseColdPages()) GTEST_SKIP() << "this kernel cannot reclaim pages on request";
  EXPECT_LT(ResidentKb(mapped), static_cast<long>(FileBytes / 1024 / 10));
  EXPECT_EQ(Sum(bytes), before);
  munmap(mapped, FileBytes);
}

TEST_F(ColdPagesTest, WhatTheProcessWroteIntoAPrivateFileMappingStays) {
  void* mapped = mmap(nullptr, FileBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE, Fd, 0);
  ASSERT_NE(mapped, MAP_FAILED);
  auto* bytes = static_cast<uint8_t*>(mapped);
  for (size_t i = 0; i < FileBytes; i += 4096) bytes[i] = static_cast<uint8_t>(~bytes[i]);
  const uint64_t written = Sum(bytes);

  ReleaseColdPages();
  EXPECT_EQ(Sum(bytes), written);
  munmap(mapped, FileBytes);
}

}  // namespace
