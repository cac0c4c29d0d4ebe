#pragma once
// SWMutableStringWriter: a writer that appends to a string it holds.
// Closing does nothing; the string stays readable.

#include "fontexport/SWWriter.h"

#include <string>

class SWMutableStringWriter : public SWWriter {
public:
    void writeString(std::string_view string) override { string_.append(string); }
    void close() override {}

    const std::string& string() const { return string_; }

private:
    std::string string_;
};
