#include "shell/update_window.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "app/context.h"
#include "platform/bundle.h"
#include "platform/linux/module_ports.h"
#include "platform/linux/modules.h"
#include "platform/platform.h"
#include "platform/url_opener.h"
#include "shell/symbols.h"

namespace halvyn {

namespace {

QColor namedColor(const std::string& name) {
    if (name == "TealColor") return QColor(0x2C, 0xB5, 0xA8);
    if (name == "PinkColor") return QColor(0xF2, 0x6D, 0xB5);
    return QColor(0x9A, 0x95, 0x8E);  // StoneColor and any other name
}

const QColor kAccent(0x0A, 0x84, 0xFF);

// The main button: its label, or while installing a capsule filled to the progress.
class MainButton final : public QWidget {
public:
    MainButton(UpdateController& updates, QWidget* parent) : QWidget(parent), updates_(updates) {
        setFixedHeight(32);
        setMinimumWidth(140);
        setCursor(Qt::PointingHandCursor);
        setAccessibleName(label());
    }
    QString label() const {
        if (updates_.readyToRestart.get()) return "Restart...";
        return byHand_ ? "Open Release Page" : "Install";
    }
    // Where the application cannot update itself, the button leads to the release's page.
    void setByHand(bool byHand) {
        byHand_ = byHand;
        setMinimumWidth(byHand ? 170 : 140);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
        const double radius = r.height() / 2;
        if (updates_.isInstalling.get()) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 255, 255, 40));
            p.drawRoundedRect(r, radius, radius);
            QRectF fill = r;
            fill.setWidth(std::max(r.height(), r.width() * std::clamp(updates_.progressBar.get(), 0.0, 1.0)));
            p.setBrush(kAccent);
            p.drawRoundedRect(fill, radius, radius);
            return;
        }
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawRoundedRect(r, radius, radius);
        p.setPen(Qt::white);
        QFont f = font();
        f.setBold(true);
        p.setFont(f);
        p.drawText(r, Qt::AlignCenter, label());
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        // The button ignores clicks while it shows progress.
        if (e->button() == Qt::LeftButton && rect().contains(e->pos()) && !updates_.isInstalling.get())
            updates_.mainButton();
    }

private:
    UpdateController& updates_;
    bool byHand_ = false;
};

}  // namespace

std::string renderNoteHtml(std::string_view markdown) { return releaseNotesHtml(module("halvyn-updates"), markdown); }

struct UpdateView::Section {
    QWidget* header = nullptr;
    QPushButton* chevron = nullptr;
    QWidget* notes = nullptr;
    std::vector<QLabel*> noteLabels;
    bool expanded = true;
};

UpdateView::UpdateView(Context& ctx) : ctx_(ctx), updates_(ctx.updates()) {
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle("Update");
    setFixedWidth(QtUpdateWindow::kWidth);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(12);

    heading_ = new QLabel(this);
    heading_->setWordWrap(true);
    heading_->setStyleSheet("color: white;");
    layout->addWidget(heading_);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setStyleSheet("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }");
    auto* notes = new QWidget(scroll);
    notesLayout_ = new QVBoxLayout(notes);
    notesLayout_->setContentsMargins(0, 0, 0, 0);
    notesLayout_->setSpacing(8);
    scroll->setWidget(notes);
    layout->addWidget(scroll, 1);

    advice_ = new QLabel(this);
    advice_->setWordWrap(true);
    advice_->setTextFormat(Qt::PlainText);
    advice_->setStyleSheet("color: rgba(255,255,255,170);");
    advice_->setVisible(false);
    layout->addWidget(advice_);

    auto* buttons = new QHBoxLayout();
    remindLater_ = new QPushButton("Remind Later...", this);
    remindLater_->setFixedHeight(32);
    QObject::connect(remindLater_, &QPushButton::clicked, this, [this] { updates_.remindLater(); });
    main_ = new MainButton(updates_, this);
    buttons->addWidget(remindLater_, 1);
    buttons->addWidget(main_, 1);
    layout->addLayout(buttons);

    rebuildNotes();
    refreshButtons();
    auto refresh = [this](auto&&...) { refreshButtons(); };
    subscriptions_.push_back(updates_.isInstalling.observe(refresh));
    subscriptions_.push_back(updates_.readyToRestart.observe(refresh));
    subscriptions_.push_back(updates_.progressBar.observe(refresh));
    subscriptions_.push_back(updates_.changelog.observe([this](auto&&...) { rebuildNotes(); }));
    subscriptions_.push_back(updates_.targetRelease.observe([this](auto&&...) { refreshHeading(); }));
}

UpdateView::~UpdateView() = default;

