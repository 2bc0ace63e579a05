// halvyn-http: HTTP on Qt Network.

#include "platform/linux/modules.h"
#include "platform/linux/qt_http.h"

using namespace halvyn;

HALVYN_MODULE_EXPORT Http* halvyn_make_http() { return new QtHttp(); }
