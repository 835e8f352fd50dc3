#!/usr/bin/env bash
# Draws the busy box's spinner (twelve bars around a centre, the lit bar moving one step per
# frame) and writes it as an animated GIF. Needs ImageMagick. Usage: make-busy-gif.sh OUT.gif
set -euo pipefail
out=${1:?output file}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

size=96          # final pixels
scale=4          # drawn this much larger, then shrunk, for smooth edges
big=$((size * scale))
centre=$((big / 2))
inner=$((17 * scale))
outer=$((33 * scale))
stroke=$((7 * scale))
background='#efefef'
bars=12

# Bar colours from the lit one to the faintest, blue fading into the background.
shades=(1f5fbf 3a72c6 5585cd 6f97d3 86a7d9 9bb5dd aec2e1 bdcce4 c9d4e6 d3dbe8 dbe1ea e2e6eb)

for ((frame = 0; frame < bars; ++frame)); do
    draw=()
    for ((bar = 0; bar < bars; ++bar)); do
        # The lit bar sits at the frame's angle; the others trail behind it.
        age=$(((frame - bar + bars) % bars))
        read -r x1 y1 x2 y2 < <(awk -v b="$bar" -v n="$bars" -v c="$centre" -v i="$inner" \
            -v o="$outer" 'BEGIN { a = 2 * 3.14159265358979 * b / n - 3.14159265358979 / 2;
                printf "%.1f %.1f %.1f %.1f\n", c + i * cos(a), c + i * sin(a),
                                               c + o * cos(a), c + o * sin(a) }')
        draw+=(-stroke "#${shades[$age]}" -draw "stroke-linecap round line $x1,$y1 $x2,$y2")
    done
    convert -size ${big}x${big} "xc:$background" -fill none -strokewidth $stroke \
        "${draw[@]}" -resize ${size}x${size} "$work/frame$(printf %02d $frame).png"
done

# One shared palette; 8 hundredths of a second per frame; endless loop; only the changed
# part of each frame stored.
convert -delay 8 -loop 0 "$work"/frame*.png +dither -colors 64 -layers Optimize "$out"
