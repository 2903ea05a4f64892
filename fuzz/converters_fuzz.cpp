// The sample converters for every pair of layouts and several gains on
// arbitrary samples, into a buffer of exactly the right size; and the format
// classifier on an arbitrary format record of exactly its stated size.
#include "fuzz/fuzz_support.h"
#include "krn/sample_format.h"

#include <cstring>
#include <vector>

namespace {

struct Layout {
  cv::SampleFormatId id;
  uint32_t bytes;
};
constexpr Layout kLayouts[] = {{cv::kSampleU8, 1},      {cv::kSampleS16, 2},      {cv::kSampleS24, 3},
                               {cv::kSampleS32, 4},     {cv::kSampleF32, 4},      {cv::kSampleF64, 8},
                               {cv::kSampleS24In32, 4}, {cv::kSampleS8, 1},       {cv::kSampleS16BE, 2},
                               {cv::kSampleS24BE, 3},   {cv::kSampleS32BE, 4}};
constexpr size_t kLayoutCount = sizeof kLayouts / sizeof kLayouts[0];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cvfuzz::Choices choices(data, size);
  const Layout& dst = kLayouts[choices.Take(1) % kLayoutCount];
  const Layout& src = kLayouts[choices.Take(1) % kLayoutCount];
  static const float kGains[] = {1.0f, 0.5f, 2.0f, -1.0f, 0.0f, 1e30f, 1.0f / 3};
  const float gain = kGains[choices.Take(1) % 7];

  // The format record: 18 bytes plus cbSize, as long as the input allows.
  std::vector<uint8_t> record(choices.Rest(), choices.Rest() + (choices.RestSize() < 18 ? 0 : 18));
  if (!record.empty()) {
    WAVEFORMATEX head;
    std::memcpy(&head, record.data(), 18);
    const size_t extra = head.cbSize <= choices.RestSize() - 18 ? head.cbSize : 0;
    record.assign(choices.Rest(), choices.Rest() + 18 + extra);
    head.cbSize = static_cast<WORD>(extra);
    std::memcpy(record.data(), &head, 18);
    cv::ClassifySampleFormat(reinterpret_cast<const WAVEFORMATEX*>(record.data()));
  }

  if (cv::SampleConverter convert = cv::GetConverterForIds(dst.id, src.id)) {
    const uint32_t samples = static_cast<uint32_t>(choices.RestSize() / src.bytes);
    std::vector<uint8_t> in(choices.Rest(), choices.Rest() + samples * src.bytes);
    std::vector<uint8_t> out(static_cast<size_t>(samples) * dst.bytes);
    convert(out.empty() ? nullptr : out.data(), in.empty() ? nullptr : in.data(), samples, gain);
  }
  return 0;
}
