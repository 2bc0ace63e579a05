// The settings window offscreen: its table against the store's keys, one control of each kind
// written through, changes made behind its back shown, and hand-edited bad values shown as what
// a read returns without a single write.

#include "shell/settings_window.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QStackedWidget>
#include <QToolButton>
#include <QWheelEvent>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>

#include "linux/services.h"
#include "settings/preferences_file.h"
#include "shell/event_loop.h"
#include "shell/shell_fixture.h"

namespace halvyn {
namespace {

using Tab = SettingsTab;
using Kind = SettingControl::Kind;

using SettingsTable = test::ShellTest;

TEST_F(SettingsTable, EveryUserSettingHasAControlOfItsKindWithinItsRange) {
    std::set<std::string_view> shown;
    for (const SettingRow& row : settingsTable()) {
        SCOPED_TRACE(std::string(row.key));
        const KeyInfo* key = findKey(row.key);
        ASSERT_NE(key, nullptr);
        EXPECT_FALSE(isInternalSetting(row.key));
        shown.insert(row.key);
        const SettingControl& c = row.control;
        switch (c.kind) {
            case Kind::toggle: EXPECT_TRUE(key->converts(Value(true)) && !key->converts(Value(1.0))); break;
            case Kind::slider:
            case Kind::spin: {
                ASSERT_TRUE(key->converts(Value(1.0)) && !key->converts(Value(true)));
                const double def = key->storedDefault->asNumber();
                EXPECT_TRUE(c.min < c.max && c.step > 0 && def >= c.min && def <= c.max);
                const double steps = (c.max - c.min) / c.step;
                EXPECT_NEAR(steps, std::round(steps), 1e-9);
                break;
            }
            case Kind::picker:
            case Kind::order: {
                ASSERT_NE(c.choices, nullptr);
                Value::Array all;
                for (const Choice& ch : c.choices(defaults())) {
                    EXPECT_FALSE(ch.title.empty());
                    EXPECT_TRUE(c.kind == Kind::order || key->converts(Value(ch.raw))) << ch.raw;
                    all.emplace_back(ch.raw);
                }
                EXPECT_TRUE(c.kind == Kind::picker || key->converts(Value(all)));
                break;
            }
            case Kind::folder: EXPECT_TRUE(key->converts(Value("/x")) && !key->converts(Value(true))); break;
        }
        if (!row.needs.empty()) {
            EXPECT_FALSE(row.needsWhy.empty());
            EXPECT_TRUE(findKey(row.needs) && findKey(row.needs)->converts(Value("/x")));
        }
        if (!row.shownWhen.key.empty()) {
            const KeyInfo* when = findKey(row.shownWhen.key);
            ASSERT_NE(when, nullptr);
            EXPECT_TRUE(when->converts(Value(true)));
        }
    }
    for (const KeyInfo& key : allKeys())
        EXPECT_EQ(shown.count(key.name) == 1, !isInternalSetting(key.name)) << key.name;
    for (Tab tab : settingsTabs())
        EXPECT_TRUE(tab == Tab::about || std::any_of(settingsTable().begin(), settingsTable().end(),
                                                     [tab](const SettingRow& r) { return r.tab == tab; }))
            << tabTitle(tab);
}

class SettingsWindowTest : public test::ShellTest {
public:
    SettingsWindowTest() {
        // Start-up settles first: the now-playing source's choice of player is its own.
        time->advance(seconds(0.1));
        sim->simPreferences().setRecorder([this](std::string_view name, const std::optional<Value>& v) {
            writes.push_back(std::string(name) + "=" + (v ? v->toJson() : "removed"));
        });
    }
    void settle() { time->advance(seconds(0.1)); }
    // Settings changed in the store by someone else (another program, a hand edit).
    void editedElsewhere(std::initializer_list<std::pair<const char*, Value>> edits) {
        for (const auto& [name, value] : edits) sim->simPreferences().externalSet(name, value);
    }
    static void wheelOver(QWidget* w) {
        QWheelEvent wheel(QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(w, &wheel);
    }
    template <class W>
    W* control(Tab tab, std::string_view key) {
        auto* w = dynamic_cast<W*>(window->control(tab, key));
        EXPECT_NE(w, nullptr) << key;
        return w;
    }
    std::vector<std::string> order() {
        std::vector<std::string> out;
        auto* list = control<QListWidget>(Tab::lockScreen, "lockScreenWidgetOrder");
        for (int i = 0; list && i < list->count(); ++i) out.push_back(list->item(i)->text().toStdString());
        return out;
    }

    std::vector<std::string> writes;
    std::unique_ptr<SettingsWindow> window = std::make_unique<SettingsWindow>(*ctx);
};

TEST_F(SettingsWindowTest, ControlsLineUpAcrossTabsWithRoomAndTheWindowFitsItsContent) {
    window->show();
    std::set<int> columns;
    for (Tab tab : settingsTabs()) {
        window->selectTab(tab);
        QCoreApplication::processEvents();
        for (const SettingRow& row : settingsTable()) {
            QWidget* c = row.tab == tab ? window->control(tab, row.key) : nullptr;
            if (!c || !window->rowShown(tab, row.key)) continue;
            const int x = c->mapTo(window.get(), QPoint(0, 0)).x();
            columns.insert(x);
            // The label ends well before its control.
            for (QLabel* label : window->findChildren<QLabel*>()) {
                if (label->isVisible() && label->text() == QString::fromUtf8(row.label.data(), int(row.label.size()))) {
                    EXPECT_LE(label->mapTo(window.get(), QPoint(label->sizeHint().width(), 0)).x() + 16, x) << row.key;
                }
            }
        }
    }
    EXPECT_EQ(columns.size(), 1u) << "one control column on every tab";
    window->selectTab(Tab::general);
    QCoreApplication::processEvents();
    auto* scroll = qobject_cast<QScrollArea*>(window->findChild<QStackedWidget*>()->currentWidget());
    ASSERT_NE(scroll, nullptr);
    EXPECT_LE(scroll->widget()->sizeHint().height(), scroll->viewport()->height()) << "General needs no scrolling";
}

TEST_F(SettingsWindowTest, SettingsWithNoEffectHereAreDisabledWithOneLineWhy) {
    window->show();
    for (auto [tab, key] : {std::pair{Tab::general, "enableHaptics"}, {Tab::general, "hideFromScreenCapture"},
                            {Tab::general, "simulateFakeNotch"}, {Tab::fileTray, "enableFileTray"},
                            {Tab::calendar, "notifyWhenTimeToLeave"}, {Tab::calendar, "excludeSubscribedCalendars"},
                            {Tab::nowPlaying, "automaticMusicApp"}, {Tab::lockScreen, "enableLockScreen"}}) {
        SCOPED_TRACE(key);
        window->selectTab(tab);
        QCoreApplication::processEvents();
        QWidget* c = window->control(tab, key);
        ASSERT_NE(c, nullptr);
        EXPECT_FALSE(c->isEnabled());
        EXPECT_FALSE(c->toolTip().isEmpty());
        int lines = 0;
        for (QLabel* label : window->findChildren<QLabel*>()) lines += label->isVisible() && label->text() == c->toolTip();
        EXPECT_EQ(lines, 1);
    }
    // A setting that works here is not touched; none of the others is written by showing them.
    EXPECT_TRUE(window->control(Tab::general, "launchAtLogin")->isEnabled());
    EXPECT_TRUE(writes.empty());
    EXPECT_TRUE(defaults().get(keys::enableHaptics)) << "kept in the store as it was";
}

TEST_F(SettingsWindowTest, SyncWaitsForAFolderWhoseChoiceTakesEffectAtOnce) {
    window->show();
    QCoreApplication::processEvents();
    auto* sync = control<QAbstractButton>(Tab::general, "synchronizeSettings");
    QToolButton* clear = nullptr;
    for (auto* b : window->control(Tab::general, "syncFolder")->findChildren<QToolButton*>())
        if (b->text() == "Clear") clear = b;
    auto why = [this] {
        for (QLabel* label : window->findChildren<QLabel*>())
            if (label->isVisible() && label->text().startsWith("Choose a folder")) return true;
        return false;
    };
    ASSERT_TRUE(sync && clear);
    // "synchronizeSettings" holds its default, true: without a folder it still shows off.
    EXPECT_FALSE(sync->isEnabled());
    EXPECT_FALSE(sync->isChecked());
    EXPECT_TRUE(why());

    defaults().set(keys::syncFolder, std::string("/home/user/Sync"));
    settle();
    EXPECT_TRUE(sync->isEnabled());
    EXPECT_TRUE(sync->isChecked());
    EXPECT_FALSE(why());
    EXPECT_EQ(window->control(Tab::general, "syncFolder")->findChild<QLabel*>()->toolTip(), "/home/user/Sync");

    clear->click();
    settle();
    EXPECT_EQ(defaults().get(keys::syncFolder), "");
    EXPECT_FALSE(sync->isEnabled());
    EXPECT_FALSE(sync->isChecked());
    EXPECT_TRUE(defaults().get(keys::synchronizeSettings)) << "the switch's own value is kept";
}

TEST_F(SettingsWindowTest, OneControlOfEachKindWritesTheStoreAtOnce) {
    settle();
    ASSERT_TRUE(writes.empty()) << writes.front();
    control<QAbstractButton>(Tab::general, "hideMenuBarIcon")->click();
    EXPECT_TRUE(defaults().get(keys::hideMenuBarIcon));

    auto* slider = control<QSlider>(Tab::battery, "lowBatteryThreshold");
    EXPECT_EQ(window->valueLabel(Tab::battery, "lowBatteryThreshold")->text(), "10 %");
    slider->setValue(slider->value() + 2);
    EXPECT_EQ(defaults().get(keys::lowBatteryThreshold), 20.0);

    control<QDoubleSpinBox>(Tab::volume, "hudDuration")->setValue(2.5);
    EXPECT_EQ(defaults().get(keys::hudDuration), 2.5);

    auto* speed = control<QComboBox>(Tab::volume, "hudSpeed");
    EXPECT_EQ(speed->currentText(), "Fast");
    Q_EMIT speed->activated(0);
    EXPECT_EQ(defaults().get(keys::hudSpeed), HUDSpeed::smooth);

    window->moveListItem(Tab::lockScreen, "lockScreenWidgetOrder", 0, 2);
    using W = LockScreenWidgetType;
    EXPECT_EQ(defaults().get(keys::lockScreenWidgetOrder),
              (WidgetOrder{W::connectivity, W::focus, W::battery, W::calendar, W::weather}));
    settle();
    EXPECT_EQ(order(), (std::vector<std::string>{"Connectivity", "Focus", "Battery", "Calendar", "Weather"}));
    // Each user change was one write of that setting alone.
    EXPECT_EQ(writes, (std::vector<std::string>{"hideMenuBarIcon=true", "lowBatteryThreshold=20", "hudDuration=2.5",
                                                "hudSpeed=\"smooth\"",
                                                R"(lockScreenWidgetOrder=["connectivity","focus","battery","calendar","weather"])"}));
}

TEST_F(SettingsWindowTest, ChangesMadeElsewhereShowAtOnceInEveryControlOfTheSetting) {
    editedElsewhere({{"hideMenuBarIcon", Value(true)}, {"lowBatteryThreshold", Value(35.0)}, {"hudDuration", Value(3.0)},
                     {"hudSpeed", Value("instant")}, {"warnOnLowBattery", Value(false)}, {"synchronizedHUD", Value(false)},
                     {"musicApp", Value("spotify")},
                     {"lockScreenWidgetOrder", Value(Value::Array{Value("weather"), Value("calendar"), Value("focus"),
                                                                  Value("connectivity"), Value("battery")})}});
    writes.clear();
    settle();
    EXPECT_TRUE(control<QAbstractButton>(Tab::general, "hideMenuBarIcon")->isChecked());
    EXPECT_EQ(control<QSlider>(Tab::battery, "lowBatteryThreshold")->value(), 6);
    EXPECT_EQ(window->valueLabel(Tab::battery, "lowBatteryThreshold")->text(), "35 %");
    // The same setting on two tabs.
    EXPECT_EQ(control<QDoubleSpinBox>(Tab::volume, "hudDuration")->value(), 3.0);
    EXPECT_EQ(control<QDoubleSpinBox>(Tab::brightness, "hudDuration")->value(), 3.0);
    EXPECT_EQ(control<QComboBox>(Tab::brightness, "hudSpeed")->currentText(), "Instant");
    EXPECT_EQ(order(), (std::vector<std::string>{"Weather", "Calendar", "Focus", "Connectivity", "Battery"}));
    // Rows that depend on another setting follow it.
    EXPECT_FALSE(window->rowShown(Tab::battery, "lowBatteryThreshold"));
    EXPECT_TRUE(window->rowShown(Tab::battery, "batteryDuration"));
    EXPECT_FALSE(window->rowShown(Tab::volume, "hudDuration"));
    EXPECT_TRUE(window->rowShown(Tab::volume, "volumeDuration"));
    // The extra media button is titled for the chosen player: Spotify likes with a heart.
    editedElsewhere({{"automaticMusicApp", Value(false)}});
    settle();
    EXPECT_EQ(control<QComboBox>(Tab::nowPlaying, "controlChoice")->itemText(0), "Like");
    editedElsewhere({{"musicApp", Value("music")}});
    settle();
    EXPECT_EQ(control<QComboBox>(Tab::nowPlaying, "controlChoice")->itemText(0), "Favorite");
    EXPECT_EQ(control<QComboBox>(Tab::nowPlaying, "controlChoice")->currentText(), "Shuffle");
    EXPECT_TRUE(writes.empty()) << writes.front();
}

TEST_F(SettingsWindowTest, HandEditedBadValuesShowWhatAReadReturnsAndAreNeverWrittenBack) {
    auto& prefs = sim->simPreferences();
    // Wrong kinds, numbers outside a control's range, an unknown option, a list with a stranger.
    editedElsewhere({{"hideMenuBarIcon", Value("yes")}, {"swipeToSkip", Value(0.0)}, {"lowBatteryThreshold", Value(500.0)},
                     {"notchAdjustedWidth", Value(-75.0)}, {"hudDuration", Value(99.0)}, {"batteryDuration", Value(1.25)},
                     {"hudSpeed", Value("warp")}, {"weatherStyle", Value(3.0)},
                     {"lockScreenWidgetOrder", Value(Value::Array{Value("battery"), Value("clock")})}});
    writes.clear();
    window = std::make_unique<SettingsWindow>(*ctx);
    settle();
    EXPECT_FALSE(control<QAbstractButton>(Tab::general, "hideMenuBarIcon")->isChecked());
    EXPECT_TRUE(control<QAbstractButton>(Tab::general, "swipeToSkip")->isChecked());
    auto* threshold = control<QSlider>(Tab::battery, "lowBatteryThreshold");
    EXPECT_EQ(threshold->value(), threshold->maximum());
    EXPECT_EQ(window->valueLabel(Tab::battery, "lowBatteryThreshold")->text(), "500 %");
    EXPECT_EQ(control<QSlider>(Tab::general, "notchAdjustedWidth")->value(), 0);
    EXPECT_EQ(window->valueLabel(Tab::general, "notchAdjustedWidth")->text(), "-75 pt");
    EXPECT_EQ(control<QDoubleSpinBox>(Tab::volume, "hudDuration")->value(), 99.0);
    EXPECT_EQ(control<QDoubleSpinBox>(Tab::battery, "batteryDuration")->text(), "1.25 s");
    EXPECT_EQ(control<QComboBox>(Tab::volume, "hudSpeed")->currentText(), "Fast");
    EXPECT_EQ(control<QComboBox>(Tab::lockScreen, "weatherStyle")->currentText(), "Conditions");
    EXPECT_EQ(order(), (std::vector<std::string>{"Battery", "Connectivity", "Focus", "Calendar", "Weather"}));
    // Another bad edit while the window is open: still nothing written.
    editedElsewhere({{"lowBatteryThreshold", Value(-1.0)}, {"hudDuration", Value(0.01)}});
    settle();
    EXPECT_EQ(threshold->value(), 0);
    EXPECT_EQ(control<QDoubleSpinBox>(Tab::volume, "hudDuration")->value(), 0.01);
    // However far out, a number puts the handle at that end; no number at all, at the default (10 %).
    for (auto [stored, position] : {std::pair{1e300, threshold->maximum()}, std::pair{-1e300, 0},
                                    std::pair{HUGE_VAL, threshold->maximum()}, std::pair{-HUGE_VAL, 0},
                                    std::pair{std::nan(""), 1}, std::pair{1e300, threshold->maximum()}}) {
        prefs.externalSet("lowBatteryThreshold", Value(stored));
        settle();
        EXPECT_EQ(threshold->value(), position) << stored;
    }
    EXPECT_EQ(window->valueLabel(Tab::battery, "lowBatteryThreshold")->text(), "1e+300 %") << "short, and true";
    EXPECT_TRUE(writes.empty()) << writes.front();
    EXPECT_EQ(*prefs.stored("hudSpeed"), Value("warp"));

    // The user's own change of one of them replaces it, and only it.
    Q_EMIT control<QComboBox>(Tab::volume, "hudSpeed")->activated(2);
    EXPECT_EQ(writes, std::vector<std::string>{"hudSpeed=\"instant\""});
    EXPECT_EQ(*prefs.stored("weatherStyle"), Value(3.0));
}

TEST_F(SettingsWindowTest, AWheelOverAControlNotClickedIntoChangesNothing) {
    window->show();
    for (QWidget* w : {window->control(Tab::volume, "hudDuration"), window->control(Tab::volume, "hudSpeed"),
                       window->control(Tab::battery, "lowBatteryThreshold")}) {
        ASSERT_NE(w, nullptr);
        wheelOver(w);
    }
    settle();
    EXPECT_TRUE(writes.empty()) << writes.front();
    // Clicked into, the wheel is the control's.
    auto* spin = control<QDoubleSpinBox>(Tab::volume, "hudDuration");
    window->selectTab(Tab::volume);
    window->activateWindow();
    spin->setFocus();
    ASSERT_TRUE(test::spinUntil([&] { return spin->hasFocus(); }, 2000));
    wheelOver(spin);
    EXPECT_EQ(defaults().get(keys::hudDuration), 1.6);
}

TEST_F(SettingsWindowTest, NotchSizeSlidersPreviewTheNotchWhileDragged) {
    auto* width = control<QSlider>(Tab::general, "notchAdjustedWidth");
    Q_EMIT width->sliderPressed();
    EXPECT_TRUE(notch().isAdjusting.get());
    width->setValue(width->value() + 4);
    EXPECT_EQ(defaults().get(keys::notchAdjustedWidth), 4.0);
    Q_EMIT width->sliderReleased();
    at(3);
    EXPECT_FALSE(notch().isAdjusting.get());
}

TEST_F(SettingsWindowTest, AboutShowsTheBundleAndChecksForUpdates) {
    EXPECT_TRUE(window->aboutText()->text().contains("Halvyn"));
    EXPECT_TRUE(window->aboutText()->text().contains("Version 1.0.0 (build 100)"));
    EXPECT_EQ(window->windowTitle(), "Halvyn Settings");
    sim->simHttp().setServer("https://updates.halvyn.app/", [](const HttpRequest&) {
        return std::optional<HttpResponse>(HttpResponse{
            200, {}, R"({"id": 1, "tag_name": "1.0.0", "name": "1", "assets": [], "prerelease": false,
                        "published_at": "", "body": ""})", {}});
    });
    window->checkUpdatesButton()->click();
    EXPECT_EQ(window->updateStatus()->text(), "Checking for updates…");
    settle();
    EXPECT_EQ(window->updateStatus()->text(), "You have the newest version.");
}

// The settings file a person edited: opening the window leaves it byte for byte as it was, and a
// change the user makes rewrites that setting and keeps the others as they were written.
struct FilePlatform final : Platform {
    explicit FilePlatform(VirtualTime& t, const std::filesystem::path& p)
        : file(p, t.main(), Logger(nullptr, "com.halvyn.app", "Defaults")) {}
    Preferences* preferences() override { return &file; }
    PreferencesFile file;
};

class SettingsWindowFile : public ::testing::Test {
protected:
    SettingsWindowFile() : dir(test::privateFolder("halvyn-settings-window")), path(dir / "halvyn/preferences.json") {}
    ~SettingsWindowFile() override { std::filesystem::remove_all(dir); }

