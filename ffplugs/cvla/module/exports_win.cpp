// The module's exported entry points. Each forwards to the portable code that
// implements it; the exports whose services this module does not offer yet
// answer E_NOTIMPL. The chunk services riffzz_FindChunkHeader and
// riffzz_SkipChunk are defined in krn/riff_exports.cpp.
#include "krn/platform/win_types.h"
#include "krn/results.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID, void** out) {
  if (out) *out = nullptr;
  return cv::kE_NOTIMPL;
}

HRESULT WINAPI DllCanUnloadNow() { return cv::kS_FALSE; }

HRESULT WINAPI DllInitClasses(DWORD) { return cv::kS_OK; }

HRESULT WINAPI DllRegisterServer() { return cv::kE_NOTIMPL; }

HRESULT WINAPI DllUnregisterServer() { return cv::kE_NOTIMPL; }

DWORD WINAPI CvACM_CreateList(DWORD*, void*, DWORD) { return static_cast<DWORD>(cv::kE_NOTIMPL); }

DWORD WINAPI CvAcm_Grovel(HWND, HINSTANCE, LPSTR, int) { return static_cast<DWORD>(cv::kE_NOTIMPL); }

}  // extern "C"
