// Every code point lower-cased alone and around a capital sigma, against ICU's root-locale
// lower-casing (ICU 72 and the generated table both follow Unicode 15.0).
#include <string>

#include <gtest/gtest.h>
#include <unicode/ustring.h>

#include "installer/shutdown-helper/lowercase.hpp"
#include "src/common/text.hpp"

namespace vorlane::haltgate {
namespace {

std::string icu_lower(const std::u16string& text) {
  std::u16string out(text.size() * 3 + 8, u'\0');
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = u_strToLower(out.data(), static_cast<int32_t>(out.size()), text.data(),
                                      static_cast<int32_t>(text.size()), "", &status);
  EXPECT_TRUE(U_SUCCESS(status));
  out.resize(static_cast<std::size_t>(length));
  return utf16_to_utf8(out);
}

std::u16string utf16_of(char32_t cp) {
  std::string utf8;
  append_utf8(utf8, cp);
  return utf8_to_utf16(utf8);
}

TEST(LowercaseOracle, EveryCodePointMatchesIcu) {
  int mismatches = 0;
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      continue;  // no UTF-8 form; paths carry U+FFFD in their place
    }
    const std::u16string alone = utf16_of(cp);
    // Between a letter and a sigma the code point decides whether the sigma ends a word
    // (case-ignorable characters are skipped); after "aΣ" it decides it from the other side.
    const std::u16string before_sigma = u"a" + alone + u"\u03A3";
    const std::u16string after_sigma = u"a\u03A3" + alone;
    for (const std::u16string* text : {&alone, &before_sigma, &after_sigma}) {
      const std::string expected = icu_lower(*text);
      const std::string actual = unicode_lower(utf16_to_utf8(*text));
      if (actual != expected && ++mismatches <= 20) {
        ADD_FAILURE() << "U+" << std::hex << static_cast<std::uint32_t>(cp) << " in a text of "
                      << std::dec << text->size() << " units";
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace vorlane::haltgate
