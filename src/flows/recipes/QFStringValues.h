#pragma once
// Numbers and switches written as text, read the way the platform's strings
// read them: leading white space skipped, trailing text ignored, and 0 or
// false where no number begins.

#include <string_view>

// A decimal number with an optional sign, fraction and exponent; "inf" and
// "nan" are not numbers.
double QFStringDoubleValue(std::string_view text);
// True when the text begins (after white space, an optional sign and
// leading zeros) with "Y", "y", "T", "t" or a digit from 1 to 9.
bool QFStringBoolValue(std::string_view text);
