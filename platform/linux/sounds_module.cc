// halvyn-sounds: the program's sounds on Qt Multimedia.

#include "platform/linux/modules.h"
#include "platform/linux/qt_sounds.h"

using namespace halvyn;

HALVYN_MODULE_EXPORT Sounds* halvyn_make_sounds(const std::vector<std::string>& folders, const Logger& logger) {
    return new QtSounds(folders, logger);
}
