# Sourced by the measuring scripts: builds the program and its helper in $build (optimised) and
# the toolkit's floor window beside them, as $floor.
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DHALVYN_TESTS=OFF -DHALVYN_SHELL=ON >/dev/null
fi
cmake --build "$build" -j2 --target halvyn halvyn-helper >/dev/null
floor="$build/floor-window"
if [ ! -x "$floor" ] || [ bench/floor/floor_window.cc -nt "$floor" ]; then
    # shellcheck disable=SC2046
    c++ -std=c++20 -O2 -fPIC -o "$floor" bench/floor/floor_window.cc $(pkg-config --cflags --libs Qt6Widgets)
fi
