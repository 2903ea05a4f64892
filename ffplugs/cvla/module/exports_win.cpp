// The module's exported entry points. Each forwards to the portable code that
// implements it; the exports whose services this module does not offer yet
// answer E_NOTIMPL. The chunk services riffzz_FindChunkHeader and
// riffzz_SkipChunk are defined in krn/riff_exports.cpp.
#include "ffplugs/cvla/module/class_factory.h"
#include "ffplugs/cvla/module/module_state.h"
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

HRESULT WINAPI DllRegisterServer() { return cv::kE_NOTIMPL; }

HRESULT WINAPI DllUnregisterServer() { return cv::kE_NOTIMPL; }

DWORD WINAPI CvACM_CreateList(DWORD*, void*, DWORD) { return static_cast<DWORD>(cv::kE_NOTIMPL); }

DWORD WINAPI CvAcm_Grovel(HWND, HINSTANCE, LPSTR, int) { return static_cast<DWORD>(cv::kE_NOTIMPL); }

}  // extern "C"
