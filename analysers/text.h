#pragma once
// Small text helpers shared by the analysers' log lines.
#include <string>
#include <string_view>

namespace kavrel::analysers {

// A number in its shortest decimal form with at most `maxDecimals` decimals:
// 48 -> "48", 44.1 -> "44.1", 23.976024 -> "23.976".
std::string shortDecimal(double value, int maxDecimals = 3);

// "   <label> = [bl]<value>[/bl]<unit>", the detail line of one value.
std::string valueLine(std::string_view label, std::string_view value, std::string_view unit = {});

}  // namespace kavrel::analysers
