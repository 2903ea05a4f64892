// A small host window around the renderer's format page, made the host's way
// through the loaded plug-in module, for a person to look at. It writes the file
// named by its second argument once the page is shown (the screenshot script
// waits for it) and closes itself after the seconds given as first argument.
// Usage: page_host.exe [seconds] [ready-file]
#include "ffplugs/cvla/cv_interfaces.h"
#include "krn/platform/module_path.h"
#include "krn/results.h"
#include "tests/host/host_harness.h"
#include "tests/support/pcm_test_stream.h"
#include "tests/support/plugin_path.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using GetClassObjectFunction = HRESULT(CV_STDCALL*)(const CLSID&, const IID&, void**);
constexpr int kMargin = 12;
constexpr UINT_PTR kCloseTimer = 1;

LRESULT CALLBACK HostWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER || message == WM_CLOSE) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateHostWindow(const std::string& title, SIZE page) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = HostWindowProcedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.lpszClassName = "QlaPageHost";
  RegisterClassA(&windowClass);
  RECT frame{0, 0, page.cx + 2 * kMargin, page.cy + 2 * kMargin};
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  AdjustWindowRect(&frame, style, FALSE);
  return CreateWindowExA(0, windowClass.lpszClassName, title.c_str(), style | WS_VISIBLE, 20, 20,
                         frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                         windowClass.hInstance, nullptr);
}

int Fail(const char* step, HRESULT hr) {
  std::fprintf(stderr, "page_host: %s failed (0x%08lX)\n", step, static_cast<unsigned long>(hr));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  const std::string readyFile = argc > 2 ? argv[2] : std::string();

  HMODULE module = nullptr;
  auto getClassObject = reinterpret_cast<GetClassObjectFunction>(
      cvplat::LoadPlugInExport(cvtest::FindPlugIn(), "DllGetClassObject", &module));
  if (!getClassObject) return Fail("loading cvqlplug.dll", cv::kE_FAIL);
  IClassFactory* factory = nullptr;
  HRESULT hr = getClassObject(cv::CLSID_QuartzlinePlugIn, cv::kIID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (cv::Failed(hr)) return Fail("DllGetClassObject", hr);
  cv::ICvFileRenderer* renderer = nullptr;
  hr = factory->CreateInstance(nullptr, cv::IID_ICvFileRenderer, reinterpret_cast<void**>(&renderer));
  factory->Release();
  if (cv::Failed(hr)) return Fail("CreateInstance", hr);

  cvtest::TestHost host;
  cvtest::TestPageSite site;
  renderer->SetHost(host.Host());
  IUnknown* unknown = nullptr;
  cv::ICvFormatPage* page = nullptr;
  if (cv::Failed(hr = renderer->CreatePropertyPage(0, &unknown))) return Fail("CreatePropertyPage", hr);
  hr = unknown->QueryInterface(cv::IID_ICvFormatPage, reinterpret_cast<void**>(&page));
  unknown->Release();
  if (cv::Failed(hr)) return Fail("QueryInterface", hr);

  // A stereo source: the page offers the two single-stream layouts and "Multiple Mono".
  const WAVEFORMATEX source = cvtest::PcmFormat(2, 44100, 16);
  page->SetLimits(&source, 0, 200000, 64, 0);
  page->SetPageSite(&site);
  IUnknown* objects[] = {renderer};
  if (cv::Failed(hr = page->SetObjects(1, objects))) return Fail("SetObjects", hr);
  PROPPAGEINFO info{};
  if (cv::Failed(hr = page->GetPageInfo(&info))) return Fail("GetPageInfo", hr);
  char title[260] = {};
  WideCharToMultiByte(CP_ACP, 0, info.pszTitle, -1, title, sizeof(title), nullptr, nullptr);
  CoTaskMemFree(info.pszTitle);
  CoTaskMemFree(info.pszHelpFile);

  HWND window = CreateHostWindow(title, info.size);
  const RECT rect{kMargin, kMargin, kMargin + info.size.cx, kMargin + info.size.cy};
  if (cv::Failed(hr = page->Activate(window, &rect, FALSE))) return Fail("Activate", hr);
  UpdateWindow(window);
  SetTimer(window, kCloseTimer, static_cast<UINT>(seconds) * 1000, nullptr);
  MSG message;
  bool announced = readyFile.empty();
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageA(window, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (!announced && !PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
      if (FILE* ready = std::fopen(readyFile.c_str(), "w")) std::fclose(ready);
      announced = true;
    }
  }

  page->Deactivate();
  page->SetObjects(0, nullptr);
  page->SetPageSite(nullptr);
  page->Release();
  renderer->Release();
  DestroyWindow(window);
  cvplat::FreePlugIn(module);
  return 0;
}
