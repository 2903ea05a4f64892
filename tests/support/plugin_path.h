// Where the built plug-in module is, for tests that load it as a host does.
#pragma once

#include <string>

namespace cvtest {

// cvqlplug.dll next to the test program or in the plug-in's build folder;
// empty when there is none (natively).
std::string FindPlugIn();

}  // namespace cvtest
