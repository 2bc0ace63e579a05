#include "shell/settings_window.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/context.h"
#include "notch/notch.h"
#include "platform/bundle.h"
#include "platform/platform.h"
#include "platform/preferences.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "shell/symbols.h"
#include "shell/whole_number.h"
#include "updates/update_controller.h"

namespace halvyn {

namespace {

using Kind = SettingControl::Kind;

// More positions than a slider's width in pixels could never be told apart.
constexpr int kMaxSliderSteps = 100000;

// Digits after the point that a step needs (0.5 → 1, 1 → 0).
int decimalsOf(double step) {
    int d = 0;
    while (d < 3 && std::abs(step * std::pow(10, d) - std::round(step * std::pow(10, d))) > 1e-9) ++d;
    return d;
}

QString numberText(double value, const SettingControl& c) {
    const QString unit = QString::fromUtf8(c.unit.data(), static_cast<int>(c.unit.size()));
    // A hand-written 1e300 in full would be three hundred digits wide and crowd out the slider.
    if (!(std::abs(value) < 1e9)) return QString::number(value, 'g', 6) + unit;
    const int decimals = std::max(decimalsOf(c.step), decimalsOf(value) > 2 ? 2 : decimalsOf(value));
    return QString::number(value, 'f', decimals) + unit;
}

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

// A small line under a control, in the placeholder colour.
QLabel* noteLabel(std::string_view text) {
    auto* note = new QLabel(qs(text));
    note->setWordWrap(true);
    note->setForegroundRole(QPalette::PlaceholderText);
    QFont small = note->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    note->setFont(small);
    return note;
}

// Whether the text setting a row waits for is still empty.
bool needsUnmet(const SettingRow& spec, const Defaults& d) {
    if (spec.needs.empty()) return false;
    const KeyInfo* needed = findKey(spec.needs);
    const Value v = needed ? needed->effective(d) : Value();
    return !v.isString() || v.asString().empty();
}

// A wheel turned over a number or a choice that the user has not clicked into scrolls the page
// instead of changing the setting under the pointer.
class WheelGuard final : public QObject {
public:
    using QObject::QObject;
    void guard(QWidget* w) {
        w->setFocusPolicy(Qt::StrongFocus);
        w->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* w = qobject_cast<QWidget*>(watched);
        if (event->type() != QEvent::Wheel || !w || w->hasFocus() || !w->parentWidget()) return false;
        QCoreApplication::sendEvent(w->parentWidget(), event);
        return true;
    }
};

// A Boolean setting's switch: a rounded track with a knob, on to the right in the accent colour.
class ToggleSwitch final : public QAbstractButton {
public:
    ToggleSwitch() {
        setCheckable(true);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::StrongFocus);
    }
    QSize sizeHint() const override { return {38, 22}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF track = QRectF(0, 0, 38, 22).translated(0, (height() - 22) / 2.0).adjusted(1, 1, -1, -1);
        const QPalette& pal = palette();
        QColor fill = isChecked() ? pal.color(QPalette::Highlight) : pal.color(QPalette::Mid);
        if (!isEnabled()) fill.setAlphaF(0.4);
        p.setPen(hasFocus() ? QPen(pal.color(QPalette::Highlight).lighter(130), 1.5) : Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(track, track.height() / 2, track.height() / 2);
        const double d = track.height() - 4;
        const double x = isChecked() ? track.right() - 2 - d : track.left() + 2;
        p.setPen(Qt::NoPen);
        p.setBrush(pal.color(QPalette::Base).lightness() > 128 ? pal.color(QPalette::Base) : QColor(Qt::white));
        p.drawEllipse(QRectF(x, track.top() + 2, d, d));
    }
};

}  // namespace

struct SettingsWindow::Row {
    const SettingRow* spec = nullptr;
    const KeyInfo* key = nullptr;
    QFormLayout* form = nullptr;
    QWidget* control = nullptr;  // the widget the row was added with (a box for sliders and lists)
    QAbstractButton* check = nullptr;
    QSlider* slider = nullptr;
    QLabel* sliderValue = nullptr;
    QDoubleSpinBox* spin = nullptr;
    QComboBox* combo = nullptr;
    QListWidget* list = nullptr;
    std::vector<Choice> choices;
    bool refreshing = false;  // the list is being refilled from the store
    std::function<void()> applyShown;
    QLabel* note = nullptr;  // why the setting does nothing here
    QLabel* path = nullptr;  // a folder row's folder
    QLabel* needsNote = nullptr;  // why the setting waits for another one
};

struct SettingsWindow::BannerArea {
    QVBoxLayout* layout = nullptr;
    QWidget* box = nullptr;
    std::function<std::vector<SettingsBanner>()> source;
    std::vector<SettingsBanner> current;
    std::vector<QPushButton*> buttons;
    std::vector<QLabel*> texts;
};

SettingsWindow::SettingsWindow(Context& ctx) : ctx_(ctx), wheelGuard_(new WheelGuard(this)) {
    const Bundle* bundle = ctx_.platform().bundle();
    setWindowTitle(bundle ? QString::fromStdString(bundle->info().name) + QStringLiteral(" Settings")
                          : QStringLiteral("Settings"));
    resize(720, 520);
    auto* outer = new QVBoxLayout(this);
    // Shown while the settings cannot be saved, with the reason.
    saveProblem_ = new QLabel(this);
    saveProblem_->setWordWrap(true);
    saveProblem_->setTextFormat(Qt::PlainText);
    saveProblem_->setContentsMargins(8, 6, 8, 6);
    saveProblem_->setStyleSheet(QStringLiteral("background: #fdecc8; color: #5c3c00; border-radius: 4px;"));
    outer->addWidget(saveProblem_);
    saveProblem_->hide();
    if (Preferences* prefs = ctx_.platform().preferences()) {
        auto showProblem = [this, prefs] {
            const std::string problem = prefs->saveProblem();
            saveProblem_->setText(QString::fromStdString(saveProblemText(problem)));
            saveProblem_->setVisible(!problem.empty());
        };
        showProblem();
        subscriptions_.push_back(prefs->observeSaveProblem(showProblem));
    }
    auto* layout = new QHBoxLayout;
    outer->addLayout(layout, 1);
    sidebar_ = new QListWidget(this);
    sidebar_->setFixedWidth(170);
    sidebar_->setSpacing(3);
    pages_ = new QStackedWidget(this);
    layout->addWidget(sidebar_);
    layout->addWidget(pages_, 1);
    for (SettingsTab tab : settingsTabs()) {
        sidebar_->addItem(qs(tabTitle(tab)));
        auto* scroll = new QScrollArea(pages_);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setWidget(buildTab(tab));
        pages_->addWidget(scroll);
    }
    QObject::connect(sidebar_, &QListWidget::currentRowChanged, pages_, &QStackedWidget::setCurrentIndex);
    sidebar_->setCurrentRow(0);
    alignAndSize();
}

void SettingsWindow::alignAndSize() {
    // One control column for every tab: each label column is as wide as the widest label.
    int labels = 0;
    for (QFormLayout* form : forms_)
        for (int i = 0; i < form->rowCount(); ++i)
            if (auto* item = form->itemAt(i, QFormLayout::LabelRole); item && item->widget())
                labels = std::max(labels, item->widget()->sizeHint().width());
    for (QFormLayout* form : forms_)
        for (int i = 0; i < form->rowCount(); ++i)
            if (auto* item = form->itemAt(i, QFormLayout::LabelRole); item && item->widget())
                item->widget()->setMinimumWidth(labels);
    // Large enough for the tallest and widest tab without scrolling, within the screen.
    QSize content(0, 0);
    for (int i = 0; i < pages_->count(); ++i)
        if (auto* scroll = qobject_cast<QScrollArea*>(pages_->widget(i)); scroll && scroll->widget())
            content = content.expandedTo(scroll->widget()->sizeHint());
    QSize want(sidebar_->width() + content.width() + 48, content.height() + 40);
    if (const QScreen* screen = this->screen()) want = want.boundedTo(screen->availableGeometry().size() * 0.9);
    resize(want.expandedTo(QSize(720, 520)));
}

SettingsWindow::~SettingsWindow() { lifetime_.end(); }

QWidget* SettingsWindow::buildTab(SettingsTab tab) {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    auto* heading = new QLabel(qs(tabTitle(tab)), page);
    QFont big = heading->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    heading->setFont(big);
    column->addWidget(heading);
    auto area = std::make_unique<BannerArea>();
    area->box = new QWidget(page);
    area->layout = new QVBoxLayout(area->box);
    area->layout->setContentsMargins(0, 0, 0, 0);
    area->box->hide();
    column->addWidget(area->box);
    banners_[tab] = std::move(area);
    if (tab == SettingsTab::about) column->addWidget(buildAbout());
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    form->setHorizontalSpacing(24);  // a long label never touches its control
    forms_.push_back(form);
    column->addLayout(form);
    std::string_view lastNote;
    for (const SettingRow& spec : settingsTable()) {
        if (spec.tab != tab) continue;
        auto row = std::make_unique<Row>();
        row->spec = &spec;
        row->key = findKey(spec.key);
        row->form = form;
        if (!row->key) continue;  // a row for a setting that does not exist is caught by the tests
        bindRow(*row);
        form->addRow(qs(spec.label), row->control);
        if (!spec.notHere.empty()) {
            // Shown as it is stored, but not to be changed; one line says why, once for a run of
            // rows with the same reason.
            row->control->setEnabled(false);
            row->control->setToolTip(qs(spec.notHere));
            if (auto* label = form->labelForField(row->control)) label->setEnabled(false);
            if (spec.notHere != lastNote) {
                row->note = noteLabel(spec.notHere);
                form->addRow(row->note);
            }
        }
        lastNote = spec.notHere;
        if (!spec.needs.empty()) {
            row->needsNote = noteLabel(spec.needsWhy);
            form->addRow(row->needsNote);
            Row* r = row.get();
            auto apply = [r, this] {
                const bool unmet = needsUnmet(*r->spec, ctx_.defaults());
                r->control->setEnabled(!unmet);
                if (auto* label = r->form->labelForField(r->control)) label->setEnabled(!unmet);
                r->form->setRowVisible(r->needsNote, unmet);
            };
            apply();
            watch(spec.needs, apply);
        }
        if (row->applyShown) row->applyShown();
        rows_.push_back(std::move(row));
    }
    column->addStretch(1);
    return page;
}

void SettingsWindow::bindRow(Row& row) {
    const SettingControl& c = row.spec->control;
    const std::string key(row.spec->key);
    Defaults& d = ctx_.defaults();
    std::function<void()> refresh;
    switch (c.kind) {
        case Kind::toggle: refresh = bindToggle(row); break;
        case Kind::slider: refresh = bindSlider(row); break;
        case Kind::spin: refresh = bindSpin(row); break;
        case Kind::picker: refresh = bindPicker(row); break;
        case Kind::order: refresh = bindOrder(row); break;
        case Kind::folder: refresh = bindFolder(row); break;
    }
    for (QWidget* w : {static_cast<QWidget*>(row.slider), static_cast<QWidget*>(row.spin), static_cast<QWidget*>(row.combo)})
        if (w) static_cast<WheelGuard*>(wheelGuard_)->guard(w);
    refresh();
    watch(key, refresh);
    for (std::string_view other : c.titleKeys) watch(other, refresh);
    if (!row.spec->needs.empty()) watch(row.spec->needs, refresh);
    if (!row.spec->shownWhen.key.empty()) {
        const KeyInfo* when = findKey(row.spec->shownWhen.key);
        row.applyShown = [&row, when, &d] {
            const bool shown = when && when->effective(d).asBool() == row.spec->shownWhen.value;
            row.form->setRowVisible(row.control, shown);
            if (row.note) row.form->setRowVisible(row.note, shown);
        };
        watch(row.spec->shownWhen.key, [&row] { row.applyShown(); });
    }
}

std::function<void()> SettingsWindow::bindToggle(Row& row) {
    const std::string key(row.spec->key);
    Defaults& d = ctx_.defaults();
    row.check = new ToggleSwitch;
    row.control = row.check;
    QObject::connect(row.check, &QAbstractButton::toggled, row.check, [this, key](bool on) { write(key, Value(on)); });
    return [&row, &d] {
        const QSignalBlocker block(row.check);
        // A switch that waits for another setting shows off, whatever it holds.
        row.check->setChecked(row.key->effective(d).asBool() && !needsUnmet(*row.spec, d));
    };
}

std::function<void()> SettingsWindow::bindFolder(Row& row) {
    const std::string key(row.spec->key);
    Defaults& d = ctx_.defaults();
    // The buttons, then the folder under them: the row stays as narrow as the other controls.
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* line = new QHBoxLayout;
    row.path = new QLabel;
    row.path->setFixedWidth(220);
    row.path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* choose = new QToolButton;
    choose->setText(QStringLiteral("Choose…"));
    auto* clear = new QToolButton;
    clear->setText(QStringLiteral("Clear"));
    line->addWidget(choose);
    line->addWidget(clear);
    line->addStretch(1);
    column->addLayout(line);
    column->addWidget(row.path);
    row.control = box;
    QObject::connect(choose, &QToolButton::clicked, choose, [this, &row, key, &d] {
        const Value now = row.key->effective(d);
        const QString start = now.isString() && !now.asString().empty() ? QString::fromStdString(now.asString())
                                                                          : QDir::homePath();
        const QString folder =
            QFileDialog::getExistingDirectory(this, QStringLiteral("Choose a folder to sync settings through"), start);
        if (!folder.isEmpty()) write(key, Value(folder.toStdString()));
    });
    QObject::connect(clear, &QToolButton::clicked, clear, [this, key] { ctx_.defaults().reset(key); });
    return [&row, &d, clear] {
        const Value v = row.key->effective(d);
        const QString path = v.isString() ? QString::fromStdString(v.asString()) : QString();
        // A long path shows its end, where the folder's own name is.
        row.path->setText(path.isEmpty() ? QStringLiteral("None")
                                         : row.path->fontMetrics().elidedText(path, Qt::ElideLeft, row.path->width()));
        row.path->setToolTip(path);
        clear->setEnabled(!path.isEmpty());
    };
}

std::function<void()> SettingsWindow::bindSlider(Row& row) {
    const SettingControl& c = row.spec->control;
    const std::string key(row.spec->key);
    Defaults& d = ctx_.defaults();
    auto* box = new QWidget;
    auto* line = new QHBoxLayout(box);
    line->setContentsMargins(0, 0, 0, 0);
    row.slider = new QSlider(Qt::Horizontal);
    row.slider->setRange(0, wholeNumberWithin((c.max - c.min) / c.step, 0, kMaxSliderSteps, 0));
    row.sliderValue = new QLabel;
    row.sliderValue->setMinimumWidth(56);
    box->setMinimumWidth(260);
    line->addWidget(row.slider, 1);
    line->addWidget(row.sliderValue);
    row.control = box;
    const double min = c.min;
    const double step = c.step;
    QObject::connect(row.slider, &QSlider::valueChanged, row.slider,
                     [this, key, min, step](int position) { write(key, Value(min + position * step)); });
    // The notch previews its size while a size slider is dragged.
    if (key == "notchAdjustedWidth" || key == "notchAdjustedHeight") {
        const Notch::Axis axis = key == "notchAdjustedWidth" ? Notch::Axis::vertical : Notch::Axis::horizontal;
        QObject::connect(row.slider, &QSlider::sliderPressed, row.slider,
                         [this, axis] { ctx_.notch().setAdjusting(true, axis); });
        QObject::connect(row.slider, &QSlider::sliderReleased, row.slider,
                         [this, axis] { ctx_.notch().setAdjusting(false, axis); });
    }
    return [&row, &d, &c] {
        const double v = row.key->effective(d).asNumber();
        const QSignalBlocker block(row.slider);
        // A value outside the range puts the handle at that end, however far out (1e300 by
        // hand); one that is no number at all, at the default. The text says the truth.
        const int last = row.slider->maximum();
        const double fallback = row.key->storedDefault ? row.key->storedDefault->asNumber() : c.min;
        const int atDefault = wholeNumberWithin((fallback - c.min) / c.step, 0, last, 0);
        row.slider->setValue(wholeNumberWithin((v - c.min) / c.step, 0, last, atDefault));
        row.sliderValue->setText(numberText(v, c));
    };
}

std::function<void()> SettingsWindow::bindSpin(Row& row) {
    const SettingControl& c = row.spec->control;
    const std::string key(row.spec->key);
    Defaults& d = ctx_.defaults();
    row.spin = new QDoubleSpinBox;
    row.spin->setDecimals(decimalsOf(c.step));
    row.spin->setSingleStep(c.step);
    row.spin->setSuffix(qs(c.unit));
    row.spin->setKeyboardTracking(false);
    if (!c.minimumText.empty()) row.spin->setSpecialValueText(qs(c.minimumText));
    row.control = row.spin;
    QObject::connect(row.spin, &QDoubleSpinBox::valueChanged, row.spin,
                     [this, key](double v) { write(key, Value(v)); });
    return [&row, &d, &c] {
        const double v = row.key->effective(d).asNumber();
        const QSignalBlocker block(row.spin);
        // A stored value outside the range widens it, so the box shows what is in effect
        // rather than a clamped number the store does not hold.
        row.spin->setDecimals(std::max(decimalsOf(c.step), std::min(decimalsOf(v), 2)));
        row.spin->setRange(std::min(c.min, v), std::max(c.max, v));
        row.spin->setValue(v);
    };
}

std::function<void()> SettingsWindow::bindPicker(Row& row) {
    const SettingControl& c = row.spec->control;
    const std::string key(row.spec->key);
    Defaults& d = ctx_.defaults();
    row.combo = new QComboBox;
    row.control = row.combo;
    QObject::connect(row.combo, &QComboBox::activated, row.combo, [this, &row, key](int index) {
        if (index >= 0 && index < static_cast<int>(row.choices.size())) write(key, Value(row.choices[index].raw));
    });
    return [&row, &d, &c] {
        const QSignalBlocker block(row.combo);
        row.choices = c.choices(d);
        row.combo->clear();
        for (const Choice& choice : row.choices) row.combo->addItem(QString::fromStdString(choice.title));
        const Value v = row.key->effective(d);
        const auto it = std::find_if(row.choices.begin(), row.choices.end(),
                                     [&v](const Choice& ch) { return v.isString() && ch.raw == v.asString(); });
        row.combo->setCurrentIndex(it == row.choices.end() ? -1 : static_cast<int>(it - row.choices.begin()));
    };
}

std::function<void()> SettingsWindow::bindOrder(Row& row) {
    const SettingControl& c = row.spec->control;
    const std::string key(row.spec->key);
    Defaults& d = ctx_.defaults();
    auto* box = new QWidget;
    auto* line = new QHBoxLayout(box);
    line->setContentsMargins(0, 0, 0, 0);
    row.list = new QListWidget;
    row.list->setDragDropMode(QAbstractItemView::InternalMove);
    row.list->setDefaultDropAction(Qt::MoveAction);
    row.list->setFixedSize(200, 5 * row.list->fontMetrics().height() + 16);
    auto* buttons = new QVBoxLayout;
    auto* up = new QToolButton;
    up->setArrowType(Qt::UpArrow);
    up->setToolTip(QStringLiteral("Move up"));
    auto* down = new QToolButton;
    down->setArrowType(Qt::DownArrow);
    down->setToolTip(QStringLiteral("Move down"));
    buttons->addWidget(up);
    buttons->addWidget(down);
    buttons->addStretch(1);
    line->addWidget(row.list, 1);
    line->addLayout(buttons);
    row.control = box;
    row.choices = c.choices(d);
    // Whatever moved the items (a drag, the buttons), the order they now have is written
    // when it differs from the one in effect.
    auto commit = [this, &row, key, &d] {
        if (row.refreshing) return;
        Value::Array order;
        for (int i = 0; i < row.list->count(); ++i)
            order.emplace_back(row.list->item(i)->data(Qt::UserRole).toString().toStdString());
        Value now(std::move(order));
        if (row.list->count() == static_cast<int>(row.choices.size()) && row.key->converts(now) &&
            now != row.key->effective(d))
            write(key, std::move(now));
    };
    QObject::connect(row.list->model(), &QAbstractItemModel::rowsMoved, row.list, commit);
    QObject::connect(row.list->model(), &QAbstractItemModel::rowsRemoved, row.list, commit);
    auto move = [this, &row](int delta) {
        const int from = row.list->currentRow();
        if (from < 0) return;
        moveListItem(row.spec->tab, row.spec->key, from, from + delta);
    };
    QObject::connect(up, &QToolButton::clicked, row.list, [move] { move(-1); });
    QObject::connect(down, &QToolButton::clicked, row.list, [move] { move(1); });
    return [&row, &d] {
        row.refreshing = true;
        const int current = row.list->currentRow();
        row.list->clear();
        const Value order = row.key->effective(d);
        for (const Value& raw : order.asArray()) {
            const auto it = std::find_if(row.choices.begin(), row.choices.end(),
                                         [&raw](const Choice& ch) { return ch.raw == raw.asString(); });
            auto* item = new QListWidgetItem(QString::fromStdString(it == row.choices.end() ? raw.asString() : it->title));
            item->setData(Qt::UserRole, QString::fromStdString(raw.asString()));
            row.list->addItem(item);
        }
        row.list->setCurrentRow(current);
        row.refreshing = false;
    };
}

void SettingsWindow::watch(std::string_view key, std::function<void()> refresh) {
    auto it = refreshers_.find(key);
    if (it == refreshers_.end()) {
        it = refreshers_.emplace(std::string(key), std::vector<std::function<void()>>{}).first;
        const std::string name(key);
        subscriptions_.push_back(ctx_.defaults().observeStored(
            key, [this, name](const std::optional<Value>&, const std::optional<Value>&) {
                const auto found = refreshers_.find(name);
                if (found == refreshers_.end()) return;
                for (const auto& r : found->second) r();
            }));
    }
    it->second.push_back(std::move(refresh));
}

void SettingsWindow::write(std::string_view key, Value value) { ctx_.defaults().setStored(key, std::move(value)); }

SettingsWindow::Row* SettingsWindow::findRow(SettingsTab tab, std::string_view key) const {
    for (const auto& r : rows_)
        if (r->spec->tab == tab && r->spec->key == key) return r.get();
    return nullptr;
}

void SettingsWindow::selectTab(SettingsTab tab) {
    const auto tabs = settingsTabs();
    const auto it = std::find(tabs.begin(), tabs.end(), tab);
    sidebar_->setCurrentRow(static_cast<int>(it - tabs.begin()));
}

SettingsTab SettingsWindow::currentTab() const { return settingsTabs()[static_cast<std::size_t>(pages_->currentIndex())]; }

QWidget* SettingsWindow::control(SettingsTab tab, std::string_view key) const {
    Row* r = findRow(tab, key);
    if (!r) return nullptr;
    if (r->slider) return r->slider;
    if (r->list) return r->list;
    return r->control;
}

QLabel* SettingsWindow::valueLabel(SettingsTab tab, std::string_view key) const {
    Row* r = findRow(tab, key);
    return r ? r->sliderValue : nullptr;
}

bool SettingsWindow::rowShown(SettingsTab tab, std::string_view key) const {
    Row* r = findRow(tab, key);
    return r && r->form->isRowVisible(r->control);
}

void SettingsWindow::moveListItem(SettingsTab tab, std::string_view key, int from, int to) {
    Row* r = findRow(tab, key);
    if (!r || !r->list || from < 0 || to < 0 || from >= r->list->count() || to >= r->list->count() || from == to) return;
    // The model reports the move, which writes the new order.
    r->list->model()->moveRow(QModelIndex(), from, QModelIndex(), to > from ? to + 1 : to);
    r->list->setCurrentRow(to);
}

void SettingsWindow::setBanners(SettingsTab tab, std::function<std::vector<SettingsBanner>()> banners,
                                std::vector<std::string_view> watched) {
    BannerArea& area = *banners_.at(tab);
    area.source = std::move(banners);
    refreshBanners(area);
    for (std::string_view key : watched) watch(key, [this, &area] { refreshBanners(area); });
}

void SettingsWindow::refreshBanners(BannerArea& area) {
    // Later, not now: this may run inside a click of one of these banners' buttons.
    for (QWidget* w : area.box->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        w->hide();
        w->deleteLater();
    }
    area.buttons.clear();
    area.texts.clear();
    area.current = area.source ? area.source() : std::vector<SettingsBanner>{};
    for (std::size_t i = 0; i < area.current.size(); ++i) {
        const SettingsBanner& b = area.current[i];
        auto* frame = new QFrame(area.box);
        frame->setFrameShape(QFrame::StyledPanel);
        auto* line = new QHBoxLayout(frame);
        auto* symbol = new QLabel(frame);
        symbol->setPixmap(QPixmap::fromImage(symbolImage(b.symbol, QSize(22, 22), palette().color(QPalette::WindowText))));
        auto* text = new QLabel(QString::fromStdString(b.text).replace(QStringLiteral(" \n "), QStringLiteral("\n")), frame);
        text->setWordWrap(true);
        line->addWidget(symbol);
        line->addWidget(text, 1);
        QPushButton* button = nullptr;
        if (!b.button.empty()) {
            button = new QPushButton(QString::fromStdString(b.button), frame);
            line->addWidget(button);
            // A copy: the action may refill the banners, and this one with them.
            QObject::connect(button, &QPushButton::clicked, frame, [&area, i] {
                if (i >= area.current.size()) return;
                const auto action = area.current[i].action;
                if (action) action();
            });
        }
        area.layout->addWidget(frame);
        area.texts.push_back(text);
        area.buttons.push_back(button);
    }
    area.box->setVisible(!area.current.empty());
}

void SettingsWindow::refreshBanners() {
    for (auto& [tab, area] : banners_)
        if (area->source) refreshBanners(*area);
}

std::vector<QPushButton*> SettingsWindow::bannerButtons(SettingsTab tab) const { return banners_.at(tab)->buttons; }
std::vector<QLabel*> SettingsWindow::bannerTexts(SettingsTab tab) const { return banners_.at(tab)->texts; }

QWidget* SettingsWindow::buildAbout() {
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    BundleInfo info;
    if (Bundle* b = ctx_.platform().bundle()) info = b->info();
    QString text = QStringLiteral("<h2>%1</h2>Version %2").arg(QString::fromStdString(info.name).toHtmlEscaped(),
                                                                 QString::fromStdString(info.version).toHtmlEscaped());
    if (info.build) text += QStringLiteral(" (build %1)").arg(*info.build);
    aboutText_ = new QLabel(text, box);
    checkUpdates_ = new QPushButton(QStringLiteral("Check Updates..."), box);
    updateStatus_ = new QLabel(box);
    if (info.updateServer.empty()) {
        checkUpdates_->setEnabled(false);
        updateStatus_->setText(QStringLiteral("This build does not look for updates."));
    }
    QObject::connect(checkUpdates_, &QPushButton::clicked, box, [this] { checkForUpdates(); });
    column->addWidget(aboutText_);
    column->addWidget(checkUpdates_, 0, Qt::AlignLeft);
    column->addWidget(updateStatus_);
    return box;
}

void SettingsWindow::checkForUpdates() {
    UpdateController& updates = ctx_.updates();
    updateStatus_->setText(QStringLiteral("Checking for updates…"));
    updates.checkForUpdates([this, &updates, alive = lifetime_.token()] {
        if (!alive) return;
        switch (updates.updateState.get()) {
            case UpdateAvailability::available:
                updateStatus_->setText(QStringLiteral("Version %1 is available.")
                                           .arg(QString::fromStdString(updates.targetRelease.get()->tagName)));
                updates.showUpdateWindow();
                break;
            case UpdateAvailability::unavailable:
                updateStatus_->setText(QStringLiteral("You have the newest version."));
                break;
            case UpdateAvailability::notChecked:
                updateStatus_->setText(QStringLiteral("The update server could not be reached."));
                break;
        }
    });
}

void SettingsWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A permission may have been given or taken meanwhile.
    refreshBanners();
}

}  // namespace halvyn
