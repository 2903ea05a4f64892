// The interface catalogue of the plug-in: the identifiers shared with the host,
// the interfaces the plug-in implements for the host and the host interfaces
// the plug-in calls. Slot order is declaration order (after the three IUnknown
// slots); reserved slots keep the tables aligned with the host's.
#pragma once

#include "krn/platform/win_types.h"

#include <cstdint>

namespace cv {

// {5D9E52AD-A6A5-11D3-8CCB-00AA006BA2BA}
constexpr GUID CLSID_QuartzlinePlugIn = {0x5D9E52AD, 0xA6A5, 0x11D3, {0x8C, 0xCB, 0x00, 0xAA, 0x00, 0x6B, 0xA2, 0xBA}};
constexpr GUID IID_ICvFileType = {0x39D2F263, 0x7655, 0x11D3, {0xA4, 0x83, 0x00, 0x10, 0x5A, 0x24, 0xAA, 0x37}};
constexpr GUID IID_ICvFileRenderer = {0x39D2F262, 0x7655, 0x11D3, {0xA4, 0x83, 0x00, 0x10, 0x5A, 0x24, 0xAA, 0x37}};
constexpr GUID IID_ICvPlugInPages = {0xC31C235E, 0x46BE, 0x11D4, {0x8B, 0x35, 0x00, 0xC0, 0x4F, 0x8E, 0xF3, 0x56}};
constexpr GUID IID_ICvFileHost = {0x39D2F261, 0x7655, 0x11D3, {0xA4, 0x83, 0x00, 0x10, 0x5A, 0x24, 0xAA, 0x37}};
constexpr GUID IID_ICvHostProperties = {0xB89ED2E1, 0xD8AB, 0x11D3, {0xA4, 0x84, 0x00, 0x10, 0x5A, 0x24, 0xAA, 0x37}};
constexpr GUID IID_ICvTemplateStore = {0x1D68CD81, 0x8946, 0x11D3, {0xA4, 0x83, 0x00, 0x10, 0x5A, 0x24, 0xAA, 0x37}};
constexpr GUID IID_ICvFileReader = {0x8632B6A1, 0x7717, 0x11D3, {0xA4, 0x83, 0x00, 0x10, 0x5A, 0x24, 0xAA, 0x37}};
constexpr GUID IID_ICvAudioStream = {0x8EBC1B81, 0x775E, 0x11D3, {0xA4, 0x83, 0x00, 0x10, 0x5A, 0x24, 0xAA, 0x37}};
constexpr GUID IID_ICvAudioStreamEx = {0x60FD1C41, 0x7825, 0x11D3, {0xA4, 0x83, 0x00, 0x10, 0x5A, 0x24, 0xAA, 0x37}};
constexpr GUID IID_ICvInfoTagEnum = {0xBA95F583, 0xFA5C, 0x436E, {0xB4, 0x5A, 0x0B, 0x76, 0xB6, 0x3B, 0x01, 0x0F}};
constexpr GUID IID_ICvRenderJob = {0x8400C581, 0x86FC, 0x11D3, {0xA4, 0x83, 0x00, 0x10, 0x5A, 0x24, 0xAA, 0x37}};
constexpr GUID IID_ICvRenderJobFormat = {0x00DCDFD4, 0xCAE9, 0x431C, {0xB1, 0x0F, 0x82, 0x11, 0xFC, 0xF0, 0xD3, 0xFF}};
constexpr GUID IID_ICvFormatPage = {0x2F5B6D61, 0xB2FC, 0x11D3, {0xBE, 0x36, 0x00, 0xA0, 0xC9, 0xE2, 0x16, 0xF4}};
constexpr GUID FileTypeClassGuid = {0x05D0C422, 0xB91B, 0x11D3, {0xA4, 0x84, 0x00, 0x10, 0x5A, 0x24, 0xAA, 0x37}};
constexpr GUID RendererClassGuid = {0x5DA33477, 0xDD7A, 0x11D2, {0x87, 0x61, 0x00, 0xC0, 0x4F, 0x8E, 0xF3, 0x5F}};
// Further identifiers answered by the plug-in pages object.
constexpr GUID IID_PlugInPagesMain = {0x1034276B, 0x5E37, 0x4A7C, {0x81, 0x14, 0x27, 0x7C, 0xEE, 0xA2, 0xFE, 0x92}};
constexpr GUID IID_PlugInPagesSecond = {0x042CFE74, 0x79DF, 0x11D4, {0x8B, 0x57, 0x00, 0xC0, 0x4F, 0x8E, 0xF3, 0x56}};

struct ICvFileType;
struct ICvFileReader;
struct ICvRenderJob;
struct ICvFileHost;
struct ICvMetadataSource;

// ---- Host interfaces that the plug-in calls ----

struct ICvHostProperties : IUnknown {
  virtual HRESULT CV_STDCALL Reserved3() = 0;
  virtual HRESULT CV_STDCALL Reserved4() = 0;
  virtual HRESULT CV_STDCALL Reserved5() = 0;
  virtual HRESULT CV_STDCALL Reserved6() = 0;
  // Fills buffer with the value of a host property; nonzero when it did.
  // Id 10001: the host's user-interface language (32-bit language identifier).
  virtual int32_t CV_STDCALL GetValue(uint32_t id, void* buffer, uint32_t size) = 0;
};
constexpr uint32_t kHostPropertyLanguage = 10001;

struct ICvFileHost : IUnknown {
  virtual HRESULT CV_STDCALL Reserved3() = 0;
  virtual HRESULT CV_STDCALL Reserved4() = 0;
  virtual HRESULT CV_STDCALL Reserved5() = 0;
  virtual HRESULT CV_STDCALL Reserved6() = 0;
  virtual HRESULT CV_STDCALL Reserved7() = 0;
  virtual HRESULT CV_STDCALL Reserved8() = 0;
  virtual HRESULT CV_STDCALL Reserved9() = 0;
  virtual HRESULT CV_STDCALL Reserved10() = 0;
  virtual HRESULT CV_STDCALL Reserved11() = 0;
  virtual HRESULT CV_STDCALL Reserved12() = 0;
  virtual HRESULT CV_STDCALL Reserved13() = 0;
  // The host's file type / renderer for a format-class GUID.
  virtual HRESULT CV_STDCALL FindFileType(void* out, const GUID* formatClass) = 0;
  virtual HRESULT CV_STDCALL FindRenderer(void* out, const GUID* formatClass) = 0;
};

// Render templates are handles to 1068-byte records owned by the host; the
// store allocates each record together with its format block. Keys are opaque
// to the plug-in: it passes on what the host gave it.
struct ICvTemplateStore : IUnknown {
  // The new record's handle, null when the store has no memory (no result code).
  virtual void* CV_STDCALL CreateTemplate() = 0;
  virtual HRESULT CV_STDCALL FreeTemplate(void* handle) = 0;
  // The source may be one of the plug-in's own constant records.
  virtual HRESULT CV_STDCALL CopyTemplate(void* destination, const void* source) = 0;
  virtual HRESULT CV_STDCALL LoadTemplate(void* handle, const void* key, DWORD flags) = 0;
  virtual HRESULT CV_STDCALL SaveTemplate(void* handle, const void* key) = 0;
};

// The argument of a render: slot 3 once with (0, 100, 0), slot 6 with the
// percentage done; a failure answer means the user cancelled.
struct ICvProgressSink : IUnknown {
  virtual HRESULT CV_STDCALL SetRange(uint32_t low, uint32_t high, uint32_t reserved) = 0;
  virtual HRESULT CV_STDCALL Reserved4() = 0;
  virtual HRESULT CV_STDCALL Reserved5() = 0;
  virtual HRESULT CV_STDCALL SetProgress(uint64_t percent) = 0;
};

// ---- Audio streams (the reader's stream, and the host's source of a render) ----

struct ICvAudioStream : IUnknown {
  virtual HRESULT CV_STDCALL GetFileType(ICvFileType** out) = 0;
  virtual HRESULT CV_STDCALL GetReader(ICvFileReader** out) = 0;
  virtual HRESULT CV_STDCALL GetFlags(uint32_t* out) = 0;
  virtual HRESULT CV_STDCALL GetIdentity(uint32_t* type, uint32_t* second, uint32_t* index) = 0;
  virtual HRESULT CV_STDCALL GetDuration(uint64_t* out) = 0;
  virtual HRESULT CV_STDCALL GetStartTime(uint64_t* out) = 0;
  virtual HRESULT CV_STDCALL SetThreadId(uint32_t threadId) = 0;
  virtual HRESULT CV_STDCALL Stop() = 0;
  virtual HRESULT CV_STDCALL GetLength(uint64_t* frames) = 0;
  virtual HRESULT CV_STDCALL GetFormat(void* format, uint32_t formatSize, uint32_t* formatNeeded, void* extra,
                                       uint32_t extraSize, uint32_t* extraNeeded) = 0;
  virtual HRESULT CV_STDCALL SetOutputFormat(const WAVEFORMATEX* format, const uint32_t* extra) = 0;
  virtual HRESULT CV_STDCALL GetFormatPointers(const WAVEFORMATEX** format, const void** extra) = 0;
  // S_OK with frames, S_FALSE at or past the end (no frames), or a failure.
  virtual HRESULT CV_STDCALL Read(uint64_t position, void* buffer, uint32_t frames, uint32_t* framesRead) = 0;
  virtual HRESULT CV_STDCALL Reserved16() = 0;
  virtual HRESULT CV_STDCALL Reserved17() = 0;
};

// The same object answers both identifiers with the same table.
struct ICvAudioStreamEx : ICvAudioStream {};

// ---- Interfaces the plug-in implements ----

#pragma pack(push, 4)
// One per stream, supplied by the host to GetStreamInfos (44 bytes in the
// 32-bit build).
struct StreamInfoRecord {
  uint32_t streamType;      // out
  void* formatBuffer;       // in
  uint32_t formatSize;      // in
  uint32_t formatNeeded;    // out
  void* extraBuffer;        // in
  uint32_t extraSize;       // in
  uint32_t extraNeeded;     // out
  uint64_t totalFrames;     // out
  uint32_t untouched[2];
};
#pragma pack(pop)

struct ICvFileReader : IUnknown {
  virtual HRESULT CV_STDCALL GetFileType(ICvFileType** out) = 0;
  virtual HRESULT CV_STDCALL GetTypeName(wchar16* buffer, uint32_t length) = 0;
  virtual HRESULT CV_STDCALL GetStreamText(wchar16* buffer, uint32_t length, uint32_t reserved, uint32_t kind) = 0;
  virtual HRESULT CV_STDCALL GetStreamValueAlias(void* buffer, uint32_t size, uint32_t kind) = 0;
  virtual HRESULT CV_STDCALL GetStreamValue(void* buffer, uint32_t size, uint32_t flag, uint32_t kind) = 0;
  virtual HRESULT CV_STDCALL Reserved8() = 0;
  virtual HRESULT CV_STDCALL Close() = 0;
  virtual HRESULT CV_STDCALL IsClosed() = 0;
  virtual HRESULT CV_STDCALL Open(uint32_t unused1, uint32_t unused2) = 0;
  virtual HRESULT CV_STDCALL SetFileName(const wchar16* name) = 0;
  virtual HRESULT CV_STDCALL GetFileName(wchar16* buffer, uint32_t length) = 0;
  virtual HRESULT CV_STDCALL GetDuration(uint64_t* out) = 0;
  virtual HRESULT CV_STDCALL GetStreamCount(uint32_t* out) = 0;
  virtual HRESULT CV_STDCALL GetAttributes(uint32_t* out) = 0;
  virtual HRESULT CV_STDCALL GetStreamInfos(StreamInfoRecord* records, uint32_t first, uint32_t count) = 0;
  virtual HRESULT CV_STDCALL GetStreamType(uint32_t index, uint32_t* type, uint32_t* second) = 0;
  virtual HRESULT CV_STDCALL FindStream(uint32_t n, uint32_t type, uint32_t* index) = 0;
  virtual HRESULT CV_STDCALL GetStream(ICvAudioStreamEx** out, uint32_t type, uint32_t n, uint32_t reserved1,
                                       uint32_t reserved2, const void* renderTemplate) = 0;
  virtual HRESULT CV_STDCALL ConfigureStream(uint32_t index, uint32_t reserved1, uint32_t reserved2,
                                             const void* renderTemplate) = 0;
  virtual HRESULT CV_STDCALL GetMetadata(ICvMetadataSource** out) = 0;
};

struct ICvFileType : IUnknown {
  virtual HRESULT CV_STDCALL SetIndex(uint32_t index) = 0;
  virtual uint32_t CV_STDCALL GetIndex() = 0;  // a plain value
  virtual HRESULT CV_STDCALL SetHost(ICvFileHost* host) = 0;
  virtual HRESULT CV_STDCALL GetClassGuid(GUID* out) = 0;
  virtual HRESULT CV_STDCALL GetAttributes(uint32_t* out) = 0;
  virtual HRESULT CV_STDCALL GetFlags(uint32_t* out) = 0;
  virtual HRESULT CV_STDCALL FindRenderer(void* out) = 0;
  virtual HRESULT CV_STDCALL GetStrings(wchar16* description, uint32_t descriptionLength, wchar16* filter,
                                        uint32_t filterLength, wchar16* name, uint32_t nameLength) = 0;
  virtual HRESULT CV_STDCALL CheckHeader(HANDLE file, const uint8_t* bytes, uint32_t count, uint32_t flags) = 0;
  virtual HRESULT CV_STDCALL CheckFile(const wchar16* path) = 0;
  virtual HRESULT CV_STDCALL CreateReader(ICvFileReader** out, HANDLE file, const wchar16* path, uint32_t open) = 0;
  virtual HRESULT CV_STDCALL Reserved14(uint32_t a, uint32_t b) = 0;
};

// The renderer: descriptor slots 3 to 11 (shared in meaning with the file type),
// then the template, render-job and page operations, then the destructor.
struct ICvFileRenderer : IUnknown {
  virtual HRESULT CV_STDCALL SetIndex(uint32_t index) = 0;
  virtual uint32_t CV_STDCALL GetIndex() = 0;  // a plain value
  virtual HRESULT CV_STDCALL SetHost(ICvFileHost* host) = 0;
  virtual HRESULT CV_STDCALL GetHost(ICvFileHost** out) = 0;
  virtual HRESULT CV_STDCALL GetClassGuid(GUID* out) = 0;
  virtual HRESULT CV_STDCALL GetAttributes(uint32_t* out) = 0;
  virtual HRESULT CV_STDCALL GetFlags(uint32_t* out) = 0;
  virtual HRESULT CV_STDCALL FindFileType(void* out) = 0;
  virtual HRESULT CV_STDCALL GetStrings(wchar16* description, uint32_t descriptionLength, wchar16* filter,
                                        uint32_t filterLength, wchar16* name, uint32_t nameLength) = 0;
  virtual HRESULT CV_STDCALL Reserved12(uint32_t a, uint32_t b, uint32_t c) = 0;
  virtual HRESULT CV_STDCALL CreateRenderJob(ICvRenderJob** out, const wchar16* fileName, uint32_t count,
                                             IUnknown* const* streams) = 0;
  virtual HRESULT CV_STDCALL GetTemplateCount(uint32_t* out) = 0;
  virtual HRESULT CV_STDCALL GetTemplateName(uint32_t index, wchar16* buffer, uint32_t length) = 0;
  virtual HRESULT CV_STDCALL GetTemplateDescription(uint32_t index, wchar16* buffer, uint32_t length) = 0;
  virtual HRESULT CV_STDCALL SelectTemplate(uint32_t index) = 0;
  virtual HRESULT CV_STDCALL GetTemplateFlags(uint32_t index, uint32_t* out) = 0;
  virtual HRESULT CV_STDCALL SaveTemplate(const void* key, uint32_t clearModified) = 0;
  virtual HRESULT CV_STDCALL LoadTemplate(const void* key) = 0;
  virtual HRESULT CV_STDCALL Reserved21(uint32_t a, uint32_t b) = 0;
  virtual uint32_t CV_STDCALL IsTemplateUnmodified() = 0;  // a plain value
  virtual HRESULT CV_STDCALL PrepareTemplate(void* renderTemplate) = 0;
  virtual HRESULT CV_STDCALL GetCurrentTemplate(void** out) = 0;
  virtual HRESULT CV_STDCALL SetCurrentTemplate(const void* renderTemplate) = 0;
  virtual HRESULT CV_STDCALL FreeTemplate(void* renderTemplate) = 0;
  virtual HRESULT CV_STDCALL Reserved27() = 0;
  virtual HRESULT CV_STDCALL CreatePropertyPage(uint32_t index, IUnknown** out) = 0;
  virtual HRESULT CV_STDCALL Reserved29(uint32_t a, uint32_t b) = 0;
  virtual HRESULT CV_STDCALL Reserved30() = 0;
  virtual HRESULT CV_STDCALL GetPlugInInfo(void* record) = 0;
  virtual void CV_STDCALL Destroy() = 0;
};

// The metadata tag enumeration of the renderer: the INFO codes it writes.
struct ICvInfoTagEnum : IUnknown {
  virtual HRESULT CV_STDCALL Reset() = 0;
  // S_FALSE past the last code; each out is written only when not null.
  virtual HRESULT CV_STDCALL Next(uint32_t* code, uint32_t* value) = 0;
};

// The renderer's format page: the property page protocol, then the limits of
// what it offers and a reload of the renderer's current template.
struct ICvFormatPage : IPropertyPage {
  // The source audio's format (kept, not copied), a value the page ignores, the
  // highest sample rate and bit depth offered, and whether the "Multiple"
  // layouts are withheld.
  virtual HRESULT CV_STDCALL SetLimits(const WAVEFORMATEX* source, uint32_t ignored, uint32_t maxSampleRate,
                                       uint32_t maxBitDepth, int32_t noMultiple) = 0;
  virtual HRESULT CV_STDCALL Refresh() = 0;
};

// One render into one file.
struct ICvRenderJob : IUnknown {
  virtual HRESULT CV_STDCALL GetRenderer(ICvFileRenderer** out) = 0;
  virtual HRESULT CV_STDCALL Reserved4() = 0;
  virtual HRESULT CV_STDCALL Reserved5() = 0;
  virtual HRESULT CV_STDCALL Reserved6() = 0;
  virtual HRESULT CV_STDCALL SetFileName(const wchar16* name) = 0;
  virtual HRESULT CV_STDCALL GetFileName(wchar16* buffer, uint32_t length) = 0;
  virtual HRESULT CV_STDCALL GetRendererObject(IUnknown** out) = 0;
  virtual HRESULT CV_STDCALL GetStreamCount(uint32_t* out) = 0;
  virtual HRESULT CV_STDCALL Reserved11() = 0;
  virtual HRESULT CV_STDCALL Reserved12() = 0;
  virtual HRESULT CV_STDCALL GetTemplate(void** out) = 0;
  virtual HRESULT CV_STDCALL FreeTemplate(void* handle) = 0;
  virtual HRESULT CV_STDCALL AddStream(IUnknown* stream, uint32_t index) = 0;
  virtual HRESULT CV_STDCALL SetMetadata(ICvMetadataSource* metadata) = 0;
  virtual HRESULT CV_STDCALL Render(ICvProgressSink* progress) = 0;
  virtual HRESULT CV_STDCALL WriteMetadata(uint32_t sampleRate) = 0;
  virtual HRESULT CV_STDCALL Reserved19() = 0;
  virtual HRESULT CV_STDCALL Reserved20() = 0;
  virtual void CV_STDCALL Destroy() = 0;
};

// The job's second interface: takes the first stream's format into the job's
// template.
struct ICvRenderJobFormat : IUnknown {
  virtual HRESULT CV_STDCALL AdoptStreamFormat() = 0;
};

}  // namespace cv
