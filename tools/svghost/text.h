// Locale-independent text helpers shared by the option parser and the CSV reader and writer.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace svghost {

// Strips blanks and tabs at both ends.
std::string_view Trim(std::string_view text);

// Splits at every comma; "a,,b" gives three fields, "" gives one empty field.
std::vector<std::string_view> SplitCommas(std::string_view text);

// A finite decimal number in the "C" notation ("-1.5", "+2", ".5", "3e-4"), nothing else:
// no blanks, no hexadecimal, no inf or nan. Independent of the process locale.
bool ParseNumber(std::string_view text, double& value);

// A decimal integer with an optional sign; false when not an integer or out of 32-bit range.
bool ParseInteger(std::string_view text, int& value);

// Appends the value as printf's "%.9g" would (nine significant digits, enough to restore any
// float exactly), independent of the process locale.
void AppendNumber(std::string& out, double value);

std::string FormatNumber(double value);

// Concatenation of the parts, for building messages.
std::string Cat(std::initializer_list<std::string_view> parts);

}  // namespace svghost