void UpdateView::rebuildNotes() {
    while (QLayoutItem* item = notesLayout_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    sections_.clear();
    refreshHeading();

    // A huge changelog would hold the main thread while its rows are made; the window shows the
    // first notes and says how many more there are.
    constexpr std::size_t kMaxNotes = 200;
    std::size_t shown = 0, total = 0;
    for (const ChangelogSection& s : updates_.changelog.get()) total += s.body.size();
    for (const ChangelogSection& s : updates_.changelog.get()) {
        if (shown == kMaxNotes) break;
        auto section = std::make_unique<Section>();
        auto* header = new QWidget();
        auto* row = new QHBoxLayout(header);
        row->setContentsMargins(0, 0, 0, 0);
        auto* symbol = new QLabel(header);
        symbol->setFixedSize(18, 18);
        {
            QPixmap pm(36, 36);
            pm.setDevicePixelRatio(2);
            pm.fill(Qt::transparent);
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            const bool named = symbolSource(s.symbol) != SymbolSource::placeholder;
            if (named) {
                paintSymbol(p, QRectF(1, 1, 16, 16), s.symbol, namedColor(s.color));
            } else {
                p.setPen(namedColor(s.color));
                p.drawText(QRectF(0, 0, 18, 18), Qt::AlignCenter, QString::fromStdString(s.symbol));
            }
            symbol->setPixmap(pm);
        }
        auto* title = new QLabel(QString::fromStdString(s.title).trimmed(), header);
        title->setStyleSheet("color: white; font-weight: 600;");
        auto* chevron = new QPushButton(header);
        chevron->setFlat(true);
        chevron->setFixedSize(22, 22);
        chevron->setAccessibleName("chevron.down");
        row->addWidget(symbol);
        row->addWidget(title, 1);
        row->addWidget(chevron);

        auto* notes = new QWidget();
        auto* list = new QVBoxLayout(notes);
        list->setContentsMargins(26, 0, 0, 0);
        list->setSpacing(4);
        for (const ChangelogNote& note : s.body) {
            if (shown == kMaxNotes) break;
            ++shown;
            auto* label = new QLabel(notes);
            label->setTextFormat(Qt::RichText);
            label->setWordWrap(true);
            label->setStyleSheet("color: rgba(255,255,255,210);");
            label->setText(QString::fromStdString(renderNoteHtml(note.text)));
            label->setOpenExternalLinks(false);
            // Release notes come from the update server: only their secure web links open, and
            // through the same opener as every other link.
            QObject::connect(label, &QLabel::linkActivated, label, [this](const QString& link) {
                UrlOpener* opener = ctx_.platform().urlOpener();
                if (opener && QUrl(link).scheme() == QLatin1String("https")) opener->openURL(link.toStdString());
            });
            list->addWidget(label);
            section->noteLabels.push_back(label);
        }
        section->header = header;
        section->chevron = chevron;
        section->notes = notes;
        const int index = static_cast<int>(sections_.size());
        QObject::connect(chevron, &QPushButton::clicked, this, [this, index] { toggleSection(index); });
        notesLayout_->addWidget(header);
        notesLayout_->addWidget(notes);
        sections_.push_back(std::move(section));
        toggleSection(index);  // draws the chevron
        toggleSection(index);
    }
    if (total > shown) {
        auto* more = new QLabel(QString("and %1 more changes").arg(total - shown));
        more->setStyleSheet("color: rgba(255,255,255,150);");
        notesLayout_->addWidget(more);
    }
    notesLayout_->addStretch(1);
    // The window fits its content, up to a height that keeps it on a small screen.
    adjustSize();
    resize(QtUpdateWindow::kWidth, std::min(sizeHint().height(), QtUpdateWindow::kMaxInitialHeight));
}

void UpdateView::refreshHeading() {
    const auto& release = updates_.targetRelease.get();
    Bundle* bundle = ctx_.platform().bundle();
    const BundleInfo installed = bundle ? bundle->info() : BundleInfo{};
    const std::string name = bundle ? installed.name : std::string("Halvyn");
    const std::string version = release ? release->tagName : std::string();
    heading_->setText(QString("<b style='font-size:15pt'>%1 %2 is available</b>")
                          .arg(QString::fromStdString(name).toHtmlEscaped(), QString::fromStdString(version).toHtmlEscaped()));
    // A copy that cannot replace itself says why and how to get the new version instead.
    const std::string problem = updates_.selfUpdateProblem();
    const bool page = !updates_.releasePage().empty();
    if (!problem.empty() && installed.packaged) {
        // Nothing is downloaded: the package manager brings the new version with its own checks.
        advice_->setText(QString("This copy of %1 was installed with the system's package manager. Update it there "
                                 "(for example with \"sudo apt update && sudo apt upgrade\") when it offers %1 %2.")
                             .arg(QString::fromStdString(name), QString::fromStdString(version)) +
                         (page ? QString(" The release page tells more.") : QString()));
    } else if (!problem.empty()) {
        const QString how = page ? QString("Get %1 %2 from its release page and install it the way this copy was installed.")
                                 : QString("Install %1 %2 the way this copy was installed, for example with the "
                                           "system's package manager.");
        advice_->setText(QString("%1 cannot update itself here: %2.\n\n")
                             .arg(QString::fromStdString(name), QString::fromStdString(problem)) +
                         how.arg(QString::fromStdString(name), QString::fromStdString(version)));
    }
    // A wrapped label asks for less height than its lines take at the window's width.
    advice_->setMinimumHeight(problem.empty() ? 0 : advice_->heightForWidth(QtUpdateWindow::kWidth - 40));
    advice_->setVisible(!problem.empty());
    static_cast<MainButton*>(main_)->setByHand(!problem.empty());
    main_->setVisible(problem.empty() || page);
}

void UpdateView::toggleSection(int i) {
    if (i < 0 || i >= sectionCount()) return;
    Section& s = *sections_[static_cast<std::size_t>(i)];
    s.expanded = !s.expanded;
    s.notes->setVisible(s.expanded);
    // "chevron.down" turned a quarter when folded.
    QPixmap pm(44, 44);
    pm.setDevicePixelRatio(2);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (!s.expanded) {
        p.translate(11, 11);
        p.rotate(-90);
        p.translate(-11, -11);
    }
    // "chevron.down", drawn here so it looks the same under every icon theme.
    QPen pen(QColor(255, 255, 255, 180), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.drawPolyline(QPolygonF({QPointF(6.5, 9), QPointF(11, 13.5), QPointF(15.5, 9)}));
    p.end();
    s.chevron->setIcon(QIcon(pm));
}

bool UpdateView::sectionExpanded(int i) const {
    return i >= 0 && i < sectionCount() && sections_[static_cast<std::size_t>(i)]->expanded;
}

QString UpdateView::notesHtml(int section) const {
    QString out;
    if (section < 0 || section >= sectionCount()) return out;
    for (QLabel* l : sections_[static_cast<std::size_t>(section)]->noteLabels) out += l->text();
    return out;
}

QString UpdateView::adviceText() const { return advice_->isVisibleTo(this) ? advice_->text() : QString(); }

QString UpdateView::mainButtonLabel() const { return static_cast<MainButton*>(main_)->label(); }

void UpdateView::refreshButtons() {
    remindLater_->setEnabled(!updates_.isInstalling.get() && !updates_.readyToRestart.get());
    main_->setAccessibleName(mainButtonLabel());
    main_->update();
}

void UpdateView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 16, 16);
    p.fillPath(path, QColor(28, 28, 30, 245));
    p.setPen(QColor(255, 255, 255, 30));
    p.drawPath(path);
}

