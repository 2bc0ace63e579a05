#pragma once
// The notch panel as a layer surface, where the Wayland compositor offers the layer shell: on the
// overlay layer of the output the panel is moved to, hanging from its top edge, centred, reserving
// no room, never taking the keyboard, and taking the pointer only inside the region it is given.
//
// The surface is the toolkit's own (it paints and takes pointer events as for any window); the
// toolkit is kept from giving it a shell role of its own (the bypass hint, honoured under
// QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT), and it gets the layer role here, configured before the
// toolkit attaches its first buffer.

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRegion>

#include <cstdint>
#include <memory>

class QMenu;
class QScreen;
class QWidget;
struct wl_display;
struct wl_event_queue;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;
struct xdg_wm_base;

namespace halvyn {

class LayerShellPanel final : public QObject {
public:
    // For `panel` (a window with the bypass hint) when the program runs on Wayland with
    // kLayerShellBypassVariable set and the compositor offers the layer shell; nothing otherwise.
    static std::unique_ptr<LayerShellPanel> attach(QWidget& panel);
    ~LayerShellPanel() override;
    LayerShellPanel(const LayerShellPanel&) = delete;
    LayerShellPanel& operator=(const LayerShellPanel&) = delete;

    // Where the pointer reaches the panel, in its coordinates; elsewhere it reaches the windows
    // below. Takes effect with the panel's next frame.
    void setInputRegion(const QRegion& region);

    // Opens `menu` as a popup of the panel with its corner at `at` (panel coordinates), kept on
    // the output by the compositor and closed by a click elsewhere; false when the compositor
    // offers no popups, and the menu is then the caller's to show.
    bool popup(QMenu& menu, QPoint at);

    bool eventFilter(QObject* watched, QEvent* event) override;

    // The layer surface's events.
    static void onConfigure(void* data, zwlr_layer_surface_v1* surface, uint32_t serial, uint32_t width, uint32_t height);
    static void onClosed(void* data, zwlr_layer_surface_v1* surface);

private:
    LayerShellPanel(QWidget& panel, wl_display* display, wl_event_queue* queue, zwlr_layer_shell_v1* shell,
                    xdg_wm_base* wm);
    void place();
    void unplace();
    void applyInputRegion();
    QScreen* chosenScreen() const;

    QWidget& panel_;
    wl_display* display_;
    wl_event_queue* queue_;
    zwlr_layer_shell_v1* shell_;
    xdg_wm_base* wm_ = nullptr;  // for the menu's popup
    class Popup;
    std::unique_ptr<Popup> popup_;
    zwlr_layer_surface_v1* surface_ = nullptr;
    QPointer<QScreen> placedOn_;  // the output of the layer surface
    QRegion input_;
    bool hasInput_ = false;
    bool moving_ = false;
};

}  // namespace halvyn
