#include "krn/string_table.h"

#include "krn/platform/string_resources.h"
#include "krn/platform/sync.h"
#include "krn/results.h"
#include "krn/text_format.h"

#include <cstring>
#include <new>

namespace cv {

namespace {

constexpr size_t kFetchBufferSize = 1024;
constexpr LANGID kPrimaryLanguageMask = 0x3FF;
constexpr LANGID kLanguageEnglish = 9;

struct StringRange {
  UINT firstId = 0;
  UINT count = 0;
  const char* const* texts = nullptr;  // built-in texts, owned by the caller
  char** cached = nullptr;             // heap copies, one slot per id
  StringRange* next = nullptr;

  bool Holds(UINT id) const { return id >= firstId && id - firstId < count; }
  bool Overlaps(UINT first, UINT n) const { return first < firstId + count && firstId < first + n; }
};

// Removes every "^*" marker from a resource text, in place.
void RemoveMarkers(char* text) {
  char* out = text;
  for (const char* in = text; *in;) {
    if (in[0] == '^' && in[1] == '*') {
      in += 2;
      continue;
    }
    *out++ = *in++;
  }
  *out = '\0';
}

char* CopyText(const char* text) {
  const size_t length = std::strlen(text);
  char* copy = new (std::nothrow) char[length + 1];
  if (copy) std::memcpy(copy, text, length + 1);
  return copy;
}

const char* Diagnostic(UINT id) {
  thread_local char buffer[64];
  ExpandText(buffer, sizeof buffer, "CvGetString2(uId=%d, ERROR)", static_cast<int>(id));
  return buffer;
}

}  // namespace

struct StringTable {
  explicit StringTable(HMODULE m) : module(m) {}
  ~StringTable() {
    while (ranges) {
      StringRange* range = ranges;
      ranges = range->next;
      for (UINT i = 0; i < range->count; ++i) delete[] range->cached[i];
      delete[] range->cached;
      delete range;
    }
  }

  StringRange* Find(UINT id) const {
    for (StringRange* r = ranges; r; r = r->next)
      if (r->Holds(id)) return r;
    return nullptr;
  }

  // Reads the resource text of `id` into `buffer`: the resource module in the
  // table's language first, then the bound module's own strings. False when
  // neither has it.
  bool FetchResource(UINT id, char* buffer) const {
    const bool found =
        (resourceModule && cvplat::LoadStringResourceInLanguage(resourceModule, language, id, buffer,
                                                                kFetchBufferSize)) ||
        cvplat::LoadModuleStringResource(module, id, buffer, kFetchBufferSize);
    if (found) RemoveMarkers(buffer);
    return found;
  }

  // Caches a fetched resource text as the entry's copy and returns it. Without
  // memory for the copy the text is handed out in a buffer of the thread.
  const char* Keep(StringRange* range, UINT index, const char (&fetched)[kFetchBufferSize]) {
    if (!*fetched) return "";
    range->cached[index] = CopyText(fetched);
    if (range->cached[index]) return range->cached[index];
    thread_local char uncached[kFetchBufferSize];
    std::memcpy(uncached, fetched, kFetchBufferSize);
    return uncached;
  }

  cvplat::RecursiveMutex lock;
  HMODULE module;
  HMODULE resourceModule = nullptr;
  LANGID language = 0;
  StringRange* ranges = nullptr;
};

StringTable* CreateStringTable(HMODULE module) {
  StringTable* table = new (std::nothrow) StringTable(module);
  if (table && !table->lock.IsValid()) {
    delete table;
    return nullptr;
  }
  return table;
}

void DestroyStringTable(StringTable* table) { delete table; }

HMODULE StringTableResourceModule(StringTable* table) {
  if (!table) return nullptr;
  cvplat::MutexLock hold(table->lock);
  return table->resourceModule;
}

[[nodiscard]] HRESULT SetStringTableLanguage(StringTable* table, LANGID language, HMODULE resourceModule) {
  if (!table) return kE_INVALIDARG;
  cvplat::MutexLock hold(table->lock);
  const bool english = (language & kPrimaryLanguageMask) == kLanguageEnglish;
  table->language = language;
  table->resourceModule = english ? nullptr : resourceModule;
  return kS_OK;
}

[[nodiscard]] HRESULT AddStringRange(StringTable* table, const char* const* texts, UINT count, UINT firstId) {
  if (!table || count == 0) return kE_INVALIDARG;
  if (firstId > UINT(-1) - count) return kE_INVALIDARG;
  cvplat::MutexLock hold(table->lock);
  for (const StringRange* r = table->ranges; r; r = r->next)
    if (r->Overlaps(firstId, count)) return kE_INVALIDARG;

  StringRange* range = new (std::nothrow) StringRange;
  char** cached = new (std::nothrow) char*[count]();
  if (!range || !cached) {
    delete range;
    delete[] cached;
    return kE_OUTOFMEMORY;
  }
  range->firstId = firstId;
  range->count = count;
  range->texts = texts;
  range->cached = cached;
  range->next = table->ranges;
  table->ranges = range;
  return kS_OK;
}

const char* CvGetString2(StringTable* table, UINT id) {
  if (!table) return Diagnostic(id);
  cvplat::MutexLock hold(table->lock);
  StringRange* range = table->Find(id);
  if (!range) return Diagnostic(id);

  const UINT index = id - range->firstId;
  if (range->cached[index]) return range->cached[index];

  char fetched[kFetchBufferSize];
  if (table->FetchResource(id, fetched)) return table->Keep(range, index, fetched);
  const char* builtIn = range->texts ? range->texts[index] : nullptr;
  if (!builtIn || !*builtIn) return "";
  range->cached[index] = CopyText(builtIn);
  return range->cached[index] ? range->cached[index] : builtIn;
}

}  // namespace cv
