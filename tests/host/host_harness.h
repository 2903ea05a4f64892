// A stand-in for the host application: a host object with its property and
// template-store interfaces, the module's start-up for a test, and the host's
// way of opening a ".qla" file through the plug-in's objects.
#pragma once

#include "ffplugs/cvla/cv_interfaces.h"
#include "ffplugs/cvla/host_records.h"
#include "krn/results.h"
#include "tests/support/riff_test_files.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cvtest {

// Attaches the module for the life of the object (natively with no module
// handle) and detaches it afterwards.
class ModuleScope {
 public:
  ModuleScope();
  ~ModuleScope();
  ModuleScope(const ModuleScope&) = delete;
  ModuleScope& operator=(const ModuleScope&) = delete;
};

// The host object: ICvFileHost, with ICvHostProperties (language 10001) and
// ICvTemplateStore (records of 1068 bytes with their own format block; saved
// copies kept by key) reached through QueryInterface. Lives on the stack of a test; its reference count and
// the calls it received can be inspected.
class TestHost {
 public:
  TestHost();
  ~TestHost();
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  cv::ICvFileHost* Host();

  // What slots 14 and 15 answer.
  void SetFindResult(HRESULT result);

  // References held on the host object and its two other interfaces together.
  long References() const;
  int LanguageQueries() const;
  const GUID& LastFindGuid() const;
  // Template records the store has handed out and not freed.
  size_t LiveTemplates() const;
  // A full store creates no records (CreateTemplate answers null).
  void SetStoreFull(bool full);

  struct State;

 private:
  std::unique_ptr<State> state_;
};

// A property page site that only counts its references.
struct TestPageSite final : IPropertyPageSite {
  HRESULT CV_STDCALL QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return cv::kE_NOINTERFACE;
  }
  ULONG CV_STDCALL AddRef() override { return ++references; }
  ULONG CV_STDCALL Release() override { return --references; }
  HRESULT CV_STDCALL OnStatusChange(DWORD) override { return cv::kS_OK; }
  HRESULT CV_STDCALL GetLocaleID(LCID*) override { return cv::kE_NOTIMPL; }
  HRESULT CV_STDCALL GetPageContainer(IUnknown**) override { return cv::kE_NOTIMPL; }
  HRESULT CV_STDCALL TranslateAccelerator(MSG*) override { return cv::kE_NOTIMPL; }
  ULONG references = 1;
};

// Creates an object through the module's class factory (DllGetClassObject with
// CLSID_QuartzlinePlugIn, then CreateInstance with iid). The module must be attached.
HRESULT CreatePlugInObject(const IID& iid, void** out);

// The host's creation sequence for a file type: create (through `factory` when
// given, else through the module's own), QueryInterface for IUnknown (released
// again), SetHost, GetClassGuid, GetStrings, SetIndex. Returns the first failing
// step's code.
HRESULT CreateFileTypeLikeHost(cv::ICvFileHost* host, uint32_t index, cv::ICvFileType** out,
                               IClassFactory* factory = nullptr);

// A reader and its stream, released on destruction (stream first).
struct OpenedQlaFile {
  cv::ICvFileReader* reader = nullptr;
  cv::ICvAudioStreamEx* stream = nullptr;
  WAVEFORMATEX format{};
  uint64_t frames = 0;

  OpenedQlaFile() = default;
  ~OpenedQlaFile() { Reset(); }
  OpenedQlaFile(const OpenedQlaFile&) = delete;
  OpenedQlaFile& operator=(const OpenedQlaFile&) = delete;
  void Reset();
};

// The host's open sequence: reads the first 256 bytes of the file itself,
// CheckHeader with its handle, CreateReader with the same handle, the path and
// open flag 1, GetStream (stream index 0, no template), GetFormat and GetLength.
// Returns the first failing step's code; on failure `out` keeps what was made.
HRESULT OpenQlaFile(cv::ICvFileType* fileType, const std::string& path, OpenedQlaFile* out);

// The host's render sequence: CreateRenderJob for the path and the streams,
// AdoptStreamFormat (when there is a stream), SetMetadata (when given), Render
// with the sink, Release. Returns the first failing step's code, else Render's.
HRESULT RenderLikeHost(cv::ICvFileRenderer* renderer, const std::string& path, const std::vector<IUnknown*>& streams,
                       cv::ICvMetadataSource* metadata = nullptr, cv::ICvProgressSink* progress = nullptr);

// Reads frames [position, position + frames) through the stream into bytes
// (resized to what was delivered). Returns the Read result.
HRESULT ReadFrames(cv::ICvAudioStream* stream, const WAVEFORMATEX& format, uint64_t position, uint32_t frames,
                   std::vector<uint8_t>* bytes);

// Reads the whole stream in requests of `chunk` frames.
HRESULT ReadAllFrames(const OpenedQlaFile& file, uint32_t chunk, std::vector<uint8_t>* bytes);

// UTF-16 form of a test path.
std::basic_string<wchar16> WidePath(const std::string& path);

}  // namespace cvtest
