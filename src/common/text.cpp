#include "src/common/text.hpp"

namespace vorlane {
namespace {

constexpr char32_t replacement = 0xFFFD;

// Decodes one UTF-8 sequence at `pos`; returns the code point or absent for an invalid
// sequence (overlong forms, surrogates and values above U+10FFFF are invalid). `pos` advances
// past the sequence, or by one byte when it is invalid.
std::optional<char32_t> decode_utf8(std::string_view s, size_t& pos) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  size_t len = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    ++pos;
    return std::nullopt;
  }
  if (pos + len > s.size()) {
    ++pos;
    return std::nullopt;
  }
  for (size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(s[pos + i]);
    if ((b & 0xC0) != 0x80) {
      ++pos;
      return std::nullopt;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return std::nullopt;
  }
  pos += len;
  return cp;
}

template <bool Strict>
std::optional<std::string> convert16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      append_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      if constexpr (Strict) {
        return std::nullopt;
      }
      append_utf8(out, replacement);
    } else {
      append_utf8(out, unit);
    }
  }
  return out;
}

}  // namespace

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string utf16_to_utf8(std::u16string_view text) { return *convert16<false>(text); }

std::optional<std::string> utf16_to_utf8_strict(std::u16string_view text) {
  return convert16<true>(text);
}

std::u16string utf8_to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const char32_t cp = decode_utf8(text, pos).value_or(replacement);
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string sanitize_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t start = pos;
    if (decode_utf8(bytes, pos)) {
      out.append(bytes.substr(start, pos - start));
    } else {
      append_utf8(out, replacement);
    }
  }
  return out;
}

bool is_valid_utf8(std::string_view bytes) {
  size_t pos = 0;
  while (pos < bytes.size()) {
    // ASCII runs are the common case on the pipe.
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      ++pos;
      continue;
    }
    if (!decode_utf8(bytes, pos)) {
      return false;
    }
  }
  return true;
}

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
}

bool ascii_iequals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ascii_lower(a) == ascii_lower(b);
}

}  // namespace vorlane
