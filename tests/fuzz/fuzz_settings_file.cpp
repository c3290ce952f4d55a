// Fuzzes the settings file reader: any bytes (UTF-16 or UTF-8 with a byte-order mark, REGEDIT4,
// damaged sequences) must load without a crash and write back unchanged, the two values must
// read back as the key's reading rules say, and a write must survive a round trip through the
// file's bytes in the file's encoding with every other line kept.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "reg_document.h"

namespace {

const char* const KeyName = "HKEY_CURRENT_USER\\Software\\Ombrix\\Tundrel";

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  TRegDocument document(KeyName);
  if (!document.Load(bytes)) {
    Require(bytes.find('\0') != std::string::npos);
    return 0;
  }
  // A file that is only read is written back byte for byte, damage and all.
  std::string unchanged;
  Require(document.Bytes(unchanged) && unchanged == bytes);
  TRegValue value;
  for (const char* name : {"ShowTrail", "ShowTime"}) {
    if (document.Find(name, value) && value.Type == TRegistryValueType::Dword)
      Require(value.Data.size() == 4);
  }

  // A written value reads back as that 32-bit integer; the other one keeps its reading.
  TRegValue before;
  const bool hadTime = document.Find("ShowTime", before);
  const uint32_t written = size > 0 ? 0x01000000u * data[0] + size : 1;
  document.AddKeyIfMissing();
  document.SetDword("ShowTrail", written);
  std::string edited;
  Require(document.Bytes(edited));
  TRegDocument reread(KeyName);
  Require(reread.Load(edited));
  Require(reread.Encoding() == document.Encoding());
  Require(reread.Find("ShowTrail", value));
  Require(value.Type == TRegistryValueType::Dword && value.Data.size() == 4);
  Require((value.Data[0] | value.Data[1] << 8 | value.Data[2] << 16 |
           static_cast<uint32_t>(value.Data[3]) << 24) == written);
  TRegValue after;
  Require(reread.Find("ShowTime", after) == hadTime);
  if (hadTime) Require(after.Type == before.Type && after.Data == before.Data);
  return 0;
}
