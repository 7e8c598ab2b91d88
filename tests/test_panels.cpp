// SPDX-License-Identifier: GPL-3.0-or-later
// The real panel file loaded offscreen: start-up state, display modes and module-type layout.
#include "fixture.h"
#include "panel_file.h"

namespace {

using Panels = ProgramTest;

TEST_F(Panels, StartUpShowsTheTitledMainPanelAndTheRememberedPort) {
    EXPECT_TRUE(seam::PanelVisible(p1));
    EXPECT_EQ(seam::PanelTitle(p1), "Kelto O2-Messung");
    EXPECT_TRUE(seam::PanelVisible(p4));
    EXPECT_FALSE(seam::PanelVisible(psc));
    EXPECT_EQ(seam::Text(p4, P4_PORT), "1");
    EXPECT_EQ(hol, 0);
    EXPECT_EQ(set[12], 1);
    // Module-type digit 1 layout.
    EXPECT_FALSE(seam::Visible(p1, P1_D3));
    EXPECT_FALSE(seam::Visible(p1, P1_UNIT3));
    EXPECT_EQ(seam::Top(p1, P1_FLAG1), 389);
    EXPECT_TRUE(seam::Visible(p1, P1_U3));
}

TEST(PanelsStart, TheRememberedPortComesFromTheSettingsFile) {
    ProgramDir d;
    d.write("pavro.ini", " 7 2.0 0 1 0.0 5.0 0.0 10.0 Lu_2002\n");
    start_program();
    EXPECT_EQ(seam::Text(p4, P4_PORT), "7");
    EXPECT_EQ(com_nummer, 7);
    EXPECT_EQ(abtast, 2.0);
}

// What the operator reads in each display mode: the main reading (by size in mode 1), a
// module value, the unit, the label, and the auxiliary values, which no mode changes.
struct Shown {
    int mode;
    double value;
    const char* reading;  // P1_O2
    const char* module;   // P1_D2
    const char* unit;
    const char* label;
};

void PrintTo(const Shown& c, std::ostream* os) { *os << "mode " << c.mode << " value " << c.value; }

class WhatTheOperatorReads : public ProgramTest, public ::testing::WithParamInterface<Shown> {};

TEST_P(WhatTheOperatorReads, InEveryModeAndAtEverySizeStep) {
    const Shown& c = GetParam();
    SetCtrlVal(p1, P1_MODE, c.mode);
    seam::Commit(p1, P1_MODE);
    SetCtrlVal(p1, P1_D2, c.value);
    wert[7] = c.value;
    dezimalpunkt();
    SetCtrlVal(p1, P1_O2, c.value);
    for (int aux : {P1_U1, P1_U3, P1_U5, P1_U6}) SetCtrlVal(p1, aux, 24.567);
    EXPECT_EQ(seam::Text(p1, P1_O2), c.reading);
    EXPECT_EQ(seam::Text(p1, P1_D2), c.module);
    for (int box : {P1_UNIT1, P1_UNIT2, P1_UNIT3, P1_UNIT4}) EXPECT_EQ(seam::TextBoxLine(p1, box, 0), c.unit);
    EXPECT_EQ(seam::Label(p1, P1_O2), c.label);
    for (int aux : {P1_U1, P1_U3, P1_U5, P1_U6}) EXPECT_EQ(seam::Text(p1, aux), "24.57");
}

INSTANTIATE_TEST_SUITE_P(
    Modes, WhatTheOperatorReads,
    ::testing::Values(Shown{0, 12.34, "1.234e+01", "1.234e+01", "ppm", "Oxygen"},
                      Shown{0, 0.000123, "1.230e-04", "1.230e-04", "ppm", "Oxygen"},
                      Shown{0, -5.0, "-5.000e+00", "-5.000e+00", "ppm", "Oxygen"},
                      Shown{1, 250.4, "250", "250", "ppm", "Oxygen"}, Shown{1, 100.0, "100", "100", "ppm", "Oxygen"},
                      Shown{1, 99.96, "100.0", "100", "ppm", "Oxygen"},  // below 100: one digit
                      Shown{1, 10.0, "10.0", "10", "ppm", "Oxygen"}, Shown{1, 9.996, "10.00", "10", "ppm", "Oxygen"},
                      Shown{1, 1.0, "1.00", "1", "ppm", "Oxygen"}, Shown{1, 0.9996, "1.000", "1", "ppm", "Oxygen"},
                      Shown{1, 0.0, "0.000", "0", "ppm", "Oxygen"}, Shown{1, -5.0, "-5.000", "-5", "ppm", "Oxygen"},
                      Shown{2, 250.26, "250.3", "250.3", "mV      ", "Sensor Voltage"},
                      Shown{2, -12.34, "-12.3", "-12.3", "mV      ", "Sensor Voltage"}));

TEST_F(Panels, ModeOneTakesItsDigitsFromTheSizeOfTheReading) {
    const std::pair<double, int> cases[] = {{250, 0}, {100.0, 0}, {99.5, 1}, {10.0, 1}, {9.99, 2},
                                            {1.0, 2}, {0.5, 3},   {0, 3},    {-5, 3}};
    SetCtrlVal(p1, P1_MODE, 1);
    dimzpoint();
    for (auto [r, p] : cases) {
        wert[7] = r;
        dezimalpunkt();
        EXPECT_EQ(seam::Precision(p1, P1_O2), p) << r;
        EXPECT_EQ(seam::Precision(p1, P1_D1), 0);
    }
    wert[7] = 9.99;
    dezimalpunkt();
    SetCtrlVal(p1, P1_O2, 9.99);
    EXPECT_EQ(seam::Text(p1, P1_O2), "9.99");
    for (int mode : {0, 2}) {
        SetCtrlVal(p1, P1_MODE, mode);
        dimzpoint();
        wert[7] = 0.5;
        dezimalpunkt();
        EXPECT_EQ(seam::Precision(p1, P1_O2), mode == 0 ? 3 : 1);
    }
}

TEST_F(Panels, LayoutFollowsTheModuleTypeDigitBothWays) {
    struct {
        int code;
        bool d3, u3;
        int flag1top;
    } cases[] = {{1, false, true, 389},  {21, false, true, 389}, {31, false, true, 389}, {3, true, false, 431},
                 {13, true, false, 431}, {0, true, true, 431},   {2, true, true, 431},   {10, true, true, 431},
                 {-1, true, true, 431},  {-13, true, true, 431}, {1, false, true, 389}};
    for (auto c : cases) {
        set[12] = c.code;
        dimzpoint();
        EXPECT_EQ(seam::Visible(p1, P1_D3), c.d3) << c.code;
        EXPECT_EQ(seam::Visible(p1, P1_UNIT3), c.d3) << c.code;
        EXPECT_EQ(seam::Visible(p1, P1_U3), c.u3) << c.code;
        EXPECT_EQ(seam::Top(p1, P1_FLAG1), c.flag1top) << c.code;
    }
}

TEST_F(Panels, EveryControlHasANameAScreenReaderCanAnnounce) {
    for (int p : {p1, p4, psc})
        for (auto [id, name] : seam::Controls(p)) {
            if (name == "P1_TIMER" || name == "PSC_TIMER") continue;
            EXPECT_FALSE(seam::AccessibleName(p, id).empty()) << name;
            EXPECT_NE(seam::AccessibleName(p, id), name) << name;
        }
}

TEST_F(Panels, EnterInThePortFieldConfirmsThePortAndAPortThatWillNotOpenEndsTheProgram) {
    // Port 96 is /dev/ttyACM31, which no machine here has.
    EXPECT_EXIT(seam::Type(p4, P4_PORT, "96"), ::testing::ExitedWithCode(0),
                "cannot open serial device /dev/ttyACM31(.|\n)*popup: \"\" \"COM-PORT kann nicht geoeffnet werden !\"");
    EXPECT_FALSE(fs::exists(dir.path("pavro.ini")));
}

TEST_F(Panels, AValueOfTheWrongTypeFailsLoudly) {
    EXPECT_DEATH(SetCtrlVal(p1, P1_O2, 1), "P1_O2");
    unsigned char b;
    EXPECT_DEATH(GetCtrlVal(p4, P4_PORT, &b), "P4_PORT");
    int i;
    EXPECT_DEATH(GetCtrlVal(p1, P1_MODE, &i), "P1_MODE");
}

TEST(PanelFileReader, DescribesThePanelsWithoutMakingAWidget) {
    std::ifstream f(fs::path(PAVRO_BIN_DIR) / "pavro_5.uir", std::ios::binary);
    std::stringstream text;
    text << f.rdbuf();
    platform::LoadContext ctx{QStringLiteral("pavro_5.uir"), {}};
    platform::PanelSpec main;
    platform::readPanel(QByteArray::fromStdString(text.str()), P1, ctx, main);
    EXPECT_EQ(main.callback, QStringLiteral("schluss"));
    EXPECT_TRUE(main.hasMenuBar);
    auto find = [&](int id) -> const platform::ControlSpec* {
        for (auto& c : main.controls)
            if (c.model.id == id) return &c;
        return nullptr;
    };
    ASSERT_NE(find(P1_O2), nullptr);
    EXPECT_EQ(find(P1_O2)->model.type, platform::DataType::Double);
    ASSERT_NE(find(P1_MODE), nullptr);
    EXPECT_EQ(find(P1_MODE)->model.items.size(), 3u);
    EXPECT_EQ(find(P1_TIMER)->callback, QStringLiteral("timer1"));
    // A repeated control number is the reader's own finding, before any callback is bound.
    platform::PanelSpec bad;
    platform::LoadContext badCtx{QStringLiteral("x.uir"), {}};
    QByteArray repeated =
        R"({"panels":[{"resource":1,"name":"P","controls":[{"id":2,"kind":"led"},{"id":2,"kind":"led"}]}]})";
    try {
        platform::readPanel(repeated, 1, badCtx, bad);
        ADD_FAILURE() << "a repeated control number was read";
    } catch (const platform::LoadFailure& e) {
        EXPECT_EQ(e.problem.toStdString(), "panel P: control number 2 invalid or repeated");
    }
}

class PanelFileErrors : public ::testing::Test {
protected:
    ProgramDir dir;
};

TEST_F(PanelFileErrors, AMissingMalformedOrMiswiredFileEndsTheProgramWithAMessage) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "pavro_5.uir"},
        {"{ \"panels\": [ {", "not valid JSON"},
        {"{ \"panels\": [] }", "no panel with resource number 1"},
        {R"({"panels":[{"resource":1,"name":"P1","callback":"nosuch","controls":[]}]})", "unknown callback 'nosuch'"},
        {R"({"panels":[{"resource":1,"name":"P1","controls":[{"id":2,"name":"X","kind":"dial"}]}]})",
         "unknown control kind 'dial'"},
    };
    for (auto& [content, message] : cases) {
        if (content.empty())
            fs::remove(dir.path("pavro_5.uir"));
        else
            dir.write("pavro_5.uir", content);
        EXPECT_EXIT(start_program(), ::testing::ExitedWithCode(2), message);
        // The same problem without ending the process, for the fuzzer.
        std::string problem;
        EXPECT_EQ(seam::TryLoadPanel(0, dir.path("pavro_5.uir"), P1, &problem), -1);
        EXPECT_NE(problem.find(content.empty() ? std::string() : message), std::string::npos) << problem;
        EXPECT_FALSE(problem.empty());
    }
}

}  // namespace
