#include "tests/host/host_harness.h"

#include "ffplugs/cvla/module/inproc_host.h"
#include "krn/platform/codepage.h"
#include "krn/platform/file.h"
#include "krn/results.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace cvtest {

ModuleScope::ModuleScope() { cvla::StartInProcess(); }
ModuleScope::~ModuleScope() { cvla::StopInProcess(); }

namespace {

// A template record with its own format block, as the store hands it out.
struct StoredTemplate {
  qla::RenderTemplate record{};
  qla::TemplateFormatBlock block{};
};

}  // namespace

struct TestHost::State {
  struct FileHost final : cv::ICvFileHost {
    explicit FileHost(State* s) : state(s) {}
    HRESULT CV_STDCALL QueryInterface(REFIID iid, void** out) override { return state->Query(iid, out); }
    ULONG CV_STDCALL AddRef() override { return static_cast<ULONG>(++state->references); }
    ULONG CV_STDCALL Release() override { return static_cast<ULONG>(--state->references); }
    HRESULT CV_STDCALL Reserved3() override { return cv::kE_NOTIMPL; }
    HRESULT CV_STDCALL Reserved4() override { return cv::kE_NOTIMPL; }
    HRESULT CV_STDCALL Reserved5() override { return cv::kE_NOTIMPL; }
    HRESULT CV_STDCALL Reserved6() override { return cv::kE_NOTIMPL; }
    HRESULT CV_STDCALL Reserved7() override { return cv::kE_NOTIMPL; }
    HRESULT CV_STDCALL Reserved8() override { return cv::kE_NOTIMPL; }
    HRESULT CV_STDCALL Reserved9() override { return cv::kE_NOTIMPL; }
    HRESULT CV_STDCALL Reserved10() override { return cv::kE_NOTIMPL; }
    HRESULT CV_STDCALL Reserved11() override { return cv::kE_NOTIMPL; }
    HRESULT CV_STDCALL Reserved12() override { return cv::kE_NOTIMPL; }
    HRESULT CV_STDCALL Reserved13() override { return cv::kE_NOTIMPL; }
    HRESULT CV_STDCALL FindFileType(void*, const GUID* formatClass) override {
      state->lastGuid = *formatClass;
      return state->findResult;
    }
    HRESULT CV_STDCALL FindRenderer(void*, const GUID* formatClass) override {
      state->lastGuid = *formatClass;
      return state->findResult;
    }
    State* state;
  };

  struct Properties final : cv::ICvHostProperties {
    explicit Properties(State* s) : state(s) {}
    HRESULT CV_STDCALL QueryInterface(REFIID iid, void** out) override { return state->Query(iid, out); }
    ULONG CV_STDCALL AddRef() override { return static_cast<ULONG>(++state->references); }
    ULONG CV_STDCALL Release() override { return static_cast<ULONG>(--state->references); }
    HRESULT CV_STDCALL Reserved3() override { return cv::kE_NOTIMPL; }
    HRESULT CV_STDCALL Reserved4() override { return cv::kE_NOTIMPL; }
    HRESULT CV_STDCALL Reserved5() override { return cv::kE_NOTIMPL; }
    HRESULT CV_STDCALL Reserved6() override { return cv::kE_NOTIMPL; }
    int32_t CV_STDCALL GetValue(uint32_t id, void* buffer, uint32_t size) override {
      ++state->languageQueries;
      if (id != cv::kHostPropertyLanguage || size < 4) return 0;
      std::memcpy(buffer, &state->language, 4);
      return 1;
    }
    State* state;
  };

