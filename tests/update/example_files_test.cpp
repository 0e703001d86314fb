// SPDX-License-Identifier: Apache-2.0
// The bundled example firmware files: what the simulated fixture and the demo rely on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "update/image_analysis.h"
#include "update/srec2.h"

namespace quillmont {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

struct Analysed {
  std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
  ImageAnalysis analysis;
  ErasePlan plan;
  std::string label;  // the zero-terminated text 0x10 after the signature, as loaded
};

Analysed LoadExample(const std::string& name) {
  Analysed result;
  const std::string path = std::string(QUILLMONT_SOURCE_DIR) + "/examples/" + name;
  const Result<Srec2Stats> loaded = LoadSrec2File(path, *result.image);
  EXPECT_TRUE(loaded) << (loaded ? "" : loaded.error().message);
  AnalyseImage(*result.image, result.analysis, result.plan);
  for (uint32_t a = result.analysis.signature + 0x10;
       a < result.analysis.signature + 0x30 && result.image->bytes[a] != 0; ++a) {
    result.label += static_cast<char>(result.image->bytes[a]);
  }
  return result;
}

std::vector<uint32_t> Plan(const ErasePlan& plan) {
  return {plan.erase_list.begin(), plan.erase_list.begin() + plan.erase_count};
}

TEST(ExampleFilesTest, AppImageHasItsSignatureAt4100) {
  const Analysed app = LoadExample("fixture-app-1.1.srec2");
  EXPECT_EQ(app.analysis.code_begin, 0x4000u);
  EXPECT_EQ(app.analysis.code_end, 0x6FFFu);
  EXPECT_EQ(app.analysis.signature, 0x4100u);
  EXPECT_THAT(app.analysis.signature_value, ElementsAreArray(kSignatureMagic));
  EXPECT_EQ(app.label, "Quillmont demo app 1.1");
  EXPECT_THAT(Plan(app.plan), ElementsAre(0x4000));
}

TEST(ExampleFilesTest, LowBlocksImageErasesItsLowBlocksFirst) {
  const Analysed app = LoadExample("fixture-low-blocks.srec2");
  EXPECT_EQ(app.analysis.signature, 0x4100u);
  EXPECT_EQ(app.label, "Quillmont demo 1.2 (low blocks)");
  EXPECT_THAT(Plan(app.plan), ElementsAre(0x400, 0x800, 0x4000, 0x8000));
}

TEST(ExampleFilesTest, LowStartImageCarriesItsSignatureAt2000) {
  const Analysed app = LoadExample("fixture-low-start.srec2");
  EXPECT_EQ(app.analysis.code_begin, 0x2000u);
  EXPECT_EQ(app.analysis.code_end, 0x5FFFu);
  EXPECT_EQ(app.analysis.signature, 0x2000u);
  EXPECT_THAT(app.analysis.signature_value, ElementsAre(0x02, 0x21, 0x02, 0x23));
  EXPECT_EQ(app.label, "Quillmont demo low-start 1.0");
  EXPECT_THAT(Plan(app.plan), ElementsAre(0x2000));
}

TEST(ExampleFilesTest, ExamplesHaveGapsAndFillPatternBytes) {
  for (const char* name :
       {"fixture-app-1.1.srec2", "fixture-low-blocks.srec2", "fixture-low-start.srec2"}) {
    SCOPED_TRACE(name);
    const Analysed app = LoadExample(name);
    int32_t gaps = 0;
    int32_t fill_bytes = 0;
    for (uint32_t a = app.analysis.code_begin + 1; a <= app.analysis.code_end; ++a) {
      gaps += app.image->loaded[a - 1] == 1 && app.image->loaded[a] == 0;
      fill_bytes += app.image->loaded[a] == 1 && app.image->bytes[a] == FillPatternAt(a);
    }
    EXPECT_GE(gaps, 2);
    EXPECT_GE(fill_bytes, 2);
  }
}

}  // namespace
}  // namespace quillmont
