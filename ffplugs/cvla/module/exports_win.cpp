// The module's exported entry points. Each forwards to the portable code that
// implements it. The chunk services riffzz_FindChunkHeader and
// riffzz_SkipChunk are defined in krn/riff_exports.cpp.
#include "ffplugs/cvla/acm/acm_list.h"
#include "ffplugs/cvla/module/class_factory.h"
#include "ffplugs/cvla/module/module_state.h"
#include "ffplugs/cvla/module/registration.h"
#include "krn/com_guard.h"
#include "krn/platform/win_types.h"
#include "krn/results.h"

extern "C" {

// Process attach starts the shared services and the plug-in's string table;
// detach tears them down. TRUE for every reason, also when a step failed.
BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) try {
  if (reason == DLL_PROCESS_ATTACH) cvla::ModuleAttach(module);
  if (reason == DLL_PROCESS_DETACH) cvla::ModuleDetach();
  return TRUE;
} CV_COM_CATCH_RETURN_VALUE(TRUE)

HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** out) try {
  return cvla::GetClassObject(classId, iid, out);
} CV_COM_CATCH_RETURN()

HRESULT WINAPI DllCanUnloadNow() try { return cvla::CanUnloadNow(); } CV_COM_CATCH_RETURN()

HRESULT WINAPI DllInitClasses(DWORD) { return cv::kS_OK; }

HRESULT WINAPI DllRegisterServer() try { return cvla::RegisterPlugIn(); } CV_COM_CATCH_RETURN()

HRESULT WINAPI DllUnregisterServer() try { return cvla::UnregisterPlugIn(); } CV_COM_CATCH_RETURN()

DWORD WINAPI CvACM_CreateList(DWORD* count, cvla::CVDRVFMT_DATAFMTS* list, DWORD flags) try {
  static_assert(sizeof(DWORD) == sizeof(uint32_t), "counts are 32 bits");
  return cvla::CreateFormatList(reinterpret_cast<uint32_t*>(count), list, flags);
} CV_COM_CATCH_RETURN_VALUE(static_cast<DWORD>(MMSYSERR_NOMEM))

// Run by rundll32 in the enumeration process; the command line names the
// event that wakes the waiting caller.
DWORD WINAPI CvAcm_Grovel(HWND, HINSTANCE, LPSTR commandLine, int) try {
  HRESULT com = ::CoInitialize(nullptr);
  cvla::RefreshCache(commandLine);
  if (SUCCEEDED(com)) ::CoUninitialize();
  return 0;
} CV_COM_CATCH_RETURN_VALUE(0)

}  // extern "C"
