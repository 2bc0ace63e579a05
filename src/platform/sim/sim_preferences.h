#pragma once
// The simulated preferences domain: in memory. What the user or another process does to the
// domain comes in through `userSet`/`userRemove`/`externalSet`; every other write is the
// system's own and is handed to the recorder, so that scenarios can see it.

#include <functional>
#include <optional>
#include <string_view>

#include "settings/memory_preferences.h"

namespace halvyn {

class SimPreferences final : public MemoryPreferences {
public:
    using Recorder = std::function<void(std::string_view name, const std::optional<Value>& value)>;

    void setRecorder(Recorder r) { recorder_ = std::move(r); }

    // The user changing a setting in the settings window (a null value removes it).
    void userSet(std::string_view name, Value value);
    void userRemove(std::string_view name);
    // Another process writing the domain.
    void externalSet(std::string_view name, Value value);

private:
    void didChange(std::string_view name, const std::optional<Value>& value, Origin origin) override;

    Recorder recorder_;
};

}  // namespace halvyn
