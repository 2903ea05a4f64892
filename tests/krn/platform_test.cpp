#include "tests/support/riff_test_files.h"
#include "krn/platform/codepage.h"
#include "krn/platform/file.h"
#include "krn/platform/memory.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#ifdef __linux__
#include <sys/stat.h>
#endif

namespace {

TEST(PlatformFile, OpenErrorsAreWin32Numbers) {
  // ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND
  for (const auto& [name, error] : {std::pair<const char*, DWORD>{"no_such_file.bin", 2}, {"no_such_folder/x.bin", 3}}) {
    const std::string path = cvtest::TestDataPath(name);
    EXPECT_EQ(cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(cvplat::LastError(), error) << name;
  }
}

// The sharing rules hold in every build: a second open must share what the
// first handle does and ask only for what the first handle shares.
TEST(PlatformFile, SharingModesDecideWhetherASecondOpenSucceeds) {
  constexpr DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE;
  const struct {
    DWORD firstAccess, firstShare, secondAccess, secondShare;
    bool allowed;
  } kCases[] = {
      {R, SR, R, SR, true},            // readers side by side
      {R, SR, W, SR | SW, false},      // the first handle does not share writing
      {R, SR | SW, W, SR | SW, true},
      {R, SR | SW, W, SW, false},      // the writer does not share the reading already open
      {R | W, 0, R, SR | SW, false},   // an exclusive handle
      {W, SR, R, SR, false},           // the reader must share the writing already open
      {W, SR, R, SR | SW, true},
  };
  const std::string path = cvtest::TestDataPath("platform_share.bin");
  for (const auto& c : kCases) {
    cvplat::UniqueFile first(cvplat::CreateFileAnsi(path.c_str(), c.firstAccess, c.firstShare, OPEN_ALWAYS, 0));
    ASSERT_TRUE(first.IsValid());
    cvplat::UniqueFile second(cvplat::CreateFileAnsi(path.c_str(), c.secondAccess, c.secondShare, OPEN_EXISTING, 0));
    EXPECT_EQ(second.IsValid(), c.allowed) << c.firstAccess << "/" << c.firstShare << " then " << c.secondAccess
                                           << "/" << c.secondShare;
    if (!c.allowed) {
      EXPECT_EQ(cvplat::LastError(), 32u);  // ERROR_SHARING_VIOLATION
    }
  }
}

TEST(PlatformFile, RefusedOpensAndDeletesLeaveTheFileAlone) {
  const std::string path = cvtest::TestDataPath("platform_share_keep.bin");
  cvplat::UniqueFile writer(cvplat::CreateFileAnsi(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, 0));
  ASSERT_TRUE(writer.IsValid());
  DWORD n = 0;
  ASSERT_TRUE(cvplat::WriteFileBytes(writer.Get(), "kept", 4, &n));
  EXPECT_EQ(cvplat::CreateFileAnsi(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(cvplat::DeleteFileAnsi(path.c_str()));  // open without FILE_SHARE_DELETE
  EXPECT_EQ(cvplat::LastError(), 32u);
  writer.Reset();

  cvplat::UniqueFile reader(cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
  ASSERT_TRUE(reader.IsValid());
  uint64_t size = 0;
  ASSERT_TRUE(cvplat::GetFileSize64(reader.Get(), &size));
  EXPECT_EQ(size, 4u);
  reader.Reset();
  EXPECT_TRUE(cvplat::DeleteFileAnsi(path.c_str()));  // closed handles hold nothing
}

// A reservation never shows in the file's size, is held when reported as
// made, and a file cut at what was written keeps no reserved space past its end.
TEST(PlatformFile, ReservedSpaceKeepsTheSizeAndIsGivenBackByACut) {
  const std::string path = cvtest::TestDataPath("platform_reserve.bin");
  cvplat::UniqueFile file(cvplat::CreateFileAnsi(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, 0));
  ASSERT_TRUE(file.IsValid());
  const bool reserved = cvplat::ReserveFileSpace(file.Get(), 8u << 20);
  uint64_t size = 1;
  ASSERT_TRUE(cvplat::GetFileSize64(file.Get(), &size));
  EXPECT_EQ(size, 0u);
#ifdef __linux__
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  if (reserved) {
    EXPECT_GE(info.st_blocks * 512, 8 << 20);
  }
#else
  EXPECT_FALSE(reserved);  // nothing is asked of the system there
#endif
  DWORD n = 0;
  ASSERT_TRUE(cvplat::WriteFileBytes(file.Get(), "short", 5, &n));
  ASSERT_TRUE(cvplat::SetEndOfFileHere(file.Get()));
  file.Reset();
#ifdef __linux__
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 5);
  EXPECT_LE(info.st_blocks * 512, 64 * 1024);
#endif
  EXPECT_TRUE(cvplat::DeleteFileAnsi(path.c_str()));
}

TEST(PlatformCodePage, Windows1252RoundTrip) {
  const char ansi[] = "Caf\xE9 \x80 \x93x\x94";
  cvplat::WideString w = cvplat::AnsiToWideString(ansi);
  ASSERT_EQ(w.size(), 10u);
  EXPECT_EQ(w[3], static_cast<wchar16>(0x00E9));
  EXPECT_EQ(w[5], static_cast<wchar16>(0x20AC));
  EXPECT_EQ(w[7], static_cast<wchar16>(0x201C));
  EXPECT_EQ(cvplat::WideToAnsiString(w), std::string(ansi));
}

TEST(PlatformMemory, BlocksAreZeroFilled) {
  cvplat::GlobalBlock b(4096);
  ASSERT_TRUE(b);
  for (size_t i = 0; i < b.Size(); ++i) ASSERT_EQ(b.As<unsigned char>()[i], 0);
}

}  // namespace
