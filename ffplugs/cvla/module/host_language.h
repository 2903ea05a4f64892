// The host's user-interface language, applied to the process-wide string table.
#pragma once

#include "ffplugs/cvla/cv_interfaces.h"

namespace cvla {

// Asks the host's ICvHostProperties for its language (property 10001) and, when
// it answers, sets the process-wide string table to it (0 means 1033). A null
// host, a host without the interface or one that does not answer changes
// nothing. The plug-in's own table is never touched.
void ApplyHostLanguage(cv::ICvFileHost* host);

}  // namespace cvla
