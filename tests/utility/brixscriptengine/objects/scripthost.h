#pragma once
// A bare Lua state with the script object types opened as the engine opens
// them, and a runner for snippets whose results come back as short texts:
// nil, true/false, numbers as digits, 'strings' quoted, userdata by type
// (AString, WString, RawBuffer, DllManager, light).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lua.h"

using Results = std::vector<std::string>;

class ScriptHostTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs the snippet; a Lua error fails the test and gives {"error: ..."}.
  Results Run(const std::string& code);
  // Runs a snippet that must raise an error and gives the message.
  std::string RunError(const std::string& code);
  // Byte size of the userdata held by a global.
  size_t BlockSize(const char* global);
  void SetGlobal(const char* name, const std::string& value);
  void SetGlobal(const char* name, double value);

  lua_State* L = nullptr;
};
