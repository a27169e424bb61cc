// A test that runs in a fresh scratch folder of its own (the current directory
// while it runs) with a clean run-time; every table is closed and the folder
// removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "rdd/db_commands.h"
#include "services/runtime.h"

namespace talvor {

class ScratchFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rt().reset();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::filesystem::temp_directory_path() /
              ("talvor-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(folder_);
  }
  void TearDown() override {
    DBCLOSEALL();
    rt().reset();
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(folder_);
  }

  std::filesystem::path folder_;
  std::filesystem::path previous_;
};

// A scratch-folder test that collects every raised error in `errors` and gives
// each the default answer.
class CollectingErrorsTest : public ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    rt().errorHandler = [this](RuntimeError& e) {
      errors.push_back(e);
      return ErrorAnswer{};
    };
  }
  std::vector<RuntimeError> errors;
};

// The bytes of a file ("" when it cannot be read).
inline std::string fileBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// The little-endian u32 at a byte offset of a file's bytes.
inline uint32_t u32At(const std::string& bytes, std::size_t at) {
  return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
         uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
}

// One row of a table structure for DBCREATE: name, type, length, decimals.
inline Value fieldRow(const char* name, const char* type, int len, int dec = 0) {
  return Value::array({Value::text(name), Value::text(type), Value::integer(len), Value::integer(dec)});
}

}  // namespace talvor
