#include "common/Attention.h"

#include <gtest/gtest.h>

#include <thread>

namespace karvo {
namespace {

TEST(Attention, ConditionsStayInTheOrderRaisedUntilCleared) {
  ClearAllAttention();
  const auto g0 = AttentionGeneration();
  RaiseAttention("journal", "Journal behind: 3 samples waiting");
  RaiseAttention("store", "FS_ not written");
  RaiseAttention("journal", "Journal behind: 4 samples waiting");  // new text, same place
  ASSERT_EQ(AttentionItems().size(), 2u);
  EXPECT_EQ(AttentionItems()[0].Text, "Journal behind: 4 samples waiting");
  EXPECT_EQ(AttentionItems()[1].Key, "store");
  const auto g1 = AttentionGeneration();
  EXPECT_GT(g1, g0);
  RaiseAttention("store", "FS_ not written");  // the same text changes nothing
  EXPECT_EQ(AttentionGeneration(), g1);
  ClearAttention("journal");
  ClearAttention("absent");
  EXPECT_FALSE(AttentionRaised("journal"));
  EXPECT_TRUE(AttentionRaised("store"));
  EXPECT_EQ(AttentionGeneration(), g1 + 1);
  ClearAllAttention();
  EXPECT_TRUE(AttentionItems().empty());
}

TEST(Attention, ThreadsRaiseAndClearWithoutLosingTheSet) {
  ClearAllAttention();
  std::thread a([] {
    for (int i = 0; i < 1000; ++i) RaiseAttention("a", i % 2 ? "odd" : "even");
  });
  std::thread b([] {
    for (int i = 0; i < 1000; ++i) i % 2 ? ClearAttention("b") : RaiseAttention("b", "b");
  });
  a.join();
  b.join();
  ASSERT_EQ(AttentionItems().size(), 1u);
  EXPECT_EQ(AttentionItems()[0].Text, "odd");
  ClearAllAttention();
}

}  // namespace
}  // namespace karvo
