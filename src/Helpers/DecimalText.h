// Decimal integers written as whole texts: the numbers of the command line, the fields of the
// builder's source tables, link targets, the weights of the sample vocabulary.
//
// The loaders of the data model read their numbers as the C library does (ReadType and
// FieldToInt in SFile.h: leading blanks, then as many digits as there are); this is the strict
// reading for every other place, so that they all agree on what a number is. Pure; any thread.
#pragma once

#include <optional>
#include <string_view>

namespace Norik {

// The value of text when it is exactly an optional sign ("+" or "-") and one or more decimal
// digits, and lies within [low, high]; nullopt otherwise. Nothing is skipped: a blank before or
// after the digits makes it no number.
std::optional<long long> ParseDecimal(std::string_view text, long long low, long long high);

}  // namespace Norik
