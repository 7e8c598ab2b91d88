// SPDX-License-Identifier: GPL-3.0-or-later
// The format language: every format the program uses, number forms, bounds, and locale
// independence.
#include "io.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

struct FmtCase {
    const char* format;
    double value;
    const char* expected;
};

void PrintTo(const FmtCase& c, std::ostream* os) { *os << c.format << " with " << c.value; }

class FmtDouble : public ::testing::TestWithParam<FmtCase> {};

TEST_P(FmtDouble, WritesTheNumberFormTheModifiersAskFor) {
    const FmtCase& c = GetParam();
    char out[64];
    Fmt(out, c.format, c.value);
    EXPECT_STREQ(out, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, FmtDouble,
    ::testing::Values(FmtCase{"%f", 1.0, "1.000000"}, FmtCase{"%f", 10.0, "10.000000"},
                      FmtCase{"%f", -0.5, "-0.500000"}, FmtCase{"%f", 0.0, "0.000000"},
                      FmtCase{"%f", 2.5e-5, "2.5e-05"}, FmtCase{"%f", 1e20, "1e+20"}, FmtCase{"%f[p1]", 12.34, "12.3"},
                      FmtCase{"%f[p1]", 0.0, "0.0"}, FmtCase{"%f[p1]", 1234.5, "1234.5"},
                      FmtCase{"%f[e2]", 3.4, "3.400000e+00"}, FmtCase{"%f[e2]", 0.0, "0.000000e+00"},
                      FmtCase{"%f[e2p3]", 15.0, "1.500e+01"}, FmtCase{"%f[e2p3]", -0.5, "-5.000e-01"},
                      FmtCase{"%f[e2p3]", 1.23456e-120, "1.235e-120"}, FmtCase{"%f[e3p1]", 2.0, "2.0e+000"},
                      FmtCase{"%f[p1w10]", 5.25, "       5.2"}, FmtCase{"%f[p0w10]", 250.0, "       250"},
                      FmtCase{"%f[e2w10]", 1.0, "1.000000e+00"}));

TEST(Fmt, BuildsASecondFormatFromAFirst) {
    char first[32], text[32];
    Fmt(first, " %cf[e2w10] ppm O2", 37);
    EXPECT_STREQ(first, " %f[e2w10] ppm O2");
    Fmt(text, first, 3.4);
    EXPECT_STREQ(text, " 3.400000e+00 ppm O2");
    Fmt(first, " %cf[p%dw10] ppm O2", 37, 2);
    EXPECT_STREQ(first, " %f[p2w10] ppm O2");
    Fmt(text, first, 5.0);
    EXPECT_STREQ(text, "       5.00 ppm O2");
    Fmt(first, " %cf[p1w10] mV    ", 37);
    Fmt(text, first, -12.25);
    EXPECT_STREQ(text, "      -12.2 mV    ");
}

TEST(Fmt, FramesTextAndNeverOverrunsItsTarget) {
    char b[32];
    Fmt(b, "* %s  *", "x12");
    EXPECT_STREQ(b, "* x12  *");
    Fmt(b, "* %s  *", "");
    EXPECT_STREQ(b, "*   *");
    char small[8] = {};
    small[7] = 'Z';
    EXPECT_EQ(Fmt(small, "%s", "0123456789"), 7);
    EXPECT_STREQ(small, "0123456");
    char huge[32];
    Fmt(huge, " %f[p3w10] ppm O2", 1e300);  // far longer than the target: cut, terminated
    EXPECT_EQ(std::string(huge).size(), 31u);
}

TEST(Fmt, WritesTheSettingsLine) {
    char b[128];
    Fmt(b, " %d %f %d %d %f %f %f %f Lu_2002\n", 1, 1.0, 1, 1, 0.0, 10.0, 0.0, 10.0);
    EXPECT_STREQ(b, " 1 1.000000 1 1 0.000000 10.000000 0.000000 10.000000 Lu_2002\n");
}

TEST(Scan, ReadsNumbersFromTheValuePosition) {
    double d = -1;
    int i = -1;
    EXPECT_EQ(Scan("u20.5", "%f", &d), 0);  // 'u' is no number: nothing written
    EXPECT_EQ(d, -1);
    EXPECT_EQ(Scan("20.5", "%f", &d), 1);
    EXPECT_EQ(d, 20.5);
    EXPECT_EQ(Scan("  -3.5e+02xyz", "%f", &d), 1);
    EXPECT_EQ(d, -350.0);
    EXPECT_EQ(Scan("+7", "%d", &i), 1);
    EXPECT_EQ(i, 7);
    EXPECT_EQ(Scan("12.9", "%d", &i), 1);
    EXPECT_EQ(i, 12);
    EXPECT_EQ(Scan("1.5e", "%f", &d), 1);  // an exponent without digits is not part of it
    EXPECT_EQ(d, 1.5);
    EXPECT_EQ(Scan(".5", "%f", &d), 1);
    EXPECT_EQ(d, 0.5);
}

TEST(Scan, RejectsWhatIsNoDecimalNumber) {
    for (const char* s : {"", "   ", "inf", "nan", "-", ".", "+", "e5", "x1", "1e999"}) {
        double d = 42.0;
        EXPECT_EQ(Scan(s, "%f", &d), 0) << s;
        EXPECT_EQ(d, 42.0) << s;
    }
    int i = 42;
    EXPECT_EQ(Scan("99999999999", "%d", &i), 0);
    EXPECT_EQ(Scan(std::string(400, '1').c_str(), "%d", &i), 0);
    EXPECT_EQ(i, 42);
}

TEST(Scan, ReadsTheSettingsFormatAndStopsAtTheFirstGap) {
    int a = 0, b = 0, c = 0;
    double x = 0, y = 0, z = 0, u = 0, v = 0;
    EXPECT_EQ(Scan(" 3 0.5 0 1 -1.0 20.0 2.5 10.0 Lu_2002\n", "%s>%d%f%d%d%f%f%f%f", &a, &x, &b, &c, &y, &z, &u, &v),
              8);
    EXPECT_EQ(a, 3);
    EXPECT_EQ(x, 0.5);
    EXPECT_EQ(u, 2.5);
    EXPECT_EQ(Scan(" 4 0.25 0 1 -1.0 20.0 2.5", "%s>%d%f%d%d%f%f%f%f", &a, &x, &b, &c, &y, &z, &u, &v), 7);
}

TEST(Scan, ReadsARecordingLinePerCall) {
    double t = 0, v = 0;
    EXPECT_EQ(Scan(" 12.3\t3.400000e+00 \n", "%f %f", &t, &v), 2);
    EXPECT_EQ(t, 12.3);
    EXPECT_EQ(v, 3.4);
}

TEST(Locale, FormattingAndScanningIgnoreADecimalComma) {
    const char* saved = std::setlocale(LC_ALL, nullptr);
    std::string keep = saved ? saved : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "de_DE"))
        GTEST_SKIP() << "no German locale on this machine";
    char b[32];
    Fmt(b, "%f[p1]", 12.34);
    EXPECT_STREQ(b, "12.3");
    Fmt(b, "%f", 0.5);
    EXPECT_STREQ(b, "0.500000");
    double d = 0;
    EXPECT_EQ(Scan("1.25", "%f", &d), 1);
    EXPECT_EQ(d, 1.25);
    EXPECT_EQ(Scan("1,25", "%f", &d), 1);
    EXPECT_EQ(d, 1.0);
    std::setlocale(LC_ALL, keep.c_str());
}

TEST(FormatRoundTrip, DefaultRealFormReadsBackAsTheSameValue) {
    for (double v : {1e-5, -3.3e-9, 1e20, 6.02e23, -1.7e308, 4.9e-324}) {
        char b[400];
        Fmt(b, "%f", v);
        double back = 0;
        ASSERT_EQ(Scan(b, "%f", &back), 1) << b;
        EXPECT_EQ(back, v) << b;
    }
}

}  // namespace
