#include "krn/info_fields.h"

#include "krn/record_list.h"

namespace cv {

const InfoField InfoFieldTable[kInfoFieldCount] = {
    {FourCC("IARL"), 0},  {FourCC("IART"), 1},  {FourCC("ICMS"), 2},  {FourCC("ICMT"), 3},
    {FourCC("ICOP"), 4},  {FourCC("ICRD"), 5},  {FourCC("ICRP"), 6},  {FourCC("IDIM"), 7},
    {FourCC("IDPI"), 8},  {FourCC("IENG"), 9},  {FourCC("IGNR"), 10}, {FourCC("IKEY"), 11},
    {FourCC("ILGT"), 12}, {FourCC("IMED"), 13}, {FourCC("INAM"), 14}, {FourCC("IPLT"), 15},
    {FourCC("IPRD"), 16}, {FourCC("ISBJ"), 17}, {FourCC("ISFT"), 18}, {FourCC("ISHP"), 19},
    {FourCC("ISRC"), 20}, {FourCC("ISRF"), 21}, {FourCC("ITCH"), 22}, {FourCC("DISP"), 23},
};

const uint32_t InfoEnumerationOrder[kInfoEnumerationCount] = {
    FourCC("ICRP"), FourCC("IDIM"), FourCC("IDIT"), FourCC("IDPI"), FourCC("IKEY"), FourCC("IMED"), FourCC("ILGT"),
    FourCC("IPLT"), FourCC("IPRD"), FourCC("ISFT"), FourCC("ISHP"), FourCC("ISMP"), FourCC("ISRF"), FourCC("ITCH"),
    FourCC("TLEN"), FourCC("TRCK"), FourCC("TURL"), FourCC("IARL"), FourCC("ICMS"), FourCC("INAM"), FourCC("IENG"),
    FourCC("ICOP"), FourCC("ICMT"), FourCC("ISBJ"), FourCC("IART"), FourCC("IGNR"), FourCC("ISRC"),
};

int InfoFieldNumber(uint32_t id) {
  for (const InfoField& field : InfoFieldTable)
    if (field.id == id) return field.fieldNumber;
  return -1;
}

}  // namespace cv
