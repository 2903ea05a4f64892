// The read-ahead buffer goes back to the file after Invalidate (a re-opened file
// may hold other bytes at the same offsets, even under the same handle value)
// and for another handle. Its reads are otherwise checked by the reader suite,
// the block decoder replay and the fault-injection runs that read through it.
#include "krn/buffered_file_reader.h"
#include "krn/platform/file.h"
#include "tests/support/riff_test_files.h"

#include <gtest/gtest.h>

namespace {

TEST(BufferedFileReader, ReadsTheFileAgainAfterInvalidateOrForAnotherHandle) {
  const std::string path = cvtest::TestDataPath("buffered_reader_changed.bin");
  cvtest::WriteFile(path, cvtest::Bytes(3000, 1));
  // Shared for writing: another program edits the file while it is open here.
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  cvplat::UniqueFile file(cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ, share, OPEN_EXISTING, 0));
  cv::BufferedFileReader reader;
  ASSERT_TRUE(file.IsValid() && reader.Allocate(4096));
  auto byteAt = [&reader](HANDLE handle, uint64_t offset) {
    uint8_t byte = 0;
    DWORD got = 0;
    reader.SetPosition(handle, offset);
    EXPECT_TRUE(reader.Read(&byte, 1, &got));
    return byte;
  };
  EXPECT_EQ(byteAt(file.Get(), 0), 1);
  ASSERT_TRUE(cvtest::WriteFile(path, cvtest::Bytes(3000, 2)));
  EXPECT_EQ(byteAt(file.Get(), 1000), 1);  // still the buffered bytes
  reader.Invalidate();
  EXPECT_EQ(byteAt(file.Get(), 1000), 2);
  ASSERT_TRUE(cvtest::WriteFile(path, cvtest::Bytes(3000, 3)));
  cvplat::UniqueFile other(cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ, share, OPEN_EXISTING, 0));
  ASSERT_TRUE(other.IsValid());
  EXPECT_EQ(byteAt(other.Get(), 2000), 3);
}

}  // namespace
