// Reading the number of new messages out of a login reply page.
#pragma once

#include <string>

namespace app {

inline constexpr int kLoginFailed = -1;
inline constexpr int kInterpretionError = -2;

// -1 when the page holds `FailText`; -2 when it lacks `SearchText`; otherwise the count that
// starts at `Offset` characters from the start of the search text (up to five digits, blanks and
// control characters around it ignored). A count that does not start with a digit raises
// EConvertError with an empty text. Comparisons are exact and case-sensitive, on bytes.
int InterpretPage(const std::string& Page, const std::string& FailText, const std::string& SearchText, int Offset);

} // namespace app
