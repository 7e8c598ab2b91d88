// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the panel-level suites: a program folder of its own per test, holding the real
// panel file, and the program started in-process as main starts it.
#pragma once

#include "program_state.h"
#include "viewer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

// A fresh folder taken as the program's directory, with the panel file in it.
class ProgramDir {
public:
    ProgramDir() {
        static int n = 0;
        dir_ = fs::temp_directory_path() / ("pavro-test-" + std::to_string(::getpid()) + "-" + std::to_string(n++));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::copy_file(fs::path(PAVRO_BIN_DIR) / "pavro_5.uir", dir_ / "pavro_5.uir");
        seam::SetProjectDir(dir_.string());
    }
    ~ProgramDir() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string path(const std::string& name = "") const { return (dir_ / name).string(); }
    void write(const std::string& name, const std::string& content) const {
        std::ofstream(dir_ / name, std::ios::binary) << content;
    }
    std::string read(const std::string& name) const { return readAt((dir_ / name).string()); }
    static void writeAt(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
    static std::string readAt(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

private:
    fs::path dir_;
};

// A test with its own program folder and the program started in it.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        seam::UseVirtualTime(false);
        start_program();
    }
    ProgramDir dir;
};
