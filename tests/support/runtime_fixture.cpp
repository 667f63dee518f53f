#include "tests/support/runtime_fixture.h"

#include <fstream>
#include <sstream>

#include "core/runtime_core.h"
#include "core/strstack.h"

namespace testsupport {

void RuntimeTest::SetUp() {
    rt::CoreReset();
    rt::StrStackConfigure(stackSlots());
    ASSERT_EQ(rt::CoreInit(), 0);
}

void RuntimeTest::TearDown() { rt::CoreReset(); }

TempDir::TempDir() {
    previous_ = std::filesystem::current_path();
    std::string templ = (std::filesystem::temp_directory_path() / "rttest.XXXXXX").string();
    char* made = mkdtemp(templ.data());
    path_ = made ? std::filesystem::path(made) : std::filesystem::temp_directory_path();
    std::filesystem::current_path(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
    auto p = path_ / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
}

std::string TempDir::read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string show(rt::StrDesc s) {
    if (s.isError()) return "<error " + std::to_string(rt::StrError(s)) + ">";
    return s.str();
}

}  // namespace testsupport
