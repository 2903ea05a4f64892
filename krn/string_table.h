// String tables: objects that own numbered texts. A table holds ranges of
// built-in texts (first id, count, texts) and may be bound to a module whose
// string resources, and to a resource module and language whose numbered
// strings, override the built-in texts. Looked-up texts are cached per entry, so
// the pointer that CvGetString2 returns stays valid until the table is
// destroyed. Every table carries its own lock; it may be used from any thread.
#pragma once

#include "krn/platform/win_types.h"

namespace cv {

struct StringTable;

// Makes an empty table bound to `module` (whose own string resources are read;
// nullptr: none). Returns null when there is no memory.
StringTable* CreateStringTable(HMODULE module);

// Frees the table and every cached text. Null is ignored.
void DestroyStringTable(StringTable* table);

// Selects the language and the module whose numbered string resources are read
// first. A language whose primary id (low 10 bits) is 9, English, or a null
// resource module reads the bound module's own resources instead. Call it
// before the first lookup: texts already read stay cached (their pointers stay
// valid). E_INVALIDARG for a null table.
[[nodiscard]] HRESULT SetStringTableLanguage(StringTable* table, LANGID language, HMODULE resourceModule);

// The module whose resources the table reads first for its language (a
// language resource module), or null when it reads the bound module's own.
HMODULE StringTableResourceModule(StringTable* table);

// Registers `count` built-in texts with the ids firstId .. firstId + count - 1.
// `texts` (entries may be null: no built-in text) must outlive the table.
// E_INVALIDARG: null table, count 0, or ids that overlap an existing range or
// run past the largest id; E_OUTOFMEMORY: no memory for the range.
[[nodiscard]] HRESULT AddStringRange(StringTable* table, const char* const* texts, UINT count, UINT firstId);

// Returns the text with that id, never null: the resource text (marker "^*"
// removed) or the built-in text, or "" when the entry has no text at all. An
// id outside every range, or a null table, gives the diagnostic
// "CvGetString2(uId=<id>, ERROR)" in a buffer of the calling thread that the
// thread's next diagnostic overwrites.
const char* CvGetString2(StringTable* table, UINT id);

}  // namespace cv
