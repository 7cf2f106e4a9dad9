#include "analysers/text.h"

#include <cmath>
#include <cstdio>

namespace kavrel::analysers {

std::string shortDecimal(double value, int maxDecimals) {
    if (!std::isfinite(value)) return "0";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", maxDecimals, value);
    std::string text = buffer;
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    if (text == "-0") text = "0";
    return text;
}

std::string valueLine(std::string_view label, std::string_view value, std::string_view unit) {
    std::string line = "   ";
    line += label;
    line += " = [bl]";
    line += value;
    line += "[/bl]";
    line += unit;
    return line;
}

}  // namespace kavrel::analysers
