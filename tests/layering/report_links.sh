#!/bin/bash
# The report command runs where there is no desktop: it must load Qt Core and no Qt library that
# draws (Gui, Widgets, or anything that brings them along).
set -eu
libraries=$(ldd "$1")
if grep -E 'libQt6(Gui|Widgets|OpenGL|XcbQpa|DBus)' <<<"$libraries"; then
    echo "orbisca-report links a Qt library beyond Qt Core" >&2
    exit 1
fi
grep -q 'libQt6Core' <<<"$libraries"
