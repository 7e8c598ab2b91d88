// SPDX-License-Identifier: GPL-3.0-or-later
// The manual pages in step with the programs: every option a program's --help lists is in its
// manual page, and the page names none the program lacks.
#include "process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

std::set<std::string> options(std::string text) {
    text = std::regex_replace(text, std::regex(R"(\\-)"), "-");  // troff's hyphen
    std::set<std::string> out;
    std::regex option(R"(--[a-z][a-z-]*)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
        out.insert(it->str());
    return out;
}

std::string page(const std::string& name) {
    std::ifstream f(std::string(PAVRO_SOURCE_DIR) + "/packaging/man/" + name + ".1");
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

TEST(Manuals, ListTheOptionsTheirProgramsListAndNoOther) {
    for (const char* program : {"pavro-sim", "pavro-ports"}) {
        std::set<std::string> help = options(commandOutput(std::string(PAVRO_BIN_DIR) + "/" + program + " --help 2>&1"));
        std::set<std::string> manual = options(page(program));
        EXPECT_FALSE(help.empty()) << program;
        EXPECT_EQ(manual, help) << program;
    }
}

TEST(Manuals, RenderWithoutWarnings) {
    for (const char* name : {"pavro", "pavro-sim", "pavro-ports"}) {
        std::string path = std::string(PAVRO_SOURCE_DIR) + "/packaging/man/" + name + ".1";
        std::string said = commandOutput("man -l --warnings -E UTF-8 " + path + " 2>&1 >/dev/null");
        EXPECT_EQ(said, "") << name;
        EXPECT_NE(commandOutput("man -l -E UTF-8 " + path + " 2>/dev/null").find("SYNOPSIS"), std::string::npos) << name;
    }
}

}  // namespace
