// The two query texts turned into the inputs of a search: the extension field into extension
// indexes, the name field into a NameQuery. Only U+0020 separates words.
#pragma once

#include <cstdint>

#include "index/extension_table.h"
#include "search/name_query.h"

namespace vessiko {

constexpr uint32_t kExtensionTextUnits = 512;
constexpr uint32_t kMaxQueryExtensions = 64;

// Fills `indexes` with the distinct known extensions of the NUL-terminated text, in the order
// they first appear, at most `capacity`; unknown ones are ignored. Lowers A-Z of each word in
// place. True when the text holds at least one word, known or not.
bool ParseExtensionList(char16_t* text, const ExtensionTable& extensions, int32_t* indexes,
                        int32_t capacity, int32_t* count);

// Clears the query and compiles the NUL-terminated text into it; without case, A-Z are lowered
// in the text (wildcards and other units stay). False for a text without words or whose words
// contradict each other.
bool CompileNameQuery(char16_t* text, bool caseSensitive, NameQuery& query);

}  // namespace vessiko
