#pragma once
// Conditions the operator must see until they clear: a journal that is
// behind, a store that refuses a value, a log folder that takes no lines.
// One log line among thousands is easily missed, so each condition stays in
// the window's attention line next to the program log for as long as it
// holds. Any thread may raise or clear a condition; the window reads the
// current set when the generation has moved.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace karvo {

// Raises the condition `key` with the text the operator reads (UTF-8, as log
// lines are), or replaces
// its text (e.g. a count that changed). The order in which conditions were
// first raised is the order they are shown in.
void RaiseAttention(std::string_view key, std::string_view text);

// Clears the condition `key`; nothing happens when it is not raised.
void ClearAttention(std::string_view key);

// Whether the condition `key` is raised now.
bool AttentionRaised(std::string_view key);

struct TAttentionItem {
  std::string Key;
  std::string Text;
};

// The raised conditions, in the order they were first raised.
std::vector<TAttentionItem> AttentionItems();

// Rises with every change to the set or to a text: a reader that saw the
// same generation before has nothing new to show.
std::uint64_t AttentionGeneration();

// Clears every condition (tests, and a program that starts over).
void ClearAllAttention();

}  // namespace karvo
