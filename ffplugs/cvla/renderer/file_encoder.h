// One complete render into a ".qla" file: creates the file, pulls the audio from
// the host stream 512 frames at a time, compresses and writes each block with
// the seek table of its sync blocks, reports progress, and finally writes the
// seek table chunk and patches the sizes and counts known only at the end.
#pragma once

#include "ffplugs/cvla/cv_interfaces.h"
#include "ffplugs/cvla/host_records.h"

#include <cstdint>

namespace qla {

// Bytes after which a render stops and finishes the file with the audio so far,
// so that every offset and size stays within 32 bits.
constexpr uint64_t kMaxRenderFileSize = 0xFFFEF920u;

// Renders streamObject (queried for ICvAudioStream) into fileName in the format
// of renderTemplate (TemplateFileFormat). progress may be null.
// The template's format record keeps its PCM tag; it receives cbSize 32 and, when
// frames were written, the file's average byte rate.
// Results: S_OK; CVERR_FILE_CREATE (file not created, or no template: the file
// is then left empty); CVERR_UNSUPPORTED_FORMAT (file format not PCM with 1 or 2
// channels of 16 or 24 bits; the file is left empty); E_UNEXPECTED (no
// ICvAudioStream, or the format size query failed); the format call's own code;
// E_OUTOFMEMORY; E_NOTIMPL (no conversion between the stream's and the file's
// sample format); CVERR_FILE_WRITE; a failing Read's own code; CVERR_CANCELLED.
// After a failure the partly written file stays, with its RIFF and "data" sizes 0.
// threads above 1 encode the seek groups on that many threads (for the tool;
// the plug-in renders on the caller's thread): the file's bytes are the same.
// The stream is then read, and progress reported, on any of the threads, one
// call at a time.
[[nodiscard]] HRESULT EncodeFile(cv::ICvProgressSink* progress, const char* fileName, IUnknown* streamObject,
                   RenderTemplate* renderTemplate, unsigned threads = 1);

}  // namespace qla
