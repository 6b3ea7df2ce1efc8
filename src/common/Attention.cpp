#include "common/Attention.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace karvo {

namespace {

struct TAttentionState {
  std::mutex Lock;
  std::vector<TAttentionItem> Items;
  std::atomic<std::uint64_t> Generation{0};
};

TAttentionState& State() {
  static TAttentionState state;
  return state;
}

}  // namespace

void RaiseAttention(std::string_view key, std::string_view text) {
  TAttentionState& s = State();
  std::lock_guard<std::mutex> lock(s.Lock);
  auto it = std::find_if(s.Items.begin(), s.Items.end(), [&](const TAttentionItem& i) { return i.Key == key; });
  if (it == s.Items.end()) {
    s.Items.push_back({std::string(key), std::string(text)});
  } else {
    if (it->Text == text) return;
    it->Text = std::string(text);
  }
  s.Generation.fetch_add(1);
}

void ClearAttention(std::string_view key) {
  TAttentionState& s = State();
  std::lock_guard<std::mutex> lock(s.Lock);
  auto it = std::find_if(s.Items.begin(), s.Items.end(), [&](const TAttentionItem& i) { return i.Key == key; });
  if (it == s.Items.end()) return;
  s.Items.erase(it);
  s.Generation.fetch_add(1);
}

bool AttentionRaised(std::string_view key) {
  TAttentionState& s = State();
  std::lock_guard<std::mutex> lock(s.Lock);
  return std::any_of(s.Items.begin(), s.Items.end(), [&](const TAttentionItem& i) { return i.Key == key; });
}

std::vector<TAttentionItem> AttentionItems() {
  TAttentionState& s = State();
  std::lock_guard<std::mutex> lock(s.Lock);
  return s.Items;
}

std::uint64_t AttentionGeneration() { return State().Generation.load(); }

void ClearAllAttention() {
  TAttentionState& s = State();
  std::lock_guard<std::mutex> lock(s.Lock);
  if (s.Items.empty()) return;
  s.Items.clear();
  s.Generation.fetch_add(1);
}

}  // namespace karvo
