#include "installer/shutdown-helper/lowercase.hpp"

#include <algorithm>
#include <span>
#include <vector>

#include "installer/shutdown-helper/lowercase_table.hpp"
#include "src/common/text.hpp"

namespace vorlane::haltgate {
namespace {

constexpr std::uint32_t capital_sigma = 0x03A3;
constexpr std::uint32_t small_sigma = 0x03C3;
constexpr std::uint32_t final_sigma = 0x03C2;

bool in_ranges(std::span<const CodeRange> ranges, std::uint32_t cp) {
  const auto it = std::upper_bound(ranges.begin(), ranges.end(), cp,
                                   [](std::uint32_t c, const CodeRange& r) { return c < r.first; });
  return it != ranges.begin() && cp <= std::prev(it)->last;
}

std::uint32_t simple_lower(std::uint32_t cp) {
  const std::span runs(lower_runs, lower_run_count);
  const auto it = std::upper_bound(runs.begin(), runs.end(), cp,
                                   [](std::uint32_t c, const LowerRun& r) { return c < r.first; });
  if (it == runs.begin()) {
    return cp;
  }
  const LowerRun& run = *std::prev(it);
  if (cp > run.last || (cp - run.first) % run.stride != 0) {
    return cp;
  }
  return static_cast<std::uint32_t>(static_cast<std::int64_t>(cp) + run.delta);
}

const SpecialLower* special_lower(std::uint32_t cp) {
  const std::span entries(special_lower_table, special_lower_count);
  const auto it = std::lower_bound(
      entries.begin(), entries.end(), cp,
      [](const SpecialLower& e, std::uint32_t c) { return e.code_point < c; });
  return it != entries.end() && it->code_point == cp ? &*it : nullptr;
}

// Whether a cased letter stands next to position `at` in direction `step`, with case-ignorable
// characters in between skipped. A character that is both counts as ignorable, as in ICU.
bool cased_letter_beside(const std::vector<std::uint32_t>& cps, std::size_t at, int step) {
  for (std::ptrdiff_t i = static_cast<std::ptrdiff_t>(at) + step;
       i >= 0 && i < static_cast<std::ptrdiff_t>(cps.size()); i += step) {
    const std::uint32_t cp = cps[static_cast<std::size_t>(i)];
    if (is_case_ignorable(cp)) {
      continue;
    }
    return is_cased(cp);
  }
  return false;
}

std::vector<std::uint32_t> decode(std::string_view valid_utf8) {
  std::vector<std::uint32_t> cps;
  cps.reserve(valid_utf8.size());
  for (std::size_t i = 0; i < valid_utf8.size();) {
    const auto b = static_cast<unsigned char>(valid_utf8[i]);
    const std::size_t length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    std::uint32_t cp = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
    for (std::size_t k = 1; k < length; ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(valid_utf8[i + k]) & 0x3F);
    }
    cps.push_back(cp);
    i += length;
  }
  return cps;
}

}  // namespace

bool is_cased(std::uint32_t cp) {
  return in_ranges(std::span(cased_ranges, cased_range_count), cp);
}

bool is_case_ignorable(std::uint32_t cp) {
  return in_ranges(std::span(case_ignorable_ranges, case_ignorable_range_count), cp);
}

std::string unicode_lower(std::string_view utf8) {
  const std::string valid = is_valid_utf8(utf8) ? std::string(utf8) : sanitize_utf8(utf8);
  const std::vector<std::uint32_t> cps = decode(valid);
  std::string out;
  out.reserve(valid.size());
  for (std::size_t i = 0; i < cps.size(); ++i) {
    const std::uint32_t cp = cps[i];
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp >= 'A' && cp <= 'Z' ? cp + ('a' - 'A') : cp));
    } else if (cp == capital_sigma) {
      const bool word_final = cased_letter_beside(cps, i, -1) && !cased_letter_beside(cps, i, +1);
      append_utf8(out, word_final ? final_sigma : small_sigma);
    } else if (const SpecialLower* special = special_lower(cp)) {
      for (std::uint32_t k = 0; k < special->length; ++k) {
        append_utf8(out, special->lower[k]);
      }
    } else {
      append_utf8(out, simple_lower(cp));
    }
  }
  return out;
}

}  // namespace vorlane::haltgate
