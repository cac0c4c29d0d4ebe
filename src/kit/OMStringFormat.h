#pragma once
// The "%@" formats of the string tables and the foundation additions.
//
// Table texts are written by translators, not programmers, so they are
// never handed to a formatting library that would throw on a stray brace or
// reject an unknown conversion: only "%@" (the next value) and "%%" (one
// "%") are read, every other "%" stays as written, and a "%@" left without
// a value stays too, so a text that asks for more than it is given shows
// where.

#include <span>
#include <string>
#include <string_view>

std::string OMFormatString(std::string_view format, std::span<const std::string> values);
