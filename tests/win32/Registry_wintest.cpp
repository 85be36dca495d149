// The registry adapter's failure contract, on values that each test writes under a scratch key
// of the current user's hive.

#include <windows.h>

#include <gtest/gtest.h>

#include "base/Error.h"
#include "win32/Registry.h"
#include "win32/Text.h"

namespace {

const std::string kScratch = "Software\\VelquorTest\\Registry";

class RegistryTest : public testing::Test {
 protected:
  TRegKey Key = CreateOrOpenRegKey(HKEY_CURRENT_USER, kScratch, KEY_ALL_ACCESS);
  ~RegistryTest() override { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VelquorTest"); }

  void Put(const std::string& Name, DWORD Type, std::string_view Bytes) {
    ASSERT_EQ(RegSetValueExA(Key.Get(), Name.c_str(), 0, Type,
                             reinterpret_cast<const BYTE*>(Bytes.data()),
                             static_cast<DWORD>(Bytes.size())),
              ERROR_SUCCESS);
  }
};

TEST_F(RegistryTest, ReadsStringValuesAsStoredUpToTheirFirstZero) {
  using namespace std::string_view_literals;
  struct TCase {
    DWORD Type;
    std::string_view Stored;
    std::string Read;
  };
  const TCase Cases[] = {
      {REG_SZ, "C:\\Program Files\0"sv, "C:\\Program Files"},
      {REG_EXPAND_SZ, "%ProgramFiles%\\x\0"sv, "%ProgramFiles%\\x"},
      {REG_SZ, "no terminator"sv, "no terminator"},
      {REG_SZ, "first\0second\0"sv, "first"},
      {REG_SZ, "\0"sv, ""},
      {REG_SZ, ""sv, ""},
  };
  for (const TCase& c : Cases) {
    Put("Value", c.Type, c.Stored);
    EXPECT_EQ(ReadRegString(Key.Get(), "Value"), c.Read);
  }
}

TEST_F(RegistryTest, AMissingValueOrAnUnopenedKeyReadsEmpty) {
  EXPECT_EQ(ReadRegString(Key.Get(), "Missing"), "");
  EXPECT_EQ(ReadRegString(TRegKey().Get(), "Missing"), "");
}

TEST_F(RegistryTest, AValueThatIsNoStringRaisesWithItsName) {
  const std::string Hangul = Utf8ToAnsi("바탕 화면");
  const DWORD Types[] = {REG_DWORD, REG_BINARY, REG_MULTI_SZ, REG_NONE};
  for (const DWORD Type : Types) {
    Put(Hangul, Type, std::string_view("\1\0\0\0", 4));
    try {
      ReadRegString(Key.Get(), Hangul);
      ADD_FAILURE() << "no error for type " << Type;
    } catch (const EInstallerError& e) {
      EXPECT_EQ(e.Message(), "Invalid data type for '바탕 화면'");
    }
  }
}

TEST_F(RegistryTest, OpenNeverCreatesAndCreateOrOpenMakesMissingParents) {
  const std::string Deep = kScratch + "\\A\\B";
  EXPECT_FALSE(OpenRegKey(HKEY_CURRENT_USER, Deep, KEY_READ));
  EXPECT_FALSE(OpenRegKey(HKEY_CURRENT_USER, Deep, KEY_READ)) << "the failed open created it";
  EXPECT_TRUE(CreateOrOpenRegKey(HKEY_CURRENT_USER, Deep, KEY_ALL_ACCESS));
  EXPECT_TRUE(OpenRegKey(HKEY_CURRENT_USER, Deep, KEY_READ));
}

}  // namespace
