// A private face of the reader's stream, for programs that load the plug-in in
// their own process (the qla tool): the MD5 of the audio a stream's reads
// deliver, hashed while the blocks are decoded instead of in a pass of its own.
// Hosts never ask for it.
#pragma once

#include "krn/md5.h"
#include "krn/platform/win_types.h"

namespace cvla {

// {60841DDF-2698-47A6-B671-633E07CF690B}
constexpr GUID IID_IQlaDeliveredDigest = {0x60841DDF, 0x2698, 0x47A6, {0xB6, 0x71, 0x63, 0x3E, 0x07, 0xCF, 0x69, 0x0B}};

struct IQlaDeliveredDigest : IUnknown {
  // Slot 3: from now on every byte that a successful Read delivers goes into
  // md5, in the order delivered, until a null md5 detaches it. md5 must
  // outlive the attachment and is touched only inside the stream's calls.
  // After a failed Read the digest describes no particular bytes.
  virtual HRESULT CV_STDCALL SetDeliveredDigest(cv::Md5* md5) = 0;
};

}  // namespace cvla