void UpdateView::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) dragOffset_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
}

void UpdateView::mouseMoveEvent(QMouseEvent* e) {
    if (e->buttons() & Qt::LeftButton) move(e->globalPosition().toPoint() - dragOffset_);
}

QtUpdateWindow::QtUpdateWindow(Context& ctx) : ctx_(ctx) {}

QtUpdateWindow::~QtUpdateWindow() = default;

QWidget* QtUpdateWindow::window() const { return view_.get(); }

void QtUpdateWindow::open() {
    if (!view_) {
        view_ = std::make_unique<UpdateView>(ctx_);
        view_->setWindowOpacity(0.0);
        view_->show();
        // Centred once it has its size, then faded in.
        QWidget* w = view_.get();
        QTimer::singleShot(0, w, [w] {
            if (QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen()) {
                const QRect area = screen->availableGeometry();
                w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
            }
            auto* fade = new QPropertyAnimation(w, "windowOpacity", w);
            fade->setDuration(200);
            fade->setStartValue(0.0);
            fade->setEndValue(1.0);
            fade->start(QAbstractAnimation::DeleteWhenStopped);
        });
    }
    view_->raise();
    view_->activateWindow();
}

void QtUpdateWindow::close() { view_.reset(); }

void QtUpdateWindow::resize(double height) {
    if (!view_) return;
    // The top edge stays where it is; the window grows or shrinks downwards.
    const QRect from = view_->geometry();
    const QRect to(from.x(), from.y(), from.width(), static_cast<int>(height));
    auto* anim = new QPropertyAnimation(view_.get(), "geometry", view_.get());
    anim->setDuration(300);
    anim->setEasingCurve(QEasingCurve::OutCubic);
    anim->setStartValue(from);
    anim->setEndValue(to);
    anim->start(QAbstractAnimation::DeleteWhenStopped);
}

}  // namespace halvyn
