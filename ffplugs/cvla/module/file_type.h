// QlaFileType: the reading descriptor of the format. It names the format,
// recognises Quartzline files by their first bytes and makes readers.
#pragma once

#include "ffplugs/cvla/cv_interfaces.h"
#include "krn/com_object.h"

#include <cstdint>

namespace cvla {

constexpr uint32_t kFileTypeAttributes = 3;
constexpr uint32_t kCheckFileBytes = 256;
// CheckHeader needs the RIFF header and the start of a "fmt " chunk up to its
// format tag and one byte beyond.
constexpr uint32_t kMinHeaderBytes = 25;

// The answer of CheckHeader for a block of the file's first bytes: S_OK for a
// RIFF WAVE file whose first chunk is "fmt " with the Quartzline format tag,
// else CVERR_NO_RIFF_HEADER.
[[nodiscard]] HRESULT CheckQuartzlineHeader(const uint8_t* bytes, uint32_t count);

// Fills the three optional UTF-16 buffers with the texts (ANSI -> UTF-16, cut,
// terminated). Shared by the file type and the renderer.
void FillDescriptorStrings(const char* description, wchar16* descriptionBuffer, uint32_t descriptionLength,
                           const char* filter, wchar16* filterBuffer, uint32_t filterLength, const char* name,
                           wchar16* nameBuffer, uint32_t nameLength);

class QlaFileType final : public cv::ComObject<QlaFileType, cv::PlainCount, cv::ICvFileType> {
 public:
  void* FindInterface(REFIID iid);
  HRESULT CV_STDCALL SetIndex(uint32_t index) override;
  uint32_t CV_STDCALL GetIndex() override;
  HRESULT CV_STDCALL SetHost(cv::ICvFileHost* host) override;
  HRESULT CV_STDCALL GetClassGuid(GUID* out) override;
  HRESULT CV_STDCALL GetAttributes(uint32_t* out) override;
  HRESULT CV_STDCALL GetFlags(uint32_t* out) override;
  HRESULT CV_STDCALL FindRenderer(void* out) override;
  HRESULT CV_STDCALL GetStrings(wchar16* description, uint32_t descriptionLength, wchar16* filter,
                                uint32_t filterLength, wchar16* name, uint32_t nameLength) override;
  HRESULT CV_STDCALL CheckHeader(HANDLE file, const uint8_t* bytes, uint32_t count, uint32_t flags) override;
  HRESULT CV_STDCALL CheckFile(const wchar16* path) override;
  HRESULT CV_STDCALL CreateReader(cv::ICvFileReader** out, HANDLE file, const wchar16* path,
                                  uint32_t open) override;
  HRESULT CV_STDCALL Reserved14(uint32_t a, uint32_t b) override;

 private:
  cv::ICvFileHost* host_ = nullptr;  // not counted: the host outlives the object
  uint32_t index_ = 0;
};

}  // namespace cvla
