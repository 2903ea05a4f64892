// The render template record that the plug-in and the host exchange, and the
// format block it points to. Little-endian, byte offsets fixed by the host.
//
// The records hold real pointers. In the 32-bit Windows build (the plug-in that
// the host loads) pointers are 4 bytes and the layouts below match the host's
// byte for byte: the sizes and offsets are asserted there. In a 64-bit native
// build the pointer fields are 8 bytes wide, so the records are larger and the
// fields after a pointer move; that build never exchanges records with the host,
// and code must use the field names, never hard-coded offsets.
#pragma once

#include "krn/platform/win_types.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qla {

constexpr uint32_t kTemplateRecordSize = 1068;
constexpr uint32_t kTemplateTextLength = 260;  // UTF-16 units, terminator included
constexpr uint32_t kTemplateFlagsBuiltIn = 0x00010000u;
constexpr uint32_t kTemplateFlagsPrepared = 0x01000000u;
constexpr float kTemplateFormatValue = 120.0f;

#pragma pack(push, 1)
// 66 bytes in the 32-bit build: the format, the stream count and an optional
// alternative format that a render writes instead of the first one.
struct TemplateFormatBlock {
  WAVEFORMATEX format;             // 0
  uint32_t streamCount;            // 18: 1 = one stream of all channels; 0 = no format part in the text
  WAVEFORMATEX* alternative;       // 22: null, or the format a render writes
  uint8_t reserved1[28];           // 26
  float value;                     // 54: 120.0 in every template of the plug-in
  uint8_t reserved2[8];            // 58
};
#pragma pack(pop)

#pragma pack(push, 4)
// 1068 bytes in the 32-bit build.
struct RenderTemplate {
  uint32_t size;                                  // 0: kTemplateRecordSize
  uint32_t flags;                                 // 4
  uint32_t builtInIndex;                          // 8: 1..4, or 0
  uint32_t nameId;                                // 12
  uint32_t descriptionId;                         // 16
  wchar16 name[kTemplateTextLength];              // 20
  wchar16 description[kTemplateTextLength];       // 540
  TemplateFormatBlock* format;                    // 1060
  void* trailing;                                 // 1064: host-owned item, or null
};
#pragma pack(pop)

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(TemplateFormatBlock) == 66, "format block is 66 bytes");
static_assert(offsetof(TemplateFormatBlock, streamCount) == 18, "stream count at 18");
static_assert(offsetof(TemplateFormatBlock, alternative) == 22, "alternative format at 22");
static_assert(offsetof(TemplateFormatBlock, value) == 54, "float at 54");
static_assert(sizeof(RenderTemplate) == kTemplateRecordSize, "template record is 1068 bytes");
static_assert(offsetof(RenderTemplate, name) == 20, "name at 20");
static_assert(offsetof(RenderTemplate, description) == 540, "description at 540");
static_assert(offsetof(RenderTemplate, format) == 1060, "format pointer at 1060");
static_assert(offsetof(RenderTemplate, trailing) == 1064, "trailing reference at 1064");
#endif

// The format a render of this template writes: the block's alternative format
// when it has one, else the block's own. Null for a null template or block.
inline const WAVEFORMATEX* TemplateFileFormat(const RenderTemplate* renderTemplate) {
  if (!renderTemplate || !renderTemplate->format) return nullptr;
  const TemplateFormatBlock* block = renderTemplate->format;
  return block->alternative ? block->alternative : &block->format;
}
// The same record for a render that updates it (cbSize, nAvgBytesPerSec).
inline WAVEFORMATEX* TemplateFileFormat(RenderTemplate* renderTemplate) {
  if (!renderTemplate || !renderTemplate->format) return nullptr;
  TemplateFormatBlock* block = renderTemplate->format;
  return block->alternative ? block->alternative : &block->format;
}

// A format block for a render into `format`: `streamCount` streams, no
// alternative format, the value every template of the plug-in carries.
inline TemplateFormatBlock MakeTemplateFormat(const WAVEFORMATEX& format, uint32_t streamCount = 1) {
  TemplateFormatBlock block{};
  block.format = format;
  block.streamCount = streamCount;
  block.alternative = nullptr;
  block.value = kTemplateFormatValue;
  return block;
}

// A template record over a format block the caller keeps, as a host prepares
// one for a render.
inline RenderTemplate MakeRenderTemplate(TemplateFormatBlock* format, uint32_t flags = kTemplateFlagsPrepared) {
  RenderTemplate record{};
  record.size = kTemplateRecordSize;
  record.flags = flags;
  record.format = format;
  record.trailing = nullptr;
  return record;
}

// The extra data a template's format block carries for a stream: eight 32-bit
// values, the reserved bytes after the alternative format and the value that
// follows them. Copied field by field, so the 64-bit layout reads the same.
constexpr uint32_t kTemplateExtraValues = 8;
inline void TemplateExtraData(const TemplateFormatBlock& block, uint32_t (&out)[kTemplateExtraValues]) {
  static_assert(sizeof block.reserved1 + sizeof block.value == sizeof out, "extra data is reserved1 and value");
  std::memcpy(out, block.reserved1, sizeof block.reserved1);
  std::memcpy(reinterpret_cast<uint8_t*>(out) + sizeof block.reserved1, &block.value, sizeof block.value);
}

}  // namespace qla

namespace qla {

// What the renderer's GetPlugInInfo fills in: ANSI texts owned by the module,
// valid while it is loaded, and the frames per block of the format.
struct PlugInInfoRecord {
  const char* title;        // the format's display name and " File Format Plug-in."
  const char* legalNotice;
  const char* version;      // "Version 1.2 (Build 144)"
  const char* modulePath;   // the loaded module's own path
  uint32_t blockFrames;     // 512
  const char* homePage;
  const char* supportPage;
};

}  // namespace qla
