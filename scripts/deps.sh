# Shared by scripts/run and scripts/test: installs the Debian packages the build needs.
# Sourced, not run. As root it installs what is missing; as anyone else it prints the command.

halvyn_ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Install them with:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >&2 || true
    apt-get install -y -qq "${missing[@]}" >&2
}

HALVYN_BUILD_PACKAGES=(cmake g++ make pkg-config nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev libicu-dev
    qt6-base-dev libxcb-shape0-dev adwaita-icon-theme fonts-dejavu-core
    libarchive-dev libcmark-gfm-dev libcmark-gfm-extensions-dev)
# The desktop program's window tests and a look at it without a desktop.
# The installation test validates the desktop entry and the AppStream metadata.
HALVYN_DISPLAY_PACKAGES=(xvfb xauth x11-utils desktop-file-utils appstream)
# The desktop program's adapters to the Linux services, and the real services their tests start.
HALVYN_BUILD_PACKAGES+=(libpulse-dev libudev-dev libxcb1-dev qt6-multimedia-dev)
HALVYN_DISPLAY_PACKAGES+=(pulseaudio pulseaudio-utils dbus python3-dbusmock openbox procps)
# Updates are checked against their SHA-256 digest and Ed25519 signature with OpenSSL's libcrypto.
HALVYN_BUILD_PACKAGES+=(libssl-dev)
# libFuzzer for scripts/fuzz (clang with its runtime libraries).
HALVYN_FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# Calendars as iCalendar files; GNOME's notification settings (GSettings) and its schema.
HALVYN_BUILD_PACKAGES+=(libical-dev libglib2.0-dev)
HALVYN_DISPLAY_PACKAGES+=(gsettings-desktop-schemas libglib2.0-bin)
# Links open with the user's chosen application.
HALVYN_DISPLAY_PACKAGES+=(xdg-utils)
# The companion helper's tests: a real media player with its MPRIS plugin, and playerctl to check
# what the player itself reports; python3-gi runs the tests' small misbehaving players.
HALVYN_DISPLAY_PACKAGES+=(mpv mpv-mpris playerctl python3-gi python3-dbus)
# The companion helper speaks to the session bus with sd-bus, without a toolkit, to stay small.
HALVYN_BUILD_PACKAGES+=(libsystemd-dev)
# Wayland sessions: Qt's Wayland platform plugin, and libwayland-client to ask the compositor what
# it offers before the toolkit starts.
HALVYN_BUILD_PACKAGES+=(qt6-wayland libwayland-dev)
# The notch as a layer surface: the layer shell's protocol definition (installed only by the Rust
# crate of Wayland protocols, also the source of the virtual pointer the tests click with), and
# Qt's platform interface to reach the toolkit's Wayland display and surfaces.
HALVYN_BUILD_PACKAGES+=(librust-wayland-protocols-dev qt6-base-private-dev)
# On X11 the notch window hears a compositing manager come and go (XFixes selection events).
HALVYN_BUILD_PACKAGES+=(libxcb-xfixes0-dev)
# The window placement tests: a wlroots compositor (sway) with a screenshot tool (grim), GNOME's
# compositor with XWayland (mutter), a small X11 compositing manager (xcompmgr) and synthetic input
# (xdotool).
HALVYN_DISPLAY_PACKAGES+=(sway grim mutter xwayland xcompmgr xdotool)
# The Debian package: dpkg-shlibdeps (dpkg-dev) computes its dependencies, lintian checks it.
HALVYN_PACKAGE_PACKAGES=(dpkg-dev lintian)