    // The program on the settings file, written with `text` first unless it is empty.
    Context& start(const std::string& text = {}) {
        if (!text.empty()) test::writeFile(path, text);
        auto time = std::make_unique<VirtualTime>();
        vt = time.get();
        ctx = std::make_unique<Context>(std::move(time), std::make_unique<FilePlatform>(*vt, path), &logs);
        return *ctx;
    }
    std::string read() const { return test::readFile(path); }

    std::filesystem::path dir, path;
    VirtualTime* vt = nullptr;
    CaptureLogSink logs;
    std::unique_ptr<Context> ctx;
};

TEST_F(SettingsWindowFile, OpeningNeverRewritesAHandEditedFile) {
    const std::string edited =
        R"({"hideMenuBarIcon": "yes", "lowBatteryThreshold": 400, "hudSpeed": "warp", "notchAdjustedHeight": 2})";
    Context& ctx = start(edited);
    {
        SettingsWindow window(ctx);
        vt->advance(seconds(5));
        EXPECT_EQ(read(), edited);
        EXPECT_EQ(dynamic_cast<QSlider*>(window.control(Tab::general, "notchAdjustedHeight"))->value(), 12);
        // Edited again by hand while the window is open: it shows, and is still not written back.
        const std::string again = R"({"hideMenuBarIcon": "yes", "lowBatteryThreshold": 400, "hudSpeed": "smooth",
                                      "notchAdjustedHeight": -3})";
        std::ofstream(path) << again;
        vt->advance(seconds(5));
        EXPECT_EQ(dynamic_cast<QSlider*>(window.control(Tab::general, "notchAdjustedHeight"))->value(), 7);
        EXPECT_EQ(dynamic_cast<QComboBox*>(window.control(Tab::volume, "hudSpeed"))->currentText(), "Smooth");
        EXPECT_EQ(read(), again);
        dynamic_cast<QAbstractButton*>(window.control(Tab::general, "swipeToSkip"))->click();
        vt->advance(seconds(5));
    }
    const auto after = parseJsonObject(read());
    ASSERT_TRUE(after);
    auto field = [&after](std::string_view name) { return after->find(name) ? *after->find(name) : Value(); };
    EXPECT_EQ(field("swipeToSkip"), Value(false));
    EXPECT_EQ(field("hideMenuBarIcon"), Value("yes"));
    EXPECT_EQ(field("lowBatteryThreshold"), Value(400));
    EXPECT_EQ(field("hudSpeed"), Value("smooth"));
}

// While settings cannot be saved a line above the tabs says so and why; it goes with the first
// save that works (here the retry after the folder, replaced by a file, is back).
TEST_F(SettingsWindowFile, ALineSaysWhySettingsAreNotSavedUntilASaveWorks) {
    SettingsWindow window(start());
    window.resize(720, 520);
    window.show();
    EXPECT_TRUE(window.saveProblemLine()->isHidden());

    std::filesystem::remove_all(dir / "halvyn");
    std::ofstream(dir / "halvyn") << "in the way";
    dynamic_cast<QAbstractButton*>(window.control(Tab::general, "swipeToSkip"))->click();
    vt->runCurrent();
    EXPECT_FALSE(window.saveProblemLine()->isHidden());
    EXPECT_EQ(window.saveProblemLine()->text().toStdString(),
              "Settings are not being saved: Not a directory (" + path.string() +
                  "). Changes apply until the program quits and are saved once saving works again.");

    std::filesystem::remove(dir / "halvyn");
    vt->advance(PreferencesFile::kFirstRetry);
    EXPECT_TRUE(window.saveProblemLine()->isHidden());
    EXPECT_NE(read().find("\"swipeToSkip\": false"), std::string::npos) << read();
}

}  // namespace
}  // namespace halvyn
