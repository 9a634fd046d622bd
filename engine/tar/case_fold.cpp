#include "engine/tar/case_fold.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace untgz {

namespace {

// Every stride-th character from first to last folds to itself + delta.
struct FoldRange {
  char32_t first;
  char32_t last;
  std::uint8_t stride;
  std::int32_t delta;
};

// In the order of `first`; made by scripts/make-case-fold from the Unicode database.
constexpr FoldRange kFoldRanges[] = {
#include "engine/tar/case_fold_table.inc"
};

}  // namespace

char32_t foldCase(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  // The last range that starts at or before c.
  const auto after = std::upper_bound(std::begin(kFoldRanges), std::end(kFoldRanges), c,
                                      [](char32_t value, const FoldRange& range) {
                                        return value < range.first;
                                      });
  if (after == std::begin(kFoldRanges)) return c;
  const FoldRange& range = *std::prev(after);
  if (c > range.last || (c - range.first) % range.stride != 0) return c;
  return static_cast<char32_t>(static_cast<std::int32_t>(c) + range.delta);
}

}  // namespace untgz
