#pragma once
// The settings window: a sidebar of tabs, each a form built from the settings table and bound
// live to the settings store. A control writes only when the user changes it; a change made
// anywhere else (the cloud, another process, the settings file edited by hand) shows at once.
// What a control shows is what a read of its setting returns, so a stored object of the wrong
// kind or an unknown option shows the default and stays stored as it is.

#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/lifetime.h"
#include "runtime/published.h"
#include "shell/settings_table.h"

class QFormLayout;
class QListWidget;
class QStackedWidget;
class QLabel;
class QPushButton;

namespace halvyn {

class Context;
class Value;

// A permission banner of a tab: its text and its one button, supplied by the permission model.
struct SettingsBanner {
    std::string symbol;  // e.g. "hand.raised.fill"
    std::string text;
    std::string button;
    std::function<void()> action;
};

class SettingsWindow final : public QWidget {
public:
    explicit SettingsWindow(Context& ctx);
    ~SettingsWindow() override;

    void selectTab(SettingsTab tab);
    SettingsTab currentTab() const;
    // The control of `key` on `tab` (a switch (QAbstractButton), QSlider, QDoubleSpinBox, QComboBox or
    // QListWidget), or nullptr.
    QWidget* control(SettingsTab tab, std::string_view key) const;
    // The text beside a slider: the setting's value with its unit.
    QLabel* valueLabel(SettingsTab tab, std::string_view key) const;
    // Whether the row of `key` on `tab` is shown (rows depending on another setting come and go).
    bool rowShown(SettingsTab tab, std::string_view key) const;
    // Moves the widget at `from` of an order list to `to`, as a drag does.
    void moveListItem(SettingsTab tab, std::string_view key, int from, int to);

    // Permission banners: `banners` is asked again whenever a setting in `watched` changes.
    void setBanners(SettingsTab tab, std::function<std::vector<SettingsBanner>()> banners,
                    std::vector<std::string_view> watched);
    // The banner buttons of a tab, in order.
    std::vector<QPushButton*> bannerButtons(SettingsTab tab) const;
    std::vector<QLabel*> bannerTexts(SettingsTab tab) const;
    // Asks every tab's banners again (a permission's state changed outside the settings).
    void refreshBanners();
    // Keeps a subscription for as long as the window lives.
    void keep(Subscription s) { subscriptions_.push_back(std::move(s)); }

    // About: what the "Check Updates..." button last reported.
    QPushButton* checkUpdatesButton() const { return checkUpdates_; }
    QLabel* updateStatus() const { return updateStatus_; }
    QLabel* aboutText() const { return aboutText_; }
    // The line above the tabs that says why settings are not being saved; hidden while they are.
    QLabel* saveProblemLine() const { return saveProblem_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Row;
    struct BannerArea;

    QWidget* buildTab(SettingsTab tab);
    // Lines the control column up across the tabs and sizes the window to its content.
    void alignAndSize();
    QWidget* buildAbout();
    // Makes the row's control and binds it to its key; the binder of each kind returns what
    // shows the value in effect again.
    void bindRow(Row& row);
    std::function<void()> bindToggle(Row& row);
    std::function<void()> bindSlider(Row& row);
    std::function<void()> bindSpin(Row& row);
    std::function<void()> bindPicker(Row& row);
    std::function<void()> bindOrder(Row& row);
    std::function<void()> bindFolder(Row& row);
    void watch(std::string_view key, std::function<void()> refresh);
    void write(std::string_view key, Value value);
    Row* findRow(SettingsTab tab, std::string_view key) const;
    void refreshBanners(BannerArea& area);
    void checkForUpdates();

    Context& ctx_;
    QListWidget* sidebar_ = nullptr;
    std::vector<QFormLayout*> forms_;
    QStackedWidget* pages_ = nullptr;
    std::vector<std::unique_ptr<Row>> rows_;
    std::map<SettingsTab, std::unique_ptr<BannerArea>> banners_;
    // One store subscription per setting, refreshing every control that shows it.
    std::map<std::string, std::vector<std::function<void()>>, std::less<>> refreshers_;
    std::vector<Subscription> subscriptions_;
    QPushButton* checkUpdates_ = nullptr;
    QLabel* updateStatus_ = nullptr;
    QLabel* aboutText_ = nullptr;
    QLabel* saveProblem_ = nullptr;
    QObject* wheelGuard_ = nullptr;
    Lifetime lifetime_;
};

}  // namespace halvyn
