// Feeds arbitrary bytes to the HEX reader. Besides the sanitizers, it checks
// what must hold for any input: the reserved slots stay blank, the counts
// add up, and what the writer makes of the image loads back unchanged.
#include "image/hex_reader.h"
#include "log_sinks.h"
#include "image/hex_writer.h"
#include "log/console_log.h"

#include <cstdlib>
#include <memory>
#include <string_view>

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  // The trace is formatted in full but goes nowhere.
  static const bool sinkAdded = [] {
    Log().AddSink(std::make_shared<tolvane::test::NullSink>());
    return true;
  }();
  (void)sinkAdded;

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  FirmwareImage image;
  image[0] = 0x00;  // loading must clear what was there
  const HexLoadResult result = LoadHexText(text, image);

  for (int32_t i = RegionSlotOffset(kRegionCount); i < kImageSize; ++i) Check(image[i] == kFillByte);
  Check(result.BytesStored >= 0 && result.BytesStored <= 255 * result.Records);
  Check(result.DamagedRecords <= result.Records);
  Check((result.DamagedRecords > 0) == (result.FirstDamagedLine > 0));
  if (text.find(':') == std::string_view::npos) Check(image == FirmwareImage());

  FirmwareImage again;
  const HexLoadResult reloaded = LoadHexText(FormatHexFile(image), again);
  Check(again == image);
  Check(!reloaded.Suspect());
  return 0;
}
