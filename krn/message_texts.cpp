// The built-in message and title tables and the texts of the message block.
#include "krn/message_texts.h"

#include "krn/message_tables.h"

#include <array>

namespace cv {

namespace {

struct MessageSource {
  uint32_t code;
  UINT id;
  const char* text;  // null: the host's message, not carried here
};

constexpr const char* kCorrupt = "\n\nThe file is most likely corrupted or of an unknown format.";
constexpr const char* kCodec = "\n\nAn error occurred while opening a codec.";

// ErrorMessageTable in row order. Ids 4060 and 4061 belong to no row.
constexpr MessageSource kMessageSources[kErrorMessageTableRows] = {
    {0x80004005, 4000, "\n\nThe reason for the error could not be determined."},
    {0x8000FFFF, 4001, "\n\nAn unexpected error has occurred."},
    {0x80070057, 4002, "\n\nAn invalid argument was specifed."},
    {0x80004003, 4003, "\n\nAn invalid pointer was specifed."},
    {0x80004001, 4004, "\n\nA necessary function has not been implemented."},
    {0x8007000E, 4005,
     "\n\nThe system is low on memory. You may be able to reduce memory usage by closing other applications."},
    {0x80070006, 4006, "\n\nAn invalid handle was specifed."},
    {0x80040154, 4007, "\n\nA necessary component is not registered."},
    {0x8004E000, 4008, "\n\nThe media type is not supported."},
    {0x0004E005, 4009, nullptr},
    {0x8004E001, 4010, "\n\nThe operation is not enabled for this device."},
    {0x8004E002, 4011, "\n\nThe disk is full. Please free some space and try again."},
    {0x8004E003, 4012, "\n\nThe system is low on resources."},
    {0x8004E004, 4013, "\n\nThe resource is in use."},
    {0x8004E005, 4014, "\n\nThe system is busy."},
    {0x8004E00C, 4015, "\n\nThe operation was cancelled by the user."},
    {0x8004E006, 4016, "\n\nThe file could not be created."},
    {0x8004E032, 4017, "\n\nThe file could not be created. Another file with that name exists."},
    {0x8004E007, 4018,
     "\n\nThe file could not be opened. Make sure the file exists and that you have access to the "
     "file/folder."},
    {0x8004E009, 4019,
     "\n\nAn error occurred writing the file. Make sure you have write access to the file/folder and that "
     "there is enough free space."},
    {0x8004E008, 4020,
     "\n\nAn error occurred reading the file. Make sure you have read access to the file/folder and that it "
     "is not corrupted."},
    {0x8004E00B, 4021, kCorrupt},
    {0x8004E00D, 4022, "\n\nThe file name is not valid."},
    {0x8004E01C, 4023, nullptr},
    {0x8004E00E, 4024, "\n\nA necessary resource is missing."},
    {0x8004E00F, 4025, nullptr},
    {0x8004E010, 4026, nullptr},
    {0x8004E011, 4027, kCodec},
    {0x8004E012, 4028, nullptr},
    {0x8004E015, 4029, nullptr},
    {0x80040037, 4030, nullptr},
    {0x80040964, 4031, nullptr},
    {0x800404B0, 4032, "\n\nAn invalid device was specified."},
    {0x800404E0, 4033, nullptr},
    {0x8004E0A0, 4034, nullptr},
    {0x8004E016, 4035, "\n\nThe format is not supported."},
    {0x8004E017, 4036, nullptr},
    {0x8004E0A1, 4037, nullptr},
    {0x8004E080, 4038,
     "\n\nThe file is most likely corrupted or of an unknown format. A necessary RIFF header is missing."},
    {0x8004E081, 4039,
     "\n\nThe file is most likely corrupted or of an unknown format. A necessary LIST header is missing."},
    {0x8004E082, 4040, "\n\nThe file is most likely corrupted or of an unknown format. A chunk has a length of 0."},
    {0x8004E083, 4041,
     "\n\nThe file is most likely corrupted or of an unknown format. A chunk has an illegal length."},
    {0x80030070, 4042, "\n\nThere is not enough space on the storage medium."},
    {0x80030005, 4043, "\n\nAccess to the storage was denied."},
    {0x80030103, 4044, "\n\nThe data could not be saved."},
    {0x80030009, 4045, "\n\nAn invalid storage pointer was specified."},
    {0x8003001D, 4046, "\n\nA disk error occurred during a write operation."},
    {0x8004E084, 4047, nullptr},
    {0x0004E009, 4048, nullptr},
    {0x0004E003, 4049, nullptr},
    {0x8004E02E, 4050, nullptr},
    {0x8004E02F, 4051, nullptr},
    {0x8004E030, 4052, nullptr},
    {0x8004E031, 4053, nullptr},
    {0x8004E0A2, 4054, nullptr},
    {0x8004E051, 4055, nullptr},
    {0x8004E0A3, 4056, nullptr},
    {0x8004E01F, 4057, nullptr},
    {0x8004E0A5, 4058, nullptr},
    {0x8004E019, 4059, nullptr},
    {0x8004E01E, 4062, kCodec},
    {0x8004E0A6, 4063, nullptr},
    {0x0004E000, 4064, nullptr},
    {0x0004E006, 4065, nullptr},
    {0x8004E00A, 4066, "\n\nThe item was not found."},
    {0x8004E01A, 4067, "\n\nThe file has no audio."},
    {0x8004E01B, 4068, nullptr},
    {0x8004E01D, 4069, nullptr},
    {0x8004E023, 4070, nullptr},
    {0x8004E050, 4071, nullptr},
    {0x8004E025, 4072, nullptr},
    {0x8004E026, 4073, "\n\nToo many files are open."},
    {0x8004E028, 4074, nullptr},
    {0x8004E0A8, 4075, nullptr},
    {0x8004E054, 4076, nullptr},
    {0x0004E007, 4077, nullptr},
    {0x0004E008, 4078, nullptr},
    {0x8004E035, 4079, nullptr},
    {0x8004E036, 4080, nullptr},
    {0x8004E037, 4081, nullptr},
    {0x8004E038, 4082, nullptr},
    {0x8004E039, 4083, nullptr},
    {0x8004E033, 4084, "\n\nThe file type is not supported."},
    {0x8004E03A, 4085, nullptr},
    {0x0004E00B, 4086, nullptr},
    {0x0004E00C, 4087, nullptr},
    {0x0004E00E, 4088, nullptr},
    {0x8004E03B, 4089, nullptr},
    {0x8004E03D, 4090, nullptr},
    {0x8004E03E, 4091, nullptr},
    {0x0004E010, 4092, nullptr},
    {0x8004E163, 4093, nullptr},
    {0x0004E015, 4094, nullptr},
    {0x8004E0AB, 4095, nullptr},
    {0x8004E142, 4096, nullptr},
    {0x8004E047, 4097, nullptr},
    {0x8004E020, 4098, nullptr},
    {0x8004E162, 4099, nullptr},
};

struct TitleSource {
  uint32_t context;
  const char* text;
};

// ErrorTitleTable in row order; the ids run from kFirstTitleId with the rows.
constexpr TitleSource kTitleSources[kErrorTitleTableRows] = {
    {0, "An error occurred during the current operation."},
    {1, "An error occurred while undoing the last operation."},
    {2, "An error occurred while redoing the last operation."},
    {3, "An error occurred while applying an effect."},
    {4, "An error occurred while building an effect chain."},
    {5, "An error occurred while loading the project file %s."},
    {6, "An error occurred while saving the project file %s."},
    {7, "An error occurred while creating the media file %s."},
    {8, "An error occurred during playback."},
    {9, "An error occurred while recording."},
    {10, "An error occurred while opening an audio device."},
    {11, "An error occurred while closing an audio device."},
    {12, "An error occurred while reading time code."},
    {14, "An error occurred while generating time code."},
    {15, "An error occurred while loading the toolbar."},
    {16, "An error occurred while saving the toolbar."},
    {17, "An error occurred while checking for upgrades."},
    {18, "An error occurred while installing an upgrade."},
    {19, "An error occurred while opening the file %s."},
    {20, "An error occurred while saving the file %s."},
    {21, "An error occurred while loading a plug-in."},
    {22, "An error occurred while opening one or more files."},
    {23, "An error occurred while saving one or more files."},
    {24, "An error occurred while closing a file."},
    {25, "An error occurred while rendering the project."},
    {26, "An error occurred while previewing."},
    {27, "An error occurred in a file format plug-in."},
    {28, "An error occurred while encoding a file."},
    {29, "An error occurred while writing a file."},
    {30, "An error occurred while transferring a file."},
    {31, "An error occurred while preparing the playback device."},
    {32, "An error occurred while preparing the recording device."},
    {33, "An error occurred while importing media."},
    {34, "An error occurred while exporting media."},
    {35, "An error occurred while printing."},
    {36, "An error occurred while copying to the clipboard."},
    {37, "An error occurred while pasting from the clipboard."},
    {38, "An error occurred while loading a video stream."},
    {39, "An error occurred while building audio peaks."},
    {40, "An error occurred while synchronizing to time code."},
    {41, "An error occurred while changing a device setting."},
    {42, "An error occurred while customizing the toolbar."},
    {43, "An error occurred while starting the application."},
};

constexpr const char* kMissingMessage = "Error 0x%08x (message missing)";

constexpr bool IdsIncreaseWithinMessages() {
  for (size_t i = 0; i < kErrorMessageTableRows; ++i) {
    const UINT id = kMessageSources[i].id;
    if (id < kMessageBlockFirstId || id >= kFirstTitleId) return false;
    if (i > 0 && id <= kMessageSources[i - 1].id) return false;
  }
  return true;
}
static_assert(IdsIncreaseWithinMessages(), "message ids increase with the rows and stay below the titles");

constexpr std::array<ResultMessageRow, kErrorMessageTableRows> BuildMessageRows() {
  std::array<ResultMessageRow, kErrorMessageTableRows> rows{};
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = {kMessageSources[i].code, kMessageSources[i].id};
  return rows;
}

constexpr std::array<ErrorTitleRow, kErrorTitleTableRows> BuildTitleRows() {
  std::array<ErrorTitleRow, kErrorTitleTableRows> rows{};
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = {kTitleSources[i].context, kFirstTitleId + i};
  return rows;
}

constexpr std::array<ResultMessageRow, kErrorMessageTableRows> kMessageRows = BuildMessageRows();
constexpr std::array<ErrorTitleRow, kErrorTitleTableRows> kTitleRows = BuildTitleRows();

struct MessageBlock {
  MessageBlock() {
    for (const MessageSource& m : kMessageSources) texts[m.id - kMessageBlockFirstId] = m.text;
    for (size_t i = 0; i < kErrorTitleTableRows; ++i)
      texts[kFirstTitleId + i - kMessageBlockFirstId] = kTitleSources[i].text;
    texts[kMissingMessageId - kMessageBlockFirstId] = kMissingMessage;
  }
  const char* texts[kMessageBlockCount] = {};
};

}  // namespace

const ResultMessageRow* const ErrorMessageTable = kMessageRows.data();
const ErrorTitleRow* const ErrorTitleTable = kTitleRows.data();

const char* const* MessageBlockTexts() {
  static const MessageBlock block;
  return block.texts;
}

}  // namespace cv
