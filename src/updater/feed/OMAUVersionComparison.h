#pragma once
// Comparing version strings such as "1.0.2", "2.0b3" and "1453": each is
// split into runs of digits, runs of other characters and single periods,
// and the runs are compared in order. Digit runs compare by value, however
// long (build numbers may outgrow any integer); other runs compare as text
// and count as older than a number ("1.0b" is older than "1.0.1").

#include <string>
#include <string_view>
#include <vector>

enum OMAUVersionCharacterType { kOMAUNumberType = 0, kOMAUStringType = 1, kOMAUPeriodType = 2 };

// "." is a period; "0" and digit runs with a value other than 0 are
// numbers; anything else (a run of several zeros included) is a string.
OMAUVersionCharacterType OMAUTypeOfVersionCharacter(std::string_view text);

// The runs: a new one starts where the type changes and after every period.
std::vector<std::string> OMAUSplitVersionString(std::string_view version);

// -1 when `a` is newer, 1 when `b` is newer, 0 when they are equal.
int OMAUStandardVersionComparison(std::string_view a, std::string_view b);
