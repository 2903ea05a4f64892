// The ACM format list of the built module: enumerated in this process (checked
// against the test's own walk of the codec manager), read from a seeded cache,
// and refreshed by a real rundll32 run, also from a folder with a blank.
#include "ffplugs/cvla/acm/format_list.h"
#include "tests/support/plugin_path.h"
#include "tests/support/test_registry_win.h"

#include <gtest/gtest.h>
#include <msacm.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

using cvla::CVDRVFMT_DATAFMTS;
using CreateListFunction = DWORD(WINAPI*)(DWORD*, CVDRVFMT_DATAFMTS*, DWORD);
using Record = std::tuple<std::string, uint32_t, uint32_t>;

// The export of a module that stays loaded for the rest of the run.
CreateListFunction LoadCreateList(const std::string& path) {
  HMODULE module = ::LoadLibraryA(path.c_str());
  return module ? reinterpret_cast<CreateListFunction>(
                      reinterpret_cast<void*>(::GetProcAddress(module, "CvACM_CreateList")))
                : nullptr;
}

std::vector<Record> Records(const CVDRVFMT_DATAFMTS* list, DWORD first, DWORD end) {
  std::vector<Record> records;
  for (DWORD i = first; i < end; ++i) records.emplace_back(list[i].name, list[i].formatTag, list[i].driverId);
  return records;
}

// The codec manager walked the plain way, for comparison.
struct Walk {
  std::vector<Record> records;
  uint32_t driverId = 0;
};

BOOL CALLBACK WalkTag(HACMDRIVERID, LPACMFORMATTAGDETAILSA tag, DWORD_PTR instance, DWORD) {
  Walk* walk = reinterpret_cast<Walk*>(instance);
  if (tag->dwFormatTag != 1 && tag->dwFormatTag != 0x160)
    walk->records.emplace_back(tag->szFormatTag, tag->dwFormatTag, walk->driverId);
  return TRUE;
}

BOOL CALLBACK WalkDriver(HACMDRIVERID id, DWORD_PTR instance, DWORD) {
  HACMDRIVER driver = nullptr;
  if (::acmDriverOpen(&driver, id, 0) != 0) return TRUE;
  reinterpret_cast<Walk*>(instance)->driverId = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(id));
  ACMFORMATTAGDETAILSA tag = {};
  tag.cbStruct = sizeof(tag);
  ::acmFormatTagEnumA(driver, &tag, &WalkTag, instance, 0);
  ::acmDriverClose(driver, 0);
  return TRUE;
}

std::vector<Record> WalkCodecs() {
  Walk walk;
  ::acmDriverEnum(&WalkDriver, reinterpret_cast<DWORD_PTR>(&walk), ACM_DRIVERENUMF_DISABLED);
  return walk.records;
}

// A codec of this process only that raises an exception on its second format
// tag once armed.
constexpr UINT kDriverDetails = 0x600A;  // ACMDM_DRIVER_DETAILS
constexpr UINT kFormatTagDetails = 0x6019;  // ACMDM_FORMATTAG_DETAILS
bool g_faultArmed = false;

LRESULT CALLBACK FaultyCodec(DWORD_PTR, HDRVR, UINT message, LPARAM details, LPARAM) {
  if (message == kDriverDetails) {
    auto* driver = reinterpret_cast<ACMDRIVERDETAILSW*>(details);
    driver->fccType = ACMDRIVERDETAILS_FCCTYPE_AUDIOCODEC;
    driver->cFormatTags = 2;
    return MMSYSERR_NOERROR;
  }
  if (message == kFormatTagDetails) {
    auto* tag = reinterpret_cast<ACMFORMATTAGDETAILSW*>(details);
    if (tag->dwFormatTagIndex == 1 && g_faultArmed) ::RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
    tag->dwFormatTag = 0x7770 + tag->dwFormatTagIndex;
    tag->cbFormatSize = sizeof(WAVEFORMATEX);
    lstrcpyW(tag->szFormatTag, L"Faulty");
    return MMSYSERR_NOERROR;
  }
  return message < DRV_RESERVED ? 1 : MMSYSERR_NOTSUPPORTED;
}

void SeedCache(const std::vector<std::string>& names) {
  cvtest::DeleteRegistryTree(HKEY_LOCAL_MACHINE, cvla::kAcmCacheKey);
  for (size_t i = 0; i < names.size(); ++i) {
    uint32_t data[2] = {static_cast<uint32_t>(0x100 + i), static_cast<uint32_t>(i)};
    ASSERT_TRUE(cvtest::SetRegistryValue(HKEY_LOCAL_MACHINE, cvla::kAcmCacheKey, names[i].c_str(), REG_BINARY, data, 8));
  }
}

class AcmList : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(create_) << "cvqlplug.dll not loadable"; }
  CreateListFunction create_ = LoadCreateList(cvtest::FindPlugIn());
  std::vector<CVDRVFMT_DATAFMTS> records_ = std::vector<CVDRVFMT_DATAFMTS>(cvla::kFormatListCapacity);
};

