#include "fontexport/QFFontUnits.h"

#include "fontexport/QFFontError.h"

#include <fmt/format.h>

#include <cmath>

lf::Result<int32_t> QFFontUnitsFromOutlineUnits(double value, QFFieldRange range,
                                                std::string_view field) {
    double scaled = std::round(value * kQFFontUnitsPerOutlineUnit);
    if (!(scaled >= static_cast<double>(range.minimum) &&
          scaled <= static_cast<double>(range.maximum))) {
        return QFFontMakeError(
            QFFontErrorValueOutOfRange,
            fmt::format("{} is {:g} outline units, {:g} font units, outside {}..{}", field, value,
                        scaled, range.minimum, range.maximum));
    }
    return static_cast<int32_t>(scaled);
}
