// Result codes of the system: the standard COM codes it uses and its own family
// in the interface facility, 0x8004E000 plus a number for failures and
// 0x0004E000 plus a number for remarks that accompany a success.
#pragma once

#include "krn/platform/win_types.h"

namespace cv {

[[nodiscard]] constexpr HRESULT Code(uint32_t value) { return static_cast<HRESULT>(value); }

constexpr HRESULT kS_OK = 0;
constexpr HRESULT kS_FALSE = 1;

constexpr HRESULT kE_FAIL = Code(0x80004005);
constexpr HRESULT kE_UNEXPECTED = Code(0x8000FFFF);
constexpr HRESULT kE_INVALIDARG = Code(0x80070057);
constexpr HRESULT kE_POINTER = Code(0x80004003);
constexpr HRESULT kE_NOTIMPL = Code(0x80004001);
constexpr HRESULT kE_OUTOFMEMORY = Code(0x8007000E);
constexpr HRESULT kE_HANDLE = Code(0x80070006);
constexpr HRESULT kE_NOINTERFACE = Code(0x80004002);
constexpr HRESULT kCLASS_E_CLASSNOTAVAILABLE = Code(0x80040111);

constexpr HRESULT CVERR_UNSUPPORTED_MEDIA_TYPE = Code(0x8004E000);
constexpr HRESULT CVERR_NOT_ENABLED_FOR_DEVICE = Code(0x8004E001);
constexpr HRESULT CVERR_DISK_FULL = Code(0x8004E002);
constexpr HRESULT CVERR_RESOURCES_LOW = Code(0x8004E003);
constexpr HRESULT CVERR_RESOURCE_IN_USE = Code(0x8004E004);
constexpr HRESULT CVERR_BUSY = Code(0x8004E005);
constexpr HRESULT CVERR_FILE_CREATE = Code(0x8004E006);
constexpr HRESULT CVERR_FILE_OPEN = Code(0x8004E007);
constexpr HRESULT CVERR_FILE_READ = Code(0x8004E008);
constexpr HRESULT CVERR_FILE_WRITE = Code(0x8004E009);
constexpr HRESULT CVERR_NOT_FOUND = Code(0x8004E00A);
constexpr HRESULT CVERR_FILE_CORRUPT = Code(0x8004E00B);
constexpr HRESULT CVERR_CANCELLED = Code(0x8004E00C);
constexpr HRESULT CVERR_BAD_FILE_NAME = Code(0x8004E00D);
constexpr HRESULT CVERR_RESOURCE_MISSING = Code(0x8004E00E);
constexpr HRESULT CVERR_CODEC_OPEN = Code(0x8004E011);
constexpr HRESULT CVERR_UNSUPPORTED_FORMAT = Code(0x8004E016);
constexpr HRESULT CVERR_NO_AUDIO = Code(0x8004E01A);
constexpr HRESULT CVERR_CODEC_FAILED = Code(0x8004E01E);
constexpr HRESULT CVERR_TOO_MANY_FILES = Code(0x8004E026);
constexpr HRESULT CVERR_FILE_EXISTS = Code(0x8004E032);
constexpr HRESULT CVERR_UNSUPPORTED_FILE_TYPE = Code(0x8004E033);
constexpr HRESULT CVERR_NO_RIFF_HEADER = Code(0x8004E080);
constexpr HRESULT CVERR_NO_LIST_HEADER = Code(0x8004E081);
constexpr HRESULT CVERR_ZERO_CHUNK_LENGTH = Code(0x8004E082);
constexpr HRESULT CVERR_BAD_CHUNK_LENGTH = Code(0x8004E083);
constexpr HRESULT kInvalidDevice = Code(0x800404B0);  // standard code without a name

// Memory streams answer this when they have no record list or a relative seek
// runs past the last record; it has no message.
constexpr HRESULT kStreamPastEnd = Code(0x800A0026);

constexpr bool Failed(HRESULT hr) { return hr < 0; }
constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }

}  // namespace cv
