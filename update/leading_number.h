// The leading decimal number of a text, read the way atoi reads it (leading white space, an
// optional sign, digits; 0 when there are none), except that a number too large for an int
// stops at INT_MAX or INT_MIN instead of being undefined.
#pragma once

#include <string_view>

namespace vessiko {

int LeadingNumber(std::string_view text);

}  // namespace vessiko
