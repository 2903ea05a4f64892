// The metadata parsers on an arbitrary RIFF file: markers and regions, INFO,
// loop information, the sidecar check and the whole load a reader does; the
// record lists are then read and seeked as the host reads their streams. The
// first 16 bytes steer the stream calls, the rest is the file.
#include "fuzz/fuzz_support.h"
#include "krn/memory_stream.h"
#include "krn/metadata_io.h"
#include "krn/results.h"


namespace {

void ExerciseList(cv::MemoryStreamKind kind, const cv::RecordList& list, cvfuzz::Choices& choices) {
  IStream* stream = nullptr;
  if (cv::CreateMemoryStream(kind, &list, &stream) == cv::kS_OK) cvfuzz::ExerciseStream(stream, choices);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t steer = size < 16 ? size : 16;
  cvfuzz::Choices choices(data, steer);
  const std::string path = cvfuzz::WriteScratch("input.wav", data + steer, size - steer);
  const uint32_t sampleRate = choices.Take(1) * 1000;
  {
    cvplat::UniqueFile file = cvfuzz::OpenScratch(path);
    cv::RecordList markers, info;
    cv::LoopInfo loop;
    static_cast<void>(cv::ReadMarkers(file.Get(), sampleRate, markers));
    static_cast<void>(cv::ReadInfo(file.Get(), &info));
    static_cast<void>(cv::ReadLoopInfo(file.Get(), loop));
    cv::SidecarMatches(file.Get(), "input.wav");
    wchar16 text[5];
    static_cast<void>(cv::GetInfoText(info, 0x4D414E49u, text, 5));  // "INAM"
    ExerciseList(cv::MemoryStreamKind::kMarker, markers, choices);
    ExerciseList(cv::MemoryStreamKind::kInfo, info, choices);
    ExerciseList(cv::MemoryStreamKind::kLoop, loop.loops, choices);
  }
  cv::RecordList markers, info;
  static_cast<void>(cv::LoadFileMetadata(path.c_str(), sampleRate, markers, info));
  return 0;
}
