#include "analysis/SizeText.h"

#include "platform/Locale.h"

#include <cmath>
#include <cstring>
#include <cstdio>
#include <string>

namespace analysis {
namespace {

constexpr int kSignificantDigits = 4;

// Decimal digits of |value| rounded half away from zero to the coarser of four significant
// digits and `decimals` places. Returns the digits without leading zeros and the position of
// the decimal point (number of integer digits; may be 0 or negative).
struct Digits {
    std::string digits; // empty for zero
    int pointPosition = 0;
};

Digits roundedDigits(double value, int decimals) {
    // Fifteen significant digits are exact for a double; rounding works on these decimal
    // digits, so 512.25 rounds up as written rather than by its binary neighbour.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    std::string mantissa;
    for (const char* p = buf; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            mantissa += *p;
    const int exponent = std::atoi(std::strchr(buf, 'e') + 1);
    int point = exponent + 1;
    const int keep = std::min(kSignificantDigits, point + decimals);
    Digits d;
    if (keep < 0)
        return d;
    std::string kept = mantissa.substr(0, static_cast<size_t>(keep));
    const bool roundUp = static_cast<size_t>(keep) < mantissa.size() && mantissa[keep] >= '5';
    if (roundUp) {
        int i = keep - 1;
        while (i >= 0 && kept[static_cast<size_t>(i)] == '9')
            kept[static_cast<size_t>(i--)] = '0';
        if (i >= 0)
            ++kept[static_cast<size_t>(i)];
        else {
            kept.insert(kept.begin(), '1');
            ++point;
        }
    }
    while (!kept.empty() && kept.back() == '0')
        kept.pop_back();
    if (kept.empty())
        return d;
    d.digits = kept;
    d.pointPosition = point;
    return d;
}

QString groupInteger(const std::string& integer, QChar thousands) {
    QString out;
    const int n = static_cast<int>(integer.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0 && !thousands.isNull())
            out += thousands;
        out += QChar(integer[static_cast<size_t>(i)]);
    }
    return out;
}

// d,dddE+XX with four significant digits, rounded like the plain form.
QString exponentText(double value, const NumberFormat& format) {
    const Digits d = roundedDigits(value, 64); // as many decimals as the four digits need
    std::string digits = d.digits;
    digits.resize(kSignificantDigits, '0');
    const int exponent = d.pointPosition - 1;
    char tail[16];
    std::snprintf(tail, sizeof tail, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    QString out;
    if (value < 0)
        out += u'-';
    out += QChar(digits[0]);
    out += format.decimal;
    out += QString::fromLatin1(digits.c_str() + 1);
    out += QString::fromLatin1(tail);
    return out;
}

} // namespace

NumberFormat UserNumberFormat() {
    NumberFormat f;
    const platform::LCID user = platform::GetUserDefaultLCID();
    QString text;
    if (platform::GetLocaleInfoW(user, platform::LOCALE_SDECIMAL, &text, 8) > 0 && !text.isEmpty())
        f.decimal = text.at(0);
    text.clear();
    if (platform::GetLocaleInfoW(user, platform::LOCALE_STHOUSAND, &text, 8) > 0)
        f.thousands = text.isEmpty() ? QChar() : text.at(0);
    return f;
}

QString FormatNumber(double value, int decimals, const NumberFormat& format) {
    if (!std::isfinite(value))
        return QString::number(value);
    decimals = std::max(0, decimals);
    const Digits d = roundedDigits(value, decimals);
    if (d.pointPosition > kSignificantDigits)
        return exponentText(value, format);
    std::string integer, fraction;
    for (int pos = 0; pos < std::max(d.pointPosition, 1); ++pos) {
        const int i = pos - (std::max(d.pointPosition, 1) - d.pointPosition);
        integer += (i >= 0 && i < static_cast<int>(d.digits.size())) ? d.digits[static_cast<size_t>(i)] : '0';
    }
    for (int k = 0; k < decimals; ++k) {
        const int i = d.pointPosition + k;
        fraction += (i >= 0 && i < static_cast<int>(d.digits.size())) ? d.digits[static_cast<size_t>(i)] : '0';
    }
    QString out;
    if (value < 0 && !d.digits.empty())
        out += u'-';
    out += groupInteger(integer, format.thousands);
    if (decimals > 0) {
        out += format.decimal;
        out += QString::fromLatin1(fraction.c_str());
    }
    return out;
}

QString SizeText(int64_t size, const NumberFormat& format) {
    constexpr int64_t kKB = 1024, kMB = kKB * 1024, kGB = kMB * 1024;
    if (size <= 0)
        return QStringLiteral("0 Byte");
    if (size < kKB)
        return QString::number(size) + QStringLiteral(" Byte");
    if (size < kMB)
        return FormatNumber(static_cast<double>(size) / kKB, 1, format) + QStringLiteral(" KB");
    if (size < kGB)
        return FormatNumber(static_cast<double>(size) / kMB, 1, format) + QStringLiteral(" MB");
    return FormatNumber(static_cast<double>(size) / kGB, 2, format) + QStringLiteral(" GB");
}

} // namespace analysis
