#include "updater/feed/OMAUVersionComparison.h"

#include <algorithm>
#include <cctype>

namespace {

bool isDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
}

std::string_view withoutLeadingZeros(std::string_view digits) {
    const auto first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view() : digits.substr(first);
}

// <0, 0 or >0 as the number written in `a` is less than, equal to or
// greater than the one in `b`; digits of any length.
int compareNumbers(std::string_view a, std::string_view b) {
    a = withoutLeadingZeros(a);
    b = withoutLeadingZeros(b);
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

}  // namespace

OMAUVersionCharacterType OMAUTypeOfVersionCharacter(std::string_view text) {
    if (text == ".") return kOMAUPeriodType;
    if (text == "0") return kOMAUNumberType;
    return isDigits(text) && !withoutLeadingZeros(text).empty() ? kOMAUNumberType : kOMAUStringType;
}

std::vector<std::string> OMAUSplitVersionString(std::string_view version) {
    std::vector<std::string> runs;
    OMAUVersionCharacterType previous = kOMAUStringType;
    for (size_t i = 0; i < version.size(); ++i) {
        const OMAUVersionCharacterType type = OMAUTypeOfVersionCharacter(version.substr(i, 1));
        if (runs.empty() || type != previous || type == kOMAUPeriodType) runs.emplace_back();
        runs.back() += version[i];
        previous = type;
    }
    return runs;
}

int OMAUStandardVersionComparison(std::string_view a, std::string_view b) {
    const std::vector<std::string> runsA = OMAUSplitVersionString(a);
    const std::vector<std::string> runsB = OMAUSplitVersionString(b);
    const size_t shared = std::min(runsA.size(), runsB.size());
    for (size_t i = 0; i < shared; ++i) {
        const std::string& ra = runsA[i];
        const std::string& rb = runsB[i];
        const OMAUVersionCharacterType typeA = OMAUTypeOfVersionCharacter(ra);
        const OMAUVersionCharacterType typeB = OMAUTypeOfVersionCharacter(rb);
        if (typeA != typeB) {
            if (typeB == kOMAUStringType) return -1;
            if (typeA == kOMAUStringType) return 1;
            return typeA == kOMAUNumberType ? -1 : 1;
        }
        int order = 0;
        if (typeA == kOMAUNumberType)
            order = compareNumbers(ra, rb);
        else if (typeA == kOMAUStringType)
            order = ra.compare(rb);
        if (order != 0) return order > 0 ? -1 : 1;
    }
    if (runsA.size() == runsB.size()) return 0;
    // The first extra run decides: a string run ("b" of "1.0b") makes the
    // longer version a pre-release of the shorter one.
    const bool aIsLonger = runsA.size() > runsB.size();
    const std::string& extra = aIsLonger ? runsA[shared] : runsB[shared];
    const bool longerIsNewer = OMAUTypeOfVersionCharacter(extra) != kOMAUStringType;
    return aIsLonger == longerIsNewer ? -1 : 1;
}
