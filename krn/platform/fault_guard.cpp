#include "krn/platform/fault_guard.h"

#include "krn/platform/win_types.h"

#ifdef _WIN32
#include <float.h>
#include <intrin.h>
#endif

namespace cvplat {

#if defined(_WIN32) && defined(__i386__)

// 32-bit Windows: an exception registration record of our own on the thread's
// frame chain (fs:[0]). Handlers of the code called inside get the exception
// first; when none of them takes it, ours unwinds their frames and resumes at
// the point recorded before the call.
namespace {

constexpr DWORD kUnwindingFlags = 0x2 | 0x4;  // unwinding, exit unwind

struct GuardFrame {
  GuardFrame* next;  // the record's layout: next record, then handler
  void* handler;
  void* resume[5];   // __builtin_setjmp buffer
};

extern "C" EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*, void*) {
  if (record->ExceptionFlags & kUnwindingFlags) return ExceptionContinueSearch;
  // Runs the unwind handlers of the frames inside and leaves ours innermost.
  ::RtlUnwind(frame, nullptr, record, nullptr);
  __builtin_longjmp(static_cast<GuardFrame*>(frame)->resume, 1);
}

}  // namespace

bool RunGuarded(void (*work)(void*), void* context) {
  GuardFrame frame;
  frame.next = reinterpret_cast<GuardFrame*>(__readfsdword(0));
  frame.handler = reinterpret_cast<void*>(&GuardHandler);
  if (__builtin_setjmp(frame.resume) == 0) {
    __writefsdword(0, reinterpret_cast<DWORD>(&frame));
    work(context);
    __writefsdword(0, reinterpret_cast<DWORD>(frame.next));
    return true;
  }
  __writefsdword(0, reinterpret_cast<DWORD>(frame.next));
  _fpreset();
  return false;
}

#elif defined(_WIN32)

// 64-bit Windows (the test build): exception handling is table-driven, so a
// vectored handler watches this thread while the work runs. It takes fault
// exceptions (severity "error") at their first chance, before handlers inside
// the work could, and resumes the thread at the point recorded before the call.
namespace {

struct GuardState {
  void* resume[5];  // __builtin_setjmp buffer
};

thread_local GuardState* t_guard = nullptr;

constexpr DWORD kErrorSeverity = 0xC0000000;

void ResumeAfterFault() { __builtin_longjmp(t_guard->resume, 1); }

LONG CALLBACK GuardHandler(EXCEPTION_POINTERS* pointers) {
  if (!t_guard || (pointers->ExceptionRecord->ExceptionCode & kErrorSeverity) != kErrorSeverity)
    return EXCEPTION_CONTINUE_SEARCH;
  CONTEXT* context = pointers->ContextRecord;
  // Below the faulting frame, aligned as after a call.
  context->Rsp = ((context->Rsp - 512) & ~static_cast<DWORD64>(15)) - 8;
  context->Rip = reinterpret_cast<DWORD64>(&ResumeAfterFault);
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

bool RunGuarded(void (*work)(void*), void* context) {
  GuardState state;
  GuardState* previous = t_guard;
  void* handler = ::AddVectoredExceptionHandler(1, &GuardHandler);
  bool completed = true;
  if (__builtin_setjmp(state.resume) == 0) {
    t_guard = &state;
    work(context);
  } else {
    completed = false;
    _fpreset();
  }
  t_guard = previous;
  if (handler) ::RemoveVectoredExceptionHandler(handler);
  return completed;
}

#else

bool RunGuarded(void (*work)(void*), void* context) {
  work(context);
  return true;
}

#endif

}  // namespace cvplat
