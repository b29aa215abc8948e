#pragma once

// The rules of UTF-8 that the program checks text against: the tags it writes, the marks
// files it reads, the JSON it prints.

#include <cstddef>
#include <string_view>

namespace qm {

// The length of the sequence a lead byte begins (2 to 4), or 0 for a byte that cannot lead:
// a continuation byte 10xxxxxx, the overlong leads C0/C1, and F5-FF (past U+10FFFF).
std::size_t Utf8SequenceLength(unsigned char lead);

// Whether the sequence of length bytes at `at` is complete and well-formed: continuation
// bytes 10xxxxxx, no overlong form, no surrogate, nothing past U+10FFFF.
bool IsWellFormedUtf8Sequence(std::string_view bytes, std::size_t at, std::size_t length);

// Whether bytes are well-formed UTF-8 throughout.
bool IsWellFormedUtf8(std::string_view bytes);

}  // namespace qm
