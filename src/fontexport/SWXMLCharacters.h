#pragma once
// Which UTF-8 texts an XML document can carry as character data or
// attribute values. XML has no way to write the C0 control characters
// (other than tab, newline and carriage return), U+FFFE or U+FFFF, not even
// as character references, and it asks documents to avoid the other control
// characters (DEL and U+0080 to U+009F); a parser stops at bytes that are
// not UTF-8. Such a text has to be refused before it is written: the
// writers cannot mend it.
//
// Pure functions; safe from any thread.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Where a text stops being one that XML can carry.
struct SWXMLTextFault {
    // Byte offset of the fault in the text.
    size_t offset = 0;
    // The character XML cannot carry; none where the bytes are not UTF-8.
    std::optional<char32_t> character;

    // "the control character U+001B at byte 3", "bytes that are not UTF-8
    // at byte 3".
    std::string description() const;
};

// The first fault of the text; none when XML can carry all of it.
std::optional<SWXMLTextFault> SWFindXMLTextFault(std::string_view text);
