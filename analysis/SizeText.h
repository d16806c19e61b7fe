#pragma once

// Number and size texts of the lists and the status line.
//
// A number is shown with at most four significant digits, rounded half away from zero, padded
// with zeros to the decimals asked for, with the user's decimal separator and thousands
// grouping. A value with more than four integer digits after rounding is shown in exponent
// notation instead ("1,024E+04"), since four significant digits cannot write it in full.

#include <QString>

#include <cstdint>

namespace analysis {

struct NumberFormat {
    QChar decimal = u'.';
    QChar thousands = u',';
};

// The separators of the user's locale.
NumberFormat UserNumberFormat();

QString FormatNumber(double value, int decimals, const NumberFormat& format);
inline QString FormatNumber(double value, int decimals) {
    return FormatNumber(value, decimals, UserNumberFormat());
}

// "0 Byte", "1023 Byte", "1,0 KB", "512,3 KB", "1,00 GB" (bounds are powers of two).
QString SizeText(int64_t size, const NumberFormat& format);
inline QString SizeText(int64_t size) { return SizeText(size, UserNumberFormat()); }

} // namespace analysis
