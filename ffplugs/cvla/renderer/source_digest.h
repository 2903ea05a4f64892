// A private face of a source stream, for programs that load the plug-in in
// their own process (the qla tool): the render takes over the MD5 of the audio
// the stream delivers and hashes it itself (on one thread between the steps of
// coding the blocks, on several beside the workers), instead of the stream
// hashing every read on its own. Hosts never offer it.
#pragma once

#include "krn/md5.h"
#include "krn/platform/win_types.h"

namespace cvla {

// {D8E664B0-239E-445C-869B-4DEB93D72083}
constexpr GUID IID_IQlaSourceDigest = {0xD8E664B0, 0x239E, 0x445C, {0x86, 0x9B, 0x4D, 0xEB, 0x93, 0xD7, 0x20, 0x83}};

struct IQlaSourceDigest : IUnknown {
  // Slot 3: hands over the digest of the delivered bytes. From now on the
  // stream's reads no longer hash what they deliver; the caller puts every
  // byte that a successful Read delivers into *md5, in the order delivered,
  // before it ends; after a failed or cut-short render the digest describes
  // no particular bytes. *md5 stays the stream's and lives as long as the stream.
  virtual HRESULT CV_STDCALL HandOverDigest(cv::Md5** md5) = 0;
};

}  // namespace cvla
