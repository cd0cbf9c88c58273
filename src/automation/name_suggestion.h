#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace testbay {

// The candidates nearest to a misspelt `name`, without regard to case: those
// at the least edit distance (a letter added, dropped, changed or two
// swapped count one each), when that distance is small for the name's
// length. At most `limit`, in the candidates' order.
std::vector<std::string_view> NearestNames(std::string_view name, const std::vector<std::string_view>& candidates,
                                           size_t limit = 3);

// `Unknown name "GetLedCont"; did you mean GetLedCount?`, or without the
// question when nothing is near. A long name is shown cut short.
std::string UnknownNameText(std::string_view name, const std::vector<std::string_view>& nearest);

}  // namespace testbay
