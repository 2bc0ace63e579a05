#pragma once
// Unpacking a release archive with libarchive (zip, tar and the usual compressions), on the
// calling thread: every entry must land inside `destination` and is never written through a link;
// devices, pipes and hard links are refused. Then the program is run once with "--version".

#include <string>

#include "platform/installer.h"

namespace halvyn {

FileResult unpackArchive(const std::string& archive, const std::string& destination, const UnpackRules& rules);

}  // namespace halvyn
