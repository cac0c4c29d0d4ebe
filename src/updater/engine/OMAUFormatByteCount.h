#pragma once
// A byte count for people: "512 bytes", "35 kB", "4.2 MB" (powers of 1000,
// tenths rounded up past the first prefix).

#include <string>

std::string OMAUFormatByteCount(double count);
