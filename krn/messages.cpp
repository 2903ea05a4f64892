#include "krn/messages.h"

#include "krn/platform/sync.h"
#include "krn/shared_services.h"
#include "krn/text_format.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace cv {

namespace {

constexpr uintptr_t kFirstTextAddress = 0x10000;

struct MessageTable {
  const ResultMessageRow* rows;
  size_t count;
};

// Registered tables: slots are filled before the count that publishes them, so
// lookups read them without a lock.
MessageTable g_tables[kMaxMessageTables];
std::atomic<size_t> g_tableCount{0};

cvplat::RecursiveMutex& RegistrationLock() {
  static cvplat::RecursiveMutex* lock = new cvplat::RecursiveMutex;
  return *lock;
}

// Resolves a text reference: 0 is no text, a small value a string id, a large
// one the text's address.
const char* ResolveText(uintptr_t reference) {
  if (reference == 0) return nullptr;
  if (reference >= kFirstTextAddress) return reinterpret_cast<const char*>(reference);
  return SharedString(static_cast<UINT>(reference));
}

const ResultMessageRow* FindRow(const ResultMessageRow* rows, size_t count, uint32_t code) {
  for (size_t i = 0; i < count; ++i)
    if (rows[i].code == code) return &rows[i];
  return nullptr;
}

const ResultMessageRow* FindMessageRow(uint32_t code) {
  const size_t registered = g_tableCount.load(std::memory_order_acquire);
  for (size_t t = 0; t < registered; ++t)
    if (const ResultMessageRow* row = FindRow(g_tables[t].rows, g_tables[t].count, code)) return row;
  return FindRow(ErrorMessageTable, kErrorMessageTableRows, code);
}

}  // namespace

const char* GetResultMessage(HRESULT code) {
  const ResultMessageRow* row = FindMessageRow(static_cast<uint32_t>(code));
  if (!row) return nullptr;
  const char* text = ResolveText(row->text);
  return (text && *text) ? text : nullptr;
}

const char* GetErrorTitle(uintptr_t context) {
  if (context > 0xFFFF) return reinterpret_cast<const char*>(context);
  for (size_t i = 0; i < kErrorTitleTableRows; ++i) {
    if (ErrorTitleTable[i].context != context) continue;
    const char* text = ResolveText(ErrorTitleTable[i].text);
    if (text && *text) return text;
    break;
  }
  return SharedString(kFirstTitleId);
}

const char* ComposeErrorText(uintptr_t context, HRESULT code, const char* argument) {
  thread_local char buffer[kComposedTextSize];
  const size_t titleLength = static_cast<size_t>(
      ExpandText(buffer, sizeof buffer, GetErrorTitle(context), argument ? argument : ""));
  if (titleLength + 1 >= sizeof buffer) return buffer;

  // A code without a message still shows its number, set apart from the title
  // by an empty line as every message text is.
  char missing[256] = "\n\n";
  const char* message = GetResultMessage(code);
  if (!message) {
    ExpandText(missing + 2, sizeof missing - 2, SharedString(kMissingMessageId), static_cast<unsigned>(code));
    message = missing;
  }
  const size_t room = sizeof buffer - 1 - titleLength;
  const size_t length = std::min(std::strlen(message), room);
  std::memcpy(buffer + titleLength, message, length);
  buffer[titleLength + length] = '\0';
  return buffer;
}

int AddResultMessageTable(const ResultMessageRow* rows, size_t count) {
  if (!rows || count == 0) return 1;
  cvplat::MutexLock hold(RegistrationLock());
  const size_t registered = g_tableCount.load(std::memory_order_relaxed);
  if (registered >= kMaxMessageTables) return 1;
  g_tables[registered] = {rows, count};
  g_tableCount.store(registered + 1, std::memory_order_release);
  return 0;
}

void ClearResultMessageTablesForTest() {
  cvplat::MutexLock hold(RegistrationLock());
  g_tableCount.store(0, std::memory_order_release);
}

}  // namespace cv
