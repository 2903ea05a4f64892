// The plug-in as the host loads it: cvqlplug.dll from its folder, its
// DllGetClassObject, the factory, the host's creation order for a file type and
// a file read through the objects' tables. Runs where the build made the DLL
// (the Windows build); elsewhere it is skipped. A DLL that is there but does
// not load is a failure.
#include "ffplugs/cvla/cv_interfaces.h"
#include "krn/com_ptr.h"
#include "krn/platform/module_path.h"
#include "krn/results.h"
#include "tests/host/host_harness.h"
#include "tests/support/corpus_audio.h"
#include "tests/support/plugin_path.h"
#include "tests/support/qla_test_files.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using GetClassObjectFunction = HRESULT(CV_STDCALL*)(const CLSID&, const IID&, void**);

// The module loaded from its folder and its class factory; a test is skipped
// where the build made no DLL.
class DllHost : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = cvtest::FindPlugIn();
    if (path.empty()) GTEST_SKIP() << "no cvqlplug.dll in this build";
    const auto getClassObject =
        reinterpret_cast<GetClassObjectFunction>(cvplat::LoadPlugInExport(path, "DllGetClassObject", &module_));
    ASSERT_TRUE(getClassObject) << "cvqlplug.dll is there but does not load";
    ASSERT_EQ(getClassObject(cv::CLSID_QuartzlinePlugIn, cv::kIID_IClassFactory, factory_.PutVoid()), cv::kS_OK);
  }
  void TearDown() override {
    factory_.Reset();  // before the module that holds its code goes
    cvplat::FreePlugIn(module_);
  }

  HMODULE module_ = nullptr;
  cv::ComPtr<IClassFactory> factory_;
};

TEST_F(DllHost, OpensAndReadsAFileThroughTheLoadedModule) {
  cvtest::TestHost host;
  cv::ICvFileType* fileType = nullptr;
  ASSERT_EQ(cvtest::CreateFileTypeLikeHost(host.Host(), 3, &fileType, factory_.Get()), cv::kS_OK);
  wchar16 filter[16];
  ASSERT_EQ(fileType->GetStrings(nullptr, 0, filter, 16, nullptr, 0), cv::kS_OK);  // from the module's resources
  EXPECT_EQ(std::basic_string<wchar16>(filter), std::basic_string<wchar16>(CV_W("*.qla")));

  cvtest::PcmAudio audio = cvtest::SyntheticAudio(2, 44100, 16, 30000, 21);
  std::string path = cvtest::TestDataPath("dll.qla");
  ASSERT_EQ(cvtest::RenderAudio(audio, path), cv::kS_OK);
  {
    cvtest::OpenedQlaFile file;
    ASSERT_EQ(cvtest::OpenQlaFile(fileType, path, &file), cv::kS_OK);
    EXPECT_EQ(file.frames, audio.Frames());
    std::vector<uint8_t> bytes;
    ASSERT_EQ(cvtest::ReadAllFrames(file, 4000, &bytes), cv::kS_OK);
    EXPECT_TRUE(bytes == audio.bytes);
  }
  EXPECT_EQ(fileType->Release(), 0u);
}

// The top-level chunks of a RIFF file by position, without the audio checksum
// ("qsum") that only the command-line tool adds.
std::vector<std::pair<std::string, std::vector<uint8_t>>> ChunksBesidesChecksum(const std::vector<uint8_t>& file) {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> chunks;
  for (size_t at = 12; at + 8 <= file.size();) {
    const std::string id(reinterpret_cast<const char*>(&file[at]), 4);
    const size_t size = cvtest::GetU32(file, at + 4);
    const size_t end = std::min(file.size(), at + 8 + size);
    if (id != "qsum") chunks.emplace_back(id, std::vector<uint8_t>(file.begin() + at + 8, file.begin() + end));
    at = end + (size & 1);
  }
  return chunks;
}

TEST_F(DllHost, RendersRecordingsAsTheNativeToolEncodesThem) {
  std::vector<std::filesystem::path> references;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(CVQL_NATIVE_REFERENCE_DIR, error))
    if (entry.path().extension() == ".qla") references.push_back(entry.path());
  if (references.empty()) GTEST_SKIP() << "no reference files in " << CVQL_NATIVE_REFERENCE_DIR;

  cv::ICvFileRenderer* renderer = nullptr;
  ASSERT_EQ(factory_->CreateInstance(nullptr, cv::IID_ICvFileRenderer, reinterpret_cast<void**>(&renderer)),
            cv::kS_OK);
  cvtest::TestHost host;
  ASSERT_EQ(renderer->SetHost(host.Host()), cv::kS_OK);
  for (const std::filesystem::path& reference : references) {
    SCOPED_TRACE(reference.string());
    cvtest::PcmAudio audio;
    std::filesystem::path wav = reference;
    ASSERT_TRUE(cvtest::ReadWavFile(wav.replace_extension(".wav").string(), &audio));
    cvtest::PcmTestStream stream(audio);
    const std::string path = cvtest::TestDataPath("dll-" + reference.filename().string());
    ASSERT_EQ(cvtest::RenderLikeHost(renderer, path, {&stream}), cv::kS_OK);
    const std::vector<uint8_t> rendered = cvtest::ReadWholeFile(path);
    EXPECT_TRUE(ChunksBesidesChecksum(rendered) == ChunksBesidesChecksum(cvtest::ReadWholeFile(reference.string())));
    EXPECT_EQ(stream.References(), 1u);
  }
  EXPECT_EQ(renderer->Release(), 0u);
  EXPECT_EQ(host.References(), 1);
  EXPECT_EQ(host.LiveTemplates(), 0u);
}

}  // namespace