  struct Store final : cv::ICvTemplateStore {
    explicit Store(State* s) : state(s) {}
    HRESULT CV_STDCALL QueryInterface(REFIID iid, void** out) override { return state->Query(iid, out); }
    ULONG CV_STDCALL AddRef() override { return static_cast<ULONG>(++state->references); }
    ULONG CV_STDCALL Release() override { return static_cast<ULONG>(--state->references); }
    void* CV_STDCALL CreateTemplate() override {
      if (state->storeFull) return nullptr;
      auto stored = std::make_unique<StoredTemplate>();
      stored->record.size = qla::kTemplateRecordSize;
      stored->record.format = &stored->block;
      void* handle = &stored->record;
      state->templates[handle] = std::move(stored);
      return handle;
    }
    HRESULT CV_STDCALL FreeTemplate(void* handle) override {
      return state->templates.erase(handle) ? cv::kS_OK : cv::kE_INVALIDARG;
    }
    HRESULT CV_STDCALL CopyTemplate(void* destination, const void* source) override {
      auto it = state->templates.find(destination);
      if (it == state->templates.end() || !source) return cv::kE_INVALIDARG;
      Assign(*it->second, *static_cast<const qla::RenderTemplate*>(source));
      return cv::kS_OK;
    }
    HRESULT CV_STDCALL LoadTemplate(void* handle, const void* key, DWORD flags) override {
      auto it = state->templates.find(handle);
      auto saved = state->saved.find(key);
      if (it == state->templates.end() || flags != qla::kTemplateFlagsPrepared) return cv::kE_INVALIDARG;
      if (saved == state->saved.end()) return cv::CVERR_NOT_FOUND;
      Assign(*it->second, saved->second->record);
      return cv::kS_OK;
    }
    HRESULT CV_STDCALL SaveTemplate(void* handle, const void* key) override {
      auto it = state->templates.find(handle);
      if (it == state->templates.end()) return cv::kE_INVALIDARG;
      auto copy = std::make_unique<StoredTemplate>();
      Assign(*copy, it->second->record);
      state->saved[key] = std::move(copy);
      return cv::kS_OK;
    }
    // A record keeps its own format block whatever it is copied from.
    static void Assign(StoredTemplate& to, const qla::RenderTemplate& from) {
      to.record = from;
      to.record.format = &to.block;
      if (from.format) to.block = *from.format;
    }
    State* state;
  };

  HRESULT Query(REFIID iid, void** out) {
    *out = nullptr;
    if (iid == cv::kIID_IUnknown || iid == cv::IID_ICvFileHost)
      *out = static_cast<cv::ICvFileHost*>(&host);
    else if (iid == cv::IID_ICvHostProperties)
      *out = static_cast<cv::ICvHostProperties*>(&properties);
    else if (iid == cv::IID_ICvTemplateStore)
      *out = static_cast<cv::ICvTemplateStore*>(&store);
    else
      return cv::kE_NOINTERFACE;
    ++references;
    return cv::kS_OK;
  }

  FileHost host{this};
  Properties properties{this};
  Store store{this};
  long references = 1;
  uint32_t language = 1033;
  HRESULT findResult = cv::kS_OK;
  int languageQueries = 0;
  GUID lastGuid{};
  bool storeFull = false;
  std::map<const void*, std::unique_ptr<StoredTemplate>> templates;
  std::map<const void*, std::unique_ptr<StoredTemplate>> saved;  // by key
};

TestHost::TestHost() : state_(std::make_unique<State>()) {}
TestHost::~TestHost() = default;

cv::ICvFileHost* TestHost::Host() { return &state_->host; }
void TestHost::SetFindResult(HRESULT result) { state_->findResult = result; }
long TestHost::References() const { return state_->references; }
int TestHost::LanguageQueries() const { return state_->languageQueries; }
const GUID& TestHost::LastFindGuid() const { return state_->lastGuid; }
size_t TestHost::LiveTemplates() const { return state_->templates.size(); }
void TestHost::SetStoreFull(bool full) { state_->storeFull = full; }

HRESULT CreatePlugInObject(const IID& iid, void** out) { return cvla::CreatePlugInObject(iid, out); }

HRESULT CreateFileTypeLikeHost(cv::ICvFileHost* host, uint32_t index, cv::ICvFileType** out,
                               IClassFactory* factory) {
  *out = nullptr;
  cv::ICvFileType* fileType = nullptr;
  void** slot = reinterpret_cast<void**>(&fileType);
  HRESULT hr = factory ? factory->CreateInstance(nullptr, cv::IID_ICvFileType, slot)
                       : CreatePlugInObject(cv::IID_ICvFileType, slot);
  if (cv::Failed(hr)) return hr;
  IUnknown* unknown = nullptr;
  hr = fileType->QueryInterface(cv::kIID_IUnknown, reinterpret_cast<void**>(&unknown));
  if (cv::Succeeded(hr)) unknown->Release();
  GUID classGuid{};
  wchar16 description[260], filter[260], name[260];
  if (cv::Succeeded(hr)) hr = fileType->SetHost(host);
  if (cv::Succeeded(hr)) hr = fileType->GetClassGuid(&classGuid);
  if (cv::Succeeded(hr)) hr = fileType->GetStrings(description, 260, filter, 260, name, 260);
  if (cv::Succeeded(hr)) hr = fileType->SetIndex(index);
  if (cv::Failed(hr)) {
    fileType->Release();
    return hr;
  }
  *out = fileType;
  return cv::kS_OK;
}

