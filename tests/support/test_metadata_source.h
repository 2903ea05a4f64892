// A metadata source for the metadata writers, built from plain values over the
// list-backed source the reader and the tool use.
#pragma once

#include "krn/list_metadata_source.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cvtest {

struct TestMarker {
  int64_t position;
  int64_t length;
  bool isRegion;
  std::u16string name;
  bool noName;  // name size 0: no "labl" is written
};

// Lives on the stack of a test and holds a reference of its own, so that the
// writers' AddRef and Release never free it.
class TestMetadataSource : public cv::ListMetadataSource {
 public:
  TestMetadataSource() { AddRef(); }

  void SetMarkers(const std::vector<TestMarker>& markers);
  void SetInfo(const std::vector<std::pair<uint32_t, std::u16string>>& fields);
  // The "acid" block, and the "strc" header with its loop records.
  void SetAcid(const std::vector<uint8_t>& acid);
  void SetLoops(const std::vector<uint8_t>& strcHeader, const std::vector<std::vector<uint8_t>>& records);
};

}  // namespace cvtest
