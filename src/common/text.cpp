#include "common/text.h"

#include <limits>

namespace {

bool IsConversionSpace(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

}  // namespace

std::vector<std::wstring> SplitString(const std::wstring& text, const std::wstring& separator) {
  std::vector<std::wstring> fields;
  size_t position = 0;
  for (size_t found = text.find(separator, position); found != std::wstring::npos;
       found = text.find(separator, position)) {
    fields.push_back(text.substr(position, found - position));
    position = found + separator.size();
  }
  fields.push_back(text.substr(position));
  return fields;
}

bool ParseDecimalId(const std::wstring& text, std::int32_t& id) {
  size_t i = 0;
  while (i < text.size() && IsConversionSpace(text[i])) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  if (i == text.size() || text[i] < L'0' || text[i] > L'9') {
    return false;
  }
  // Accumulated as a magnitude, so the most negative id fits as well.
  const std::int64_t limit =
      negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
               : std::numeric_limits<std::int32_t>::max();
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - L'0');
    if (magnitude > limit) {
      return false;
    }
  }
  id = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return true;
}
