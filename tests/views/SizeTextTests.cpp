#include "analysis/SizeText.h"

#include <gtest/gtest.h>

using analysis::FormatNumber;
using analysis::NumberFormat;
using analysis::SizeText;

namespace {

const NumberFormat kGerman{u',', u'.'};
const NumberFormat kEnglish{u'.', u','};

constexpr int64_t KB = 1024, MB = KB * 1024, GB = MB * 1024;

TEST(SizeText, PowersOfTwoWithFourSignificantDigits) {
    struct Case {
        int64_t size;
        const char* german;
        const char* english;
    };
    const Case cases[] = {
        {-5, "0 Byte", "0 Byte"},
        {0, "0 Byte", "0 Byte"},
        {1, "1 Byte", "1 Byte"},
        {1023, "1023 Byte", "1023 Byte"},
        {1024, "1,0 KB", "1.0 KB"},
        {1264, "1,2 KB", "1.2 KB"},          // 1.234 KB: the decimals cut before four digits
        {524595, "512,3 KB", "512.3 KB"},    // 512.2998
        {524544, "512,3 KB", "512.3 KB"},    // 512.25 rounds half up, as written
        {1048575, "1.024,0 KB", "1,024.0 KB"}, // 1023.999 rounds to 1024
        {MB, "1,0 MB", "1.0 MB"},
        {GB - 1, "1.024,0 MB", "1,024.0 MB"},
        {GB, "1,00 GB", "1.00 GB"},
        {GB * 3 / 2, "1,50 GB", "1.50 GB"},
        {GB * 1234, "1.234,00 GB", "1,234.00 GB"},
        {GB * 9999, "9.999,00 GB", "9,999.00 GB"},
        {GB * 10000, "1,000E+04 GB", "1.000E+04 GB"}, // five integer digits: exponent notation
        {GB * 12345678, "1,235E+07 GB", "1.235E+07 GB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(SizeText(c.size, kGerman), QString::fromUtf8(c.german));
        EXPECT_EQ(SizeText(c.size, kEnglish), QString::fromUtf8(c.english));
    }
}

TEST(FormatNumber, PercentagesWithThreeDecimals) {
    struct Case {
        double value;
        const char* german;
    };
    const Case cases[] = {
        {0, "0,000"},       {100, "100,000"},   {12.3456, "12,350"}, {0.12345, "0,123"},
        {0.0004, "0,000"},  {0.0005, "0,001"},  {99.99951, "100,000"}, {-2.5, "-2,500"},
        {33.33333, "33,330"}, {9999.5, "1,000E+04"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(FormatNumber(c.value, 3, kGerman), QString::fromUtf8(c.german));
    }
    // Without a grouping character the integer digits stand together.
    EXPECT_EQ(FormatNumber(1024.0, 1, NumberFormat{u',', QChar()}), "1024,0");
}

} // namespace

#include "platform/Locale.h"

namespace {

TEST(SizeText, FollowsTheUserLocale) {
    {
        platform::FakeLocale german("de_DE.UTF-8", "C");
        EXPECT_EQ(analysis::SizeText(1048575), "1.024,0 KB");
    }
    platform::FakeLocale english("en_US.UTF-8", "C");
    EXPECT_EQ(analysis::SizeText(1048575), "1,024.0 KB");
}

} // namespace
