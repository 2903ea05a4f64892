#include "krn/shared_services.h"

#include "krn/message_texts.h"
#include "krn/results.h"

#include <atomic>

namespace cv {

namespace {
std::atomic<StringTable*> g_processTable{nullptr};
}  // namespace

[[nodiscard]] HRESULT StartSharedServices(HMODULE module) {
  if (g_processTable.load()) return kS_FALSE;
  StringTable* table = CreateStringTable(module);
  if (!table) return kE_OUTOFMEMORY;
  const HRESULT hr = AddStringRange(table, MessageBlockTexts(), kMessageBlockCount, kMessageBlockFirstId);
  if (Failed(hr)) {
    DestroyStringTable(table);
    return hr;
  }
  StringTable* expected = nullptr;
  if (!g_processTable.compare_exchange_strong(expected, table)) {
    DestroyStringTable(table);  // another thread started them meanwhile
    return kS_FALSE;
  }
  return kS_OK;
}

void StopSharedServices() { DestroyStringTable(g_processTable.exchange(nullptr)); }

StringTable* ProcessStringTable() { return g_processTable.load(); }

const char* SharedString(UINT id) {
  if (StringTable* table = g_processTable.load()) return CvGetString2(table, id);
  if (id < kMessageBlockFirstId || id - kMessageBlockFirstId >= kMessageBlockCount) return CvGetString2(nullptr, id);
  const char* text = MessageBlockTexts()[id - kMessageBlockFirstId];
  return text ? text : "";
}

}  // namespace cv
