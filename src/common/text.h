#pragma once
// Small text helpers: splitting at a separator and reading decimal numbers.

#include <cstdint>
#include <string>
#include <vector>

// The fields of `text` between occurrences of `separator`, empty ones
// included; always at least one field.
std::vector<std::wstring> SplitString(const std::wstring& text, const std::wstring& separator);

// Reads a leading base-10 number as text-to-int conversion does (leading
// white space, optional sign, digits, the rest ignored). False when there is
// no number or it is outside the signed 32-bit range.
[[nodiscard]] bool ParseDecimalId(const std::wstring& text, std::int32_t& id);
