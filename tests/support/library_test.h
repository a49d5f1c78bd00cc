// Base fixture for native tests that go through the library: gives each test
// a scratch folder, restores the format table and the test switches, and
// checks that no memory block, file or progress window outlives the test.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/limits.h"
#include "ui/services.h"
#include "common/format_table.h"
#include "platform/platform.h"
#include "velmconv/headless.h"

namespace vctest {

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto rows = vc::formatTable();
        savedRows_.assign(rows.begin(), rows.end());
        static int serial = 0;
        dir_ = std::filesystem::temp_directory_path() /
               ("vctest-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
        std::filesystem::create_directories(dir_);
        blocksAtStart_ = vc::plat::memLiveBlocks();
        filesAtStart_ = vc::plat::fileOpenCount();
    }

    void TearDown() override {
        EXPECT_EQ(vc::plat::memLiveBlocks(), blocksAtStart_) << "memory blocks leaked";
        EXPECT_EQ(vc::plat::fileOpenCount(), filesAtStart_) << "files left open";
        const vc::ProgressState state = vc::progressState();
        EXPECT_FALSE(state.exists) << "progress window left open";
        if (state.exists) vc::DestroyProgressDialog(state.window);
        std::copy(savedRows_.begin(), savedRows_.end(), vc::formatTable().begin());
        vc::plat::memFailAt(0);
        vc::plat::fileFailWritesAfter(-1);
        vc::plat::fileFailCloses(false);
        vc::resetLimits();
        VcSetScreenSize(1024, 768);
        VcSetUiHost(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::string path(const std::string &name) const { return (dir_ / name).string(); }

    std::string writeFile(const std::string &name, const std::string &bytes) {
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    }
    std::string writeFile(const std::string &name, const std::vector<uint8_t> &bytes) {
        return writeFile(name, std::string(bytes.begin(), bytes.end()));
    }

    static vc::FormatRow &row(int code) {
        vc::FormatRow *r = vc::findFormat(code);
        if (!r) throw std::runtime_error("no format row " + std::to_string(code));
        return *r;
    }

private:
    std::vector<vc::FormatRow> savedRows_;
    std::filesystem::path dir_;
    long blocksAtStart_ = 0, filesAtStart_ = 0;
};

}  // namespace vctest
