#pragma once
// A whole context on virtual time over the simulated system, with the notch's calls recorded,
// for the tests of managers that work together (Focus, calendar, weather, lock screen, HUD).

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/context.h"
#include "notch/notch.h"
#include "platform/sim/sim_platform.h"
#include "runtime/dates.h"
#include "runtime/logger.h"
#include "runtime/virtual_time.h"
#include "settings/defaults.h"
#include "settings/keys.h"

namespace halvyn::context_testing {

struct Calls final : CallRecorder {
    VirtualTime* time = nullptr;
    std::vector<std::string> lines;  // "1.000 setNotification [true,\"isFocus\",0.35,5]"
    void call(std::string_view name, Value args) override {
        char t[32];
        std::snprintf(t, sizeof t, "%.3f ", toSeconds(time->uptime()));
        lines.push_back(t + std::string(name.substr(name.find('.') + 1)) + " " + args.toJson());
    }
    std::vector<std::string> of(const std::string& op) const {
        std::vector<std::string> out;
        for (auto& l : lines)
            if (l.find(" " + op + " ") != std::string::npos) out.push_back(l);
        return out;
    }
};

class ContextTest : public ::testing::Test {
protected:
    using N = Notch::Notification;
    using L = Notch::LiveActivity;

    explicit ContextTest(const char* start = "2026-03-02T09:00:00Z") {
        auto rt = std::make_unique<VirtualTime>(*parseIso8601(start));
        time = rt.get();
        auto pf = std::make_unique<SimPlatform>(*time);
        sim = pf.get();
        sim->simFiles().createDirectories(sim->simFiles().homeDirectory() + "/Library/Preferences");
        ctx = std::make_unique<Context>(std::move(rt), std::move(pf), &logs);
        calls.time = time;
        ctx->setCallRecorder(&calls);
    }
    // A test may end the context early, to end it before what it lent the platform.
    ~ContextTest() override {
        if (ctx) ctx->setCallRecorder(nullptr);
    }

    Defaults& defaults() { return ctx->defaults(); }
    Notch& notch() { return ctx->notch(); }
    void at(double t) { time->runUntil(seconds(t)); }
    double now() const { return toSeconds(time->uptime()); }
    WallTime wall(const char* iso) const { return *parseIso8601(iso); }
    std::vector<std::string> effects(const std::string& kind, const std::string& field) const {
        std::vector<std::string> out;
        for (auto& e : sim->effects().ofKind(kind))
            for (auto& [k, v] : e.fields)
                if (k == field) out.push_back(v.isString() ? v.asString() : v.toJson());
        return out;
    }
    bool logged(const std::string& text) const {
        for (auto& l : logs.lines)
            if (l.message.find(text) != std::string::npos) return true;
        return false;
    }
    // The notch up and settled, as after start-up.
    void startNotch() {
        notch().enable();
        time->advance(seconds(0.5));
        calls.lines.clear();
    }

    VirtualTime* time = nullptr;
    SimPlatform* sim = nullptr;
    CaptureLogSink logs;
    Calls calls;
    std::unique_ptr<Context> ctx;
};

}  // namespace halvyn::context_testing
