#pragma once
// The Unicode default lower-case mapping (full, with the final-sigma rule), used for path keys.
#include <cstdint>
#include <string>
#include <string_view>

namespace vorlane::haltgate {

// Lower-cases UTF-8 text; invalid bytes become U+FFFD first.
std::string unicode_lower(std::string_view utf8);

// The properties the final-sigma rule is defined with.
bool is_cased(std::uint32_t code_point);
bool is_case_ignorable(std::uint32_t code_point);

}  // namespace vorlane::haltgate
