// The input as UTF-8 bytes and, read in pairs, as UTF-16 units, through the conversions of
// common/text.
//
// Oracles: simdjson's UTF-8 validator and glibc's iconv, both independent of the code tested.
// - UTF-8: is_valid_utf8 agrees with simdjson; sanitize_utf8 leaves exactly the valid texts
//   unchanged and always gives valid UTF-8; a valid text converts as iconv converts it and
//   round-trips (lenient and strict alike); an invalid one converts as its sanitised form does,
//   with at least one U+FFFD more than the text itself held.
// - UTF-16: the strict conversion refuses exactly the units holding an unpaired surrogate; the
//   lenient one gives what iconv gives for the stretches between them, each unpaired surrogate
//   replaced by U+FFFD; valid units round-trip.
#include <iconv.h>
#include <simdjson.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "src/common/text.hpp"

namespace {

using namespace vorlane;

constexpr std::string_view replacement_utf8 = "\xEF\xBF\xBD";

[[noreturn]] void disagree(const char* what) {
  std::fprintf(stderr, "text oracle: %s\n", what);
  std::abort();
}

// All of `in` converted, or absent when iconv refuses a sequence.
std::optional<std::string> iconv_all(const char* to, const char* from, std::string_view in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) std::abort();
  std::string out(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  std::size_t src_left = in.size();
  char* dst = out.data();
  std::size_t dst_left = out.size();
  const std::size_t done = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv_close(cd);
  if (done == static_cast<std::size_t>(-1) || src_left != 0) return std::nullopt;
  out.resize(out.size() - dst_left);
  return out;
}

std::string as_bytes(std::u16string_view units) {
  std::string bytes;
  for (const char16_t u : units) {
    bytes.push_back(static_cast<char>(u & 0xFF));
    bytes.push_back(static_cast<char>(u >> 8));
  }
  return bytes;
}

std::u16string as_units(std::string_view bytes) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return units;
}

bool valid_utf8(std::string_view s) { return simdjson::validate_utf8(s.data(), s.size()); }

std::size_t count(std::string_view text, std::string_view part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

void check_utf8(std::string_view bytes) {
  const bool valid = valid_utf8(bytes);
  if (is_valid_utf8(bytes) != valid) disagree("is_valid_utf8 differs from the validator");
  const std::string sanitized = sanitize_utf8(bytes);
  if ((sanitized == bytes) != valid) disagree("sanitize_utf8 changed a valid text or kept an invalid one");
  if (!valid_utf8(sanitized)) disagree("sanitize_utf8 gave invalid UTF-8");
  const std::u16string units = utf8_to_utf16(bytes);
  if (units != utf8_to_utf16(sanitized)) disagree("an invalid text converts otherwise than its sanitised form");
  if (valid) {
    if (iconv_all("UTF-16LE", "UTF-8", bytes) != as_bytes(units)) disagree("UTF-8 to UTF-16 differs from iconv");
    if (utf16_to_utf8(units) != bytes || utf16_to_utf8_strict(units) != std::string(bytes)) {
      disagree("a valid UTF-8 text does not round-trip");
    }
  } else if (count(utf16_to_utf8(units), replacement_utf8) <= count(bytes, replacement_utf8)) {
    disagree("an invalid text gained no U+FFFD");
  }
}

bool is_high(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void check_utf16(std::u16string_view units) {
  // The expected lenient conversion: iconv for every stretch of valid units, U+FFFD between.
  std::string expected;
  bool unpaired = false;
  std::size_t stretch = 0;
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (is_high(units[i]) && i + 1 < units.size() && is_low(units[i + 1])) {
      ++i;
    } else if (is_high(units[i]) || is_low(units[i])) {
      const auto part = iconv_all("UTF-8", "UTF-16LE", as_bytes(units.substr(stretch, i - stretch)));
      if (!part) disagree("iconv refused a stretch without unpaired surrogates");
      expected += *part;
      expected += replacement_utf8;
      unpaired = true;
      stretch = i + 1;
    }
  }
  const auto last = iconv_all("UTF-8", "UTF-16LE", as_bytes(units.substr(stretch)));
  if (!last) disagree("iconv refused a stretch without unpaired surrogates");
  expected += *last;

  const std::string lenient = utf16_to_utf8(units);
  if (lenient != expected) disagree("UTF-16 to UTF-8 differs from iconv with U+FFFD for unpaired surrogates");
  const auto strict = utf16_to_utf8_strict(units);
  if (strict.has_value() == unpaired) disagree("the strict conversion judged an unpaired surrogate otherwise");
  if (strict && (*strict != lenient || utf8_to_utf16(*strict) != units)) disagree("valid UTF-16 does not round-trip");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  check_utf8(bytes);
  check_utf16(as_units(bytes));
  return 0;
}
