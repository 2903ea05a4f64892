// Walks the codec drivers of the Audio Compression Manager and collects their
// format tags. Each driver runs under a fault guard: a faulty codec must not
// take the calling process down with it.
#include "ffplugs/cvla/acm/acm_list.h"

#include "krn/platform/fault_guard.h"
#include "krn/platform/win_types.h"

#include <msacm.h>

namespace cvla {

namespace {

struct DriverVisit {
  HACMDRIVERID driverId;
  FormatListBuilder* builder;
};

BOOL CALLBACK TagStep(HACMDRIVERID, LPACMFORMATTAGDETAILSA details, DWORD_PTR instance, DWORD) {
  reinterpret_cast<FormatListBuilder*>(instance)->AddTag(details->szFormatTag, details->dwFormatTag);
  return TRUE;
}

void VisitDriver(void* context) {
  DriverVisit* visit = static_cast<DriverVisit*>(context);
  HACMDRIVER driver = nullptr;
  if (::acmDriverOpen(&driver, visit->driverId, 0) != MMSYSERR_NOERROR) return;
  ACMDRIVERDETAILSA details = {};
  details.cbStruct = sizeof(details);
  if (::acmDriverDetailsA(visit->driverId, &details, 0) == MMSYSERR_NOERROR) {
    // The id as a number; the record holds 32 bits of it.
    visit->builder->SetDriver(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(visit->driverId)));
    ACMFORMATTAGDETAILSA tag = {};
    tag.cbStruct = sizeof(tag);
    (void)::acmFormatTagEnumA(driver, &tag, &TagStep, reinterpret_cast<DWORD_PTR>(visit->builder), 0);
  }
  ::acmDriverClose(driver, 0);
}

BOOL CALLBACK DriverStep(HACMDRIVERID driverId, DWORD_PTR instance, DWORD) {
  DriverVisit visit{driverId, reinterpret_cast<FormatListBuilder*>(instance)};
  // A fault inside the driver ends the whole enumeration.
  return cvplat::RunGuarded(&VisitDriver, &visit) ? TRUE : FALSE;
}

}  // namespace

uint32_t EnumerateFormats(uint32_t* count, CVDRVFMT_DATAFMTS* list) {
  FormatListBuilder builder(list, *count);
  MMRESULT result = ::acmDriverEnum(&DriverStep, reinterpret_cast<DWORD_PTR>(&builder), ACM_DRIVERENUMF_DISABLED);
  *count = builder.Count();
  return result;
}

}  // namespace cvla
