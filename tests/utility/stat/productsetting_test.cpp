// Deployment settings read from the executable's "CFG" resources
// (statmodule.rc holds STAT_HOST and BAD_HOST, no COUNTER_HOST).
#include "productsetting.h"

#include <gtest/gtest.h>

TEST(ProductSetting, ResourceTextIsTrimmed) {
  EXPECT_EQ(brix::ProductSetting(L"STAT_HOST", "fallback.example"), "stat.test.example");
  EXPECT_EQ(brix::StatDispatchHost(), L"stat.test.example");
}

TEST(ProductSetting, MissingResourceGivesTheBuiltInDefault) {
  EXPECT_EQ(brix::ProductSetting(L"COUNTER_HOST", "fallback.example"), "fallback.example");
  EXPECT_EQ(brix::CounterEndpointUrl(), L"https://count.quillon.example/api/ruzorivizi.php");
}

TEST(ProductSetting, TextWithALineBreakInsideIsRefused) {
  EXPECT_EQ(brix::ProductSetting(L"BAD_HOST", "fallback.example"), "fallback.example");
}
