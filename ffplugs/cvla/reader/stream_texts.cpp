#include "ffplugs/cvla/reader/stream_texts.h"

#include "ffplugs/cvla/plugin_texts.h"
#include "krn/results.h"
#include "krn/text_format.h"

namespace cvla {

namespace {

std::string ChannelText(uint32_t channels) {
  if (channels == 1) return PlugInText(text::kChannelMono);
  if (channels == 2) return PlugInText(text::kChannelStereo);
  char buffer[64];
  cv::ExpandText(buffer, sizeof(buffer), PlugInText(text::kChannelCount), static_cast<int>(channels));
  return buffer;
}

}  // namespace

std::string StreamText(uint32_t kind, const WAVEFORMATEX& format, HRESULT* result) {
  char buffer[kStreamTextMax + 1] = {};
  *result = cv::kS_OK;
  switch (kind) {
    case kStreamTextName:
      return PlugInText(text::kStreamName);
    case kStreamTextFormat: {
      std::string channels = ChannelText(format.nChannels);
      cv::ExpandText(buffer, sizeof(buffer), PlugInText(text::kStreamFormat), static_cast<int>(format.nSamplesPerSec),
                     static_cast<int>(format.wBitsPerSample), channels.c_str());
      return buffer;
    }
    case kStreamTextBitRate:
      cv::ExpandText(buffer, sizeof(buffer), PlugInText(text::kBitRate),
                     static_cast<int>(static_cast<uint64_t>(format.nAvgBytesPerSec) * 8 / 1000));
      *result = cv::kS_FALSE;
      return buffer;
    default:
      *result = cv::kS_FALSE;
      return std::string();
  }
}

}  // namespace cvla
