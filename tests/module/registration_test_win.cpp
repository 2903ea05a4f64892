// Self-registration of the built module, called directly and through regsvr32:
// every value with its type and stored size, removal of an entry with nested
// keys, the shell keys kept, the icon, and the help file found through the
// shared help folder.
#include "ffplugs/cvla/module/help_file.h"
#include "krn/platform/module_path.h"
#include "tests/support/plugin_path.h"
#include "tests/support/test_registry_win.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <filesystem>
#include <fstream>

namespace {

using cvtest::ReadRegistryValue;

const std::string kEntryKey = "Software\\Corvane\\File Formats 2\\{5D9E52AD-A6A5-11D3-8CCB-00AA006BA2BA}";

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(module_, nullptr);
    char loaded[MAX_PATH] = {};
    ::GetModuleFileNameA(module_, loaded, MAX_PATH);
    loadedPath_ = loaded;
  }
  void TearDown() override { ::FreeLibrary(module_); }
  HRESULT Call(const char* name) {
    return reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(::GetProcAddress(module_, name)))();
  }

  std::string path_ = cvtest::FindPlugIn();
  HMODULE module_ = ::LoadLibraryA(path_.c_str());
  std::string loadedPath_;
};

std::vector<uint8_t> Bytes(const std::string& text) { return {text.c_str(), text.c_str() + text.size() + 1}; }
std::vector<uint8_t> Bytes(DWORD number) { return {reinterpret_cast<uint8_t*>(&number), reinterpret_cast<uint8_t*>(&number) + 4}; }

void ExpectRegistered(const std::string& modulePath) {
  struct Expected {
    HKEY root;
    std::string key;
    const char* name;
    DWORD type;
    std::vector<uint8_t> data;  // strings with their terminating zero
  } expected[] = {
      {HKEY_CLASSES_ROOT, ".qla", nullptr, REG_SZ, Bytes("qlafile")},
      {HKEY_CLASSES_ROOT, ".qla", "ContentType", REG_SZ, Bytes("audio/qla")},
      {HKEY_CLASSES_ROOT, "qlafile", nullptr, REG_SZ, Bytes("Corvane Quartzline Audio")},
      {HKEY_CLASSES_ROOT, "qlafile\\DefaultIcon", nullptr, REG_SZ, Bytes(modulePath + ",0")},
      {HKEY_LOCAL_MACHINE, kEntryKey, nullptr, REG_SZ, Bytes("Corvane Quartzline Audio File Format")},
      {HKEY_LOCAL_MACHINE, kEntryKey, "Path", REG_SZ, Bytes(modulePath)},
      {HKEY_LOCAL_MACHINE, kEntryKey, "Flags", REG_DWORD, Bytes(0u)},
      {HKEY_LOCAL_MACHINE, kEntryKey, "Access", REG_DWORD, Bytes(0x30u)},
      {HKEY_LOCAL_MACHINE, kEntryKey, "StreamType", REG_DWORD, Bytes(1u)},
  };
  for (const Expected& e : expected) {
    cvtest::RegistryValue value = ReadRegistryValue(e.root, e.key, e.name);
    EXPECT_TRUE(value.found && value.type == e.type && value.data == e.data) << e.key << " " << (e.name ? e.name : "");
  }
  EXPECT_FALSE(ReadRegistryValue(HKEY_LOCAL_MACHINE, kEntryKey, "BetaBuild").found);
}

TEST_F(Registration, RegistersTwiceAndRemovesTheWholeEntryTwice) {
  EXPECT_EQ(Call("DllUnregisterServer"), S_OK);
  DWORD one = 1;
  ASSERT_TRUE(cvtest::SetRegistryValue(HKEY_LOCAL_MACHINE, kEntryKey, "BetaBuild", REG_DWORD, &one, 4));
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(Call("DllRegisterServer"), S_OK);
    ExpectRegistered(loadedPath_);
  }
  EXPECT_GE(::ExtractIconExA(loadedPath_.c_str(), -1, nullptr, nullptr, 0), 1u);

  ASSERT_TRUE(cvtest::SetRegistryValue(HKEY_LOCAL_MACHINE, kEntryKey + "\\Templates\\Stereo", "Bits", REG_DWORD, &one, 4));
  ASSERT_TRUE(cvtest::SetRegistryValue(HKEY_LOCAL_MACHINE, kEntryKey + "\\Other", "Bits", REG_DWORD, &one, 4));
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(Call("DllUnregisterServer"), S_OK);
    EXPECT_FALSE(cvtest::RegistryKeyExists(HKEY_LOCAL_MACHINE, kEntryKey));
  }
  EXPECT_TRUE(ReadRegistryValue(HKEY_CLASSES_ROOT, ".qla", nullptr).found);
  EXPECT_TRUE(ReadRegistryValue(HKEY_CLASSES_ROOT, "qlafile\\DefaultIcon", nullptr).found);
}

TEST_F(Registration, Regsvr32RegistersAndUnregistersTheBuiltModule) {
  EXPECT_EQ(Call("DllUnregisterServer"), S_OK);
  ASSERT_EQ(cvtest::RunProcess("regsvr32 /s \"" + path_ + "\"", 60000), 0);
  cvtest::RegistryValue path = ReadRegistryValue(HKEY_LOCAL_MACHINE, kEntryKey, "Path");
  EXPECT_TRUE(path.found && _stricmp(reinterpret_cast<const char*>(path.data.data()), loadedPath_.c_str()) == 0);
  ASSERT_EQ(cvtest::RunProcess("regsvr32 /u /s \"" + path_ + "\"", 60000), 0);
  EXPECT_FALSE(cvtest::RegistryKeyExists(HKEY_LOCAL_MACHINE, kEntryKey));
}

TEST(HelpFileLookup, FollowsTheSharedHelpFolderValue) {
  const char kSharedKey[] = "Software\\Corvane\\Shared Information";
  std::string folder = (std::filesystem::temp_directory_path() / "cvql help").string();
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "\\notes.txt") << "x";
  std::string program = cvplat::ModuleFileName(nullptr);
  std::string beside = program.substr(0, program.find_last_of('\\') + 1) + "CVQLPLUG.HLP";
  struct Case {
    std::string value;  // empty: no value
    std::string expected;
  } cases[] = {{folder, folder + "\\CVQLPLUG.HLP"},
               {folder + "\\", folder + "\\CVQLPLUG.HLP"},
               {folder + "\\notes.txt", beside},
               {"", beside}};
  for (const Case& c : cases) {
    cvtest::DeleteRegistryTree(HKEY_LOCAL_MACHINE, kSharedKey);
    if (!c.value.empty()) {
      ASSERT_TRUE(cvtest::SetRegistryValue(HKEY_LOCAL_MACHINE, kSharedKey, "HelpFolder", REG_SZ, c.value.c_str(),
                                           static_cast<DWORD>(c.value.size() + 1)));
    }
    char buffer[cvla::kHelpFileBufferSize];
    cvla::GetHelpFile(buffer);
    EXPECT_EQ(std::string(buffer), c.expected) << c.value;
  }
  cvtest::DeleteRegistryTree(HKEY_LOCAL_MACHINE, kSharedKey);
}

}  // namespace
