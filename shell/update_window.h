#pragma once
// The update window: the release's change notes by section (each can be folded with its
// chevron), "Remind Later..." and the main button, which fills with the install's progress and
// then offers "Restart...". A frameless, translucent window that fades in, centred on the screen,
// and can be dragged by its background.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QWidget>

#include "runtime/published.h"
#include "updates/update_controller.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace halvyn {

class Context;

// The change note's Markdown as the HTML the window shows. Raw HTML in the note is not passed
// on and links other than http, https and mailto are dropped.
std::string renderNoteHtml(std::string_view markdown);

class UpdateView;

// Creates the window when the controller asks for it and closes it again.
class QtUpdateWindow final : public UpdateWindowHost {
public:
    static constexpr int kWidth = 400;
    static constexpr int kMaxInitialHeight = 480;

    explicit QtUpdateWindow(Context& ctx);
    ~QtUpdateWindow() override;

    void open() override;
    void close() override;
    void resize(double height) override;

    QWidget* window() const;

private:
    Context& ctx_;
    std::unique_ptr<UpdateView> view_;
};

class UpdateView final : public QWidget {
public:
    explicit UpdateView(Context& ctx);
    ~UpdateView() override;

    // For tests: the widgets a user clicks.
    QPushButton* remindLaterButton() const { return remindLater_; }
    QWidget* mainButton() const { return main_; }
    QString mainButtonLabel() const;
    int sectionCount() const { return static_cast<int>(sections_.size()); }
    // Folds or unfolds section `i`'s notes, as its chevron does.
    void toggleSection(int i);
    bool sectionExpanded(int i) const;
    QString notesHtml(int section) const;
    QString adviceText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    struct Section;
    void rebuildNotes();
    void refreshHeading();  // the heading, and the advice where the application cannot update itself
    void refreshButtons();

    Context& ctx_;
    UpdateController& updates_;
    QLabel* heading_ = nullptr;
    QLabel* advice_ = nullptr;  // how to update where the application cannot update itself
    QVBoxLayout* notesLayout_ = nullptr;
    QPushButton* remindLater_ = nullptr;
    QWidget* main_ = nullptr;
    std::vector<std::unique_ptr<Section>> sections_;
    QPoint dragOffset_;
    std::vector<Subscription> subscriptions_;
};

}  // namespace halvyn