TEST_F(AcmList, InProcessEnumerationMatchesTheCodecManagerAndAppends) {
  cvtest::DeleteRegistryTree(HKEY_LOCAL_MACHINE, cvla::kAcmCacheKey);
  std::strcpy(records_[0].name, "before");
  DWORD count = 1;
  ASSERT_EQ(create_(&count, records_.data(), 0x4 | 0x2 | 0x8), 0u);
  std::vector<Record> expected = WalkCodecs();
  ASSERT_FALSE(expected.empty()) << "no codecs installed";
  EXPECT_STREQ(records_[0].name, "before");
  EXPECT_EQ(Records(records_.data(), 1, count), expected);
  EXPECT_FALSE(cvtest::RegistryKeyExists(HKEY_LOCAL_MACHINE, cvla::kAcmCacheKey));
}

TEST_F(AcmList, ACodecThatFaultsEndsTheEnumerationKeepingWhatCameBefore) {
  HACMDRIVERID faulty = nullptr;
  ASSERT_EQ(::acmDriverAdd(&faulty, ::GetModuleHandleA(nullptr), reinterpret_cast<LPARAM>(&FaultyCodec), 0,
                           ACM_DRIVERADDF_FUNCTION | ACM_DRIVERADDF_LOCAL), 0u);
  g_faultArmed = true;
  DWORD count = 0;
  EXPECT_EQ(create_(&count, records_.data(), 0x4 | 0x2 | 0x8), 0u);
  g_faultArmed = false;
  ::acmDriverRemove(faulty, 0);
  ASSERT_GE(count, 1u);
  EXPECT_EQ(Records(records_.data(), count - 1, count),
            std::vector<Record>{Record("Faulty", 0x7770, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(faulty)))});
}

TEST_F(AcmList, CacheReadStopsAtAMissingKeyAnOverlongNameAndOneHundredRecords) {
  cvtest::DeleteRegistryTree(HKEY_LOCAL_MACHINE, cvla::kAcmCacheKey);
  DWORD count = 7;
  EXPECT_EQ(create_(&count, records_.data(), 0x8), 1u);
  EXPECT_EQ(count, 7u);

  // Created in name order, so the order of enumeration is the same whichever
  // order the registry keeps.
  std::string name127 = "A" + std::string(126, 'a');
  SeedCache({name127, "B" + std::string(127, 'b'), "C"});
  ASSERT_EQ(create_(&count, records_.data(), 0x8), 0u);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(Records(records_.data(), 0, 1), std::vector<Record>{Record(name127, 0x100, 0)});

  std::vector<std::string> many;
  for (int i = 0; i < 120; ++i) many.push_back("Format " + std::to_string(1000 + i));
  SeedCache(many);
  ASSERT_EQ(create_(&count, records_.data(), 0x8), 0u);
  EXPECT_EQ(count, cvla::kFormatListCapacity);
  cvtest::DeleteRegistryTree(HKEY_LOCAL_MACHINE, cvla::kAcmCacheKey);
}

// A refresh through rundll32 fills the cache with every tag of the machine;
// the list is what the cache holds. The module also runs from a folder whose
// path holds a blank. The event is held signalled throughout, as an earlier
// enumeration process that has not ended yet leaves it: the caller still waits
// for its own enumeration.
TEST_F(AcmList, RefreshThroughRundll32FillsTheCache) {
  cvplat::KernelHandle staleEvent(::CreateEventA(nullptr, TRUE, TRUE, cvla::kAcmEventName));
  ASSERT_TRUE(staleEvent.Get());
  std::filesystem::path folder = std::filesystem::temp_directory_path() / "cvql plug in";
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(cvtest::FindPlugIn(), folder / "cvqlplug.dll",
                             std::filesystem::copy_options::overwrite_existing);
  std::set<std::string> walked;
  for (const Record& r : WalkCodecs()) walked.insert(std::get<0>(r));
  for (CreateListFunction create : {create_, LoadCreateList((folder / "cvqlplug.dll").string())}) {
    ASSERT_TRUE(create);
    cvtest::DeleteRegistryTree(HKEY_LOCAL_MACHINE, cvla::kAcmCacheKey);
    ::SetEvent(staleEvent.Get());
    DWORD count = 0, cachedCount = 0;
    ASSERT_EQ(create(&count, records_.data(), 0), 0u);
    std::vector<CVDRVFMT_DATAFMTS> cached(cvla::kFormatListCapacity);
    ASSERT_EQ(create(&cachedCount, cached.data(), 0x8), 0u);
    EXPECT_EQ(Records(records_.data(), 0, count), Records(cached.data(), 0, cachedCount));
    std::set<std::string> names;
    for (DWORD i = 0; i < count; ++i) names.insert(records_[i].name);
    EXPECT_EQ(names, walked);
  }
}

}  // namespace
