#include "tests/support/test_metadata_source.h"

#include "krn/results.h"

#include <gtest/gtest.h>

#include <cstring>

namespace cvtest {

void TestMetadataSource::SetMarkers(const std::vector<TestMarker>& markers) {
  cv::RecordList& list = Lists().markers;
  list.Clear();
  for (const TestMarker& m : markers) {
    if (m.noName) {
      cv::MarkerRecordHeader h{28, m.position, m.length, m.isRegion ? 1u : 0u, 0};
      ASSERT_EQ(list.Append(&h, sizeof h), cv::kS_OK);
      continue;
    }
    ASSERT_EQ(cv::AppendMarkerRecord(list, m.position, m.length, m.isRegion,
                                     reinterpret_cast<const wchar16*>(m.name.c_str()), m.name.size()),
              cv::kS_OK);
  }
}

void TestMetadataSource::SetInfo(const std::vector<std::pair<uint32_t, std::u16string>>& fields) {
  cv::RecordList& list = Lists().info;
  list.Clear();
  for (const auto& [id, text] : fields) {
    ASSERT_EQ(cv::AppendInfoRecord(list, id, reinterpret_cast<const wchar16*>(text.c_str()), text.size()),
              cv::kS_OK);
  }
}

void TestMetadataSource::SetAcid(const std::vector<uint8_t>& acid) {
  ASSERT_EQ(acid.size(), cv::kAcidBlockSize);
  std::memcpy(Lists().loop.acid, acid.data(), cv::kAcidBlockSize);
  Lists().loop.acidPresent = true;
}

void TestMetadataSource::SetLoops(const std::vector<uint8_t>& strcHeader,
                                  const std::vector<std::vector<uint8_t>>& records) {
  ASSERT_EQ(strcHeader.size(), cv::kStrcHeaderSize);
  cv::LoopInfo& loop = Lists().loop;
  std::memcpy(loop.strcHeader, strcHeader.data(), cv::kStrcHeaderSize);
  loop.strcPresent = true;
  loop.loops.Clear();
  for (const auto& record : records) ASSERT_EQ(loop.loops.Append(record.data(), record.size()), cv::kS_OK);
}

}  // namespace cvtest
