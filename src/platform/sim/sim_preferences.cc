#include "platform/sim/sim_preferences.h"

namespace halvyn {

namespace {
// Set while a write made on behalf of the user or another process runs on this thread.
thread_local bool userWriting_ = false;
}  // namespace

void SimPreferences::userSet(std::string_view name, Value value) {
    userWriting_ = true;
    set(name, std::move(value));
    userWriting_ = false;
}

void SimPreferences::userRemove(std::string_view name) {
    userWriting_ = true;
    remove(name);
    userWriting_ = false;
}

void SimPreferences::externalSet(std::string_view name, Value value) {
    userWriting_ = true;
    set(name, std::move(value), Origin::external);
    userWriting_ = false;
}

void SimPreferences::didChange(std::string_view name, const std::optional<Value>& value, Origin) {
    if (!userWriting_ && recorder_) recorder_(name, value);
}

}  // namespace halvyn
