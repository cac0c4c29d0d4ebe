#pragma once
// Escaping of text for XML and back. Besides the five predefined entities
// (amp, lt, gt, quot, apos), a dictionary may name extra entities: entity
// name to the text it stands for ("para" to "¶").
//
// Pure functions; safe from any thread.

#include <map>
#include <optional>
#include <string>
#include <string_view>

using SWXMLEntityDictionary = std::map<std::string, std::string, std::less<>>;

// The text with "&", "<", ">", '"' and "'" replaced by their entities and
// every occurrence of an extra entity's text by a reference to it (the
// longest text wins where several start at the same place).
std::string stringByEscapingXMLEntities(std::string_view text,
                                        const SWXMLEntityDictionary& entities = {});

// The text with every entity reference replaced: the predefined entities,
// the extra ones, and decimal or hexadecimal character references. None
// when a reference is unterminated, unknown or names no character.
std::optional<std::string> stringByUnescapingXMLEntities(
    std::string_view text, const SWXMLEntityDictionary& entities = {});
