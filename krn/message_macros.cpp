#include "krn/message_macros.h"

#include "krn/platform/sync.h"
#include "krn/results.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace cv {

namespace {

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Case-insensitive three-way comparison of two counted names.
int CompareNames(const char* a, size_t aLength, const char* b, size_t bLength) {
  const size_t n = std::min(aLength, bLength);
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(FoldCase(a[i]));
    const unsigned char y = static_cast<unsigned char>(FoldCase(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (aLength == bLength) return 0;
  return aLength < bLength ? -1 : 1;
}

struct Macro {
  std::string name;
  std::string value;
};

// Kept sorted by name, so that lookups are binary searches.
class MessageMacroTable {
 public:
  [[nodiscard]] HRESULT Set(const char* name, size_t nameLength, const char* value) {
    cvplat::MutexLock hold(lock_);
    auto it = LowerBound(name, nameLength);
    const bool found = it != macros_.end() && Equal(*it, name, nameLength);
    if (!value) {
      if (found) macros_.erase(it);
      return kS_OK;
    }
    try {
      if (found) {
        it->value = value;
      } else {
        macros_.insert(it, Macro{std::string(name, nameLength), value});
      }
    } catch (const std::bad_alloc&) {
      return kE_OUTOFMEMORY;
    }
    return kS_OK;
  }

  void Clear() {
    cvplat::MutexLock hold(lock_);
    macros_.clear();
  }

  bool LookUp(const char* name, size_t nameLength, char* buffer, size_t bufferSize, size_t* valueLength) {
    cvplat::MutexLock hold(lock_);
    auto it = LowerBound(name, nameLength);
    if (it == macros_.end() || !Equal(*it, name, nameLength)) return false;
    if (valueLength) *valueLength = it->value.size();
    if (buffer && bufferSize) {
      const size_t n = std::min(it->value.size(), bufferSize - 1);
      std::memcpy(buffer, it->value.data(), n);
      buffer[n] = '\0';
    }
    return true;
  }

 private:
  static bool Equal(const Macro& m, const char* name, size_t nameLength) {
    return CompareNames(m.name.data(), m.name.size(), name, nameLength) == 0;
  }
  std::vector<Macro>::iterator LowerBound(const char* name, size_t nameLength) {
    return std::lower_bound(macros_.begin(), macros_.end(), nullptr, [&](const Macro& m, std::nullptr_t) {
      return CompareNames(m.name.data(), m.name.size(), name, nameLength) < 0;
    });
  }

  cvplat::RecursiveMutex lock_;
  std::vector<Macro> macros_;
};

// Never destroyed: texts may still be expanded while static objects go away.
MessageMacroTable& Table() {
  static MessageMacroTable* table = new MessageMacroTable;
  return *table;
}

}  // namespace

[[nodiscard]] HRESULT SetMessageMacro(const char* name, const char* value) {
  if (!name || !*name) return kE_INVALIDARG;
  const size_t length = std::strlen(name);
  if (length > kMaxMacroNameLength || std::strchr(name, ')')) return kE_INVALIDARG;
  return Table().Set(name, length, value);
}

void ClearMessageMacros() { Table().Clear(); }

bool LookUpMessageMacro(const char* name, size_t nameLength, char* buffer, size_t bufferSize,
                        size_t* valueLength) {
  if (!name) return false;
  return Table().LookUp(name, nameLength, buffer, bufferSize, valueLength);
}

}  // namespace cv
