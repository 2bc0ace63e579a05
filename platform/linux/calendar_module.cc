// halvyn-calendar: the user's iCalendar files, read with libical.

#include "platform/linux/ics_calendar_store.h"
#include "platform/linux/modules.h"

using namespace halvyn;

HALVYN_MODULE_EXPORT CalendarStore* halvyn_make_calendar_store(FileSystem& files, MainQueue& main,
                                                               BackgroundQueue& background, const Logger& logger,
                                                               const std::string& home) {
    return new IcsCalendarStore(files, main, background, logger, IcsCalendarStore::Folders::fromEnvironment(home),
                                IcsCalendarStore::addressesFromEnvironment());
}
