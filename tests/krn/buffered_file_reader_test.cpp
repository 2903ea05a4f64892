// Buffered block reading: the read-ahead buffer gives the file's bytes at any
// position, across refills and at the end of the file, reads the file once per
// buffer, and goes back to the file after Invalidate or for another handle.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "krn/buffered_file_reader.h"
#include "krn/platform/file.h"
#include "tests/support/riff_test_files.h"

namespace {

using cvtest::Bytes;

Bytes Pattern(size_t size, uint32_t seed) {
  Bytes b(size);
  uint32_t x = seed;
  for (auto& v : b) {
    x = x * 1664525u + 1013904223u;
    v = static_cast<uint8_t>(x >> 24);
  }
  return b;
}

cvplat::UniqueFile OpenForReading(const std::string& path, DWORD share = FILE_SHARE_READ) {
  return cvplat::UniqueFile(cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ, share, OPEN_EXISTING, 0));
}

TEST(BufferedFileReader, GivesTheFileBytesInPiecesOfAnySize) {
  const std::string path = cvtest::TestDataPath("buffered_reader.bin");
  const Bytes content = Pattern(10000, 3);
  cvtest::WriteFile(path, content);
  cvplat::UniqueFile file = OpenForReading(path);
  ASSERT_TRUE(file.IsValid());

  cv::BufferedFileReader reader;
  ASSERT_TRUE(reader.Allocate(1024));
  reader.SetPosition(file.Get(), 5);
  Bytes seen(content.begin(), content.begin() + 5);
  // Pieces smaller than, across and larger than the buffer.
  const uint32_t pieces[] = {1, 7, 300, 1023, 1024, 2500, 17, 6000};
  for (uint32_t piece : pieces) {
    Bytes out(piece, 0xEE);
    DWORD got = 0;
    ASSERT_TRUE(reader.Read(out.data(), piece, &got));
    out.resize(got);
    seen.insert(seen.end(), out.begin(), out.end());
  }
  EXPECT_EQ(seen, content);  // the last piece was cut short by the end of the file
  EXPECT_EQ(reader.Position(), content.size());
  DWORD got = 99;
  uint8_t byte = 0;
  EXPECT_TRUE(reader.Read(&byte, 1, &got));
  EXPECT_EQ(got, 0u);

  // Going back within the buffered bytes costs no file read; leaving them does.
  reader.SetPosition(file.Get(), 100);
  Bytes first(200);
  ASSERT_TRUE(reader.Read(first.data(), 200, &got));
  const uint32_t reads = reader.FileReads();
  reader.SetPosition(file.Get(), 150);
  ASSERT_TRUE(reader.Read(first.data(), 100, &got));
  EXPECT_EQ(reader.FileReads(), reads);
  EXPECT_TRUE(std::equal(first.begin(), first.begin() + 100, content.begin() + 150));
  reader.SetPosition(file.Get(), 9000);
  ASSERT_TRUE(reader.Read(first.data(), 10, &got));
  EXPECT_EQ(reader.FileReads(), reads + 1);
  EXPECT_TRUE(std::equal(first.begin(), first.begin() + 10, content.begin() + 9000));
}

TEST(BufferedFileReader, ReadsTheFileAgainAfterInvalidateOrForAnotherHandle) {
  const std::string path = cvtest::TestDataPath("buffered_reader_changed.bin");
  const Bytes before = Pattern(3000, 5);
  cvtest::WriteFile(path, before);
  // Shared for writing: another program edits the file while it is open here.
  cvplat::UniqueFile file = OpenForReading(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(file.IsValid());
  cv::BufferedFileReader reader;
  ASSERT_TRUE(reader.Allocate(4096));
  Bytes out(64);
  DWORD got = 0;
  reader.SetPosition(file.Get(), 0);
  ASSERT_TRUE(reader.Read(out.data(), 64, &got));

  // The file changes behind the buffer, as after a re-open of an edited file.
  const Bytes after = Pattern(3000, 6);
  {
    cvplat::UniqueFile writer(cvplat::CreateFileAnsi(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                        OPEN_EXISTING, 0));
    ASSERT_TRUE(writer.IsValid());
    DWORD written = 0;
    ASSERT_TRUE(cvplat::WriteFileBytes(writer.Get(), after.data(), 3000, &written));
  }
  reader.SetPosition(file.Get(), 1000);
  ASSERT_TRUE(reader.Read(out.data(), 64, &got));
  EXPECT_TRUE(std::equal(out.begin(), out.end(), before.begin() + 1000));  // still the buffered bytes
  reader.Invalidate();
  reader.SetPosition(file.Get(), 1000);
  ASSERT_TRUE(reader.Read(out.data(), 64, &got));
  EXPECT_TRUE(std::equal(out.begin(), out.end(), after.begin() + 1000));

  cvplat::UniqueFile other = OpenForReading(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(other.IsValid());
  const uint32_t reads = reader.FileReads();
  reader.SetPosition(other.Get(), 2000);
  ASSERT_TRUE(reader.Read(out.data(), 64, &got));
  EXPECT_EQ(reader.FileReads(), reads + 1);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), after.begin() + 2000));
}

TEST(BufferedFileReader, AFailingFileReadIsReported) {
  cv::BufferedFileReader reader;
  ASSERT_TRUE(reader.Allocate(512));
  reader.SetPosition(INVALID_HANDLE_VALUE, 0);
  uint8_t out[16];
  DWORD got = 7;
  EXPECT_FALSE(reader.Read(out, sizeof out, &got));
  EXPECT_EQ(got, 0u);
}

}  // namespace