void OpenedQlaFile::Reset() {
  if (stream) stream->Release();
  if (reader) reader->Release();
  stream = nullptr;
  reader = nullptr;
  frames = 0;
}

std::basic_string<wchar16> WidePath(const std::string& path) { return cvplat::AnsiToWideString(path); }

HRESULT OpenQlaFile(cv::ICvFileType* fileType, const std::string& path, OpenedQlaFile* out) {
  out->Reset();
  HANDLE file = cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  if (file == INVALID_HANDLE_VALUE) return cv::CVERR_FILE_OPEN;
  uint8_t first[cvla::kHostHeaderBytes] = {};
  DWORD read = 0;
  if (!cvplat::ReadFileBytes(file, first, sizeof(first), &read)) {
    cvplat::CloseFile(file);
    return cv::CVERR_FILE_READ;
  }
  HRESULT hr = fileType->CheckHeader(file, first, read, 0);
  if (cv::Failed(hr)) {
    cvplat::CloseFile(file);
    return hr;
  }
  std::basic_string<wchar16> wide = WidePath(path);
  hr = fileType->CreateReader(&out->reader, file, wide.c_str(), 1);  // consumes the handle
  if (cv::Failed(hr)) return hr;
  hr = out->reader->GetStream(&out->stream, 0xFFFFFFFFu, 0, 0, 0, nullptr);
  if (cv::Failed(hr)) return hr;
  uint32_t needed = 0;
  hr = out->stream->GetFormat(&out->format, sizeof(out->format), &needed, nullptr, 0, nullptr);
  if (cv::Failed(hr)) return hr;
  return out->stream->GetLength(&out->frames);
}

HRESULT RenderLikeHost(cv::ICvFileRenderer* renderer, const std::string& path, const std::vector<IUnknown*>& streams,
                       cv::ICvMetadataSource* metadata, cv::ICvProgressSink* progress) {
  cv::ICvRenderJob* job = nullptr;
  std::basic_string<wchar16> wide = WidePath(path);
  HRESULT hr = renderer->CreateRenderJob(&job, wide.c_str(), static_cast<uint32_t>(streams.size()),
                                         streams.empty() ? nullptr : streams.data());
  if (cv::Failed(hr)) return hr;
  cv::ICvRenderJobFormat* format = nullptr;
  if (!streams.empty() && cv::Succeeded(hr = job->QueryInterface(cv::IID_ICvRenderJobFormat,
                                                                  reinterpret_cast<void**>(&format)))) {
    hr = format->AdoptStreamFormat();
    format->Release();
  }
  if (cv::Succeeded(hr) && metadata) hr = job->SetMetadata(metadata);
  if (cv::Succeeded(hr)) hr = job->Render(progress);
  job->Release();
  return hr;
}

HRESULT ReadFrames(cv::ICvAudioStream* stream, const WAVEFORMATEX& format, uint64_t position, uint32_t frames,
                   std::vector<uint8_t>* bytes) {
  bytes->assign(static_cast<size_t>(frames) * format.nBlockAlign, 0);
  uint32_t got = 0;
  HRESULT hr = stream->Read(position, bytes->data(), frames, &got);
  bytes->resize(static_cast<size_t>(got) * format.nBlockAlign);
  return hr;
}

HRESULT ReadAllFrames(const OpenedQlaFile& file, uint32_t chunk, std::vector<uint8_t>* bytes) {
  bytes->clear();
  std::vector<uint8_t> part;
  for (uint64_t position = 0; position < file.frames;) {
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(chunk, file.frames - position));
    HRESULT hr = ReadFrames(file.stream, file.format, position, n, &part);
    if (hr != cv::kS_OK) return cv::Failed(hr) ? hr : cv::kE_UNEXPECTED;
    if (part.empty()) return cv::kE_UNEXPECTED;
    bytes->insert(bytes->end(), part.begin(), part.end());
    position += part.size() / file.format.nBlockAlign;
  }
  return cv::kS_OK;
}

}  // namespace cvtest
