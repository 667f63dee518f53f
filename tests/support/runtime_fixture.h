// Test support: each test starts from a clean runtime core and may ask for a
// temporary folder that is removed afterwards.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/strdesc.h"

namespace testsupport {

// A fresh core (memory blocks, string stack of `slots` slots, StringArea).
class RuntimeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    virtual std::uint16_t stackSlots() const { return 512; }
};

// A temporary folder, made the current folder while the object lives.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    // Writes `bytes` to a file of the folder and returns its full path.
    std::string write(const std::string& name, const std::string& bytes) const;
    std::string read(const std::string& name) const;
private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

// The bytes of a string value ("<error N>" for an error value).
std::string show(rt::StrDesc s);

}  // namespace testsupport
