#!/bin/bash
# Regenerates the program's artwork in this directory:
#   tavrowen2.ico     icon group 121: 16, 20, 24, 32, 40, 48, 64, 128 and 256 pixel images, 32
#                     bits with alpha (the 256 pixel one stored as PNG, as Vista and later read it)
#   about_banner.bmp  bitmap 105: 342 x 71, 24 bits, the banner across the top of the About box
#   splash_panel.bmp  bitmap 111: 176 x 280, 24 bits, the brand panel at the splash screen's left
#   finder.ico        icon group 122: the same sizes, 32 bits with alpha,
#                     the target dragged from the Running Processes window onto a window
#
# The generated files are committed, so a build never runs this script. Run it again after
# changing the artwork; the same tools give byte-identical files. With arguments it makes only
# the pieces named: icon, banner, splash, finder.
#
# Needs (Debian): imagemagick (uses /usr/bin/convert, ImageMagick 6), mawk or gawk.
#
# The banner and the panel hold no text: the program writes it over them at the window's DPI
# (app/brand_art.cpp), so no text is ever a stretched picture.
#
# Hand-drawn pixel grids live in artwork/: link16.txt is the 16-pixel tray icon, and
# link12.txt is the glyph as the link strip shows it. The strip loads the standard-size
# (32-pixel) image and has it drawn at 12 x 12, which picks one source pixel per target pixel
# (nearest neighbour). So the 32-pixel image has strokes three pixels wide, which no sampling
# phase can miss, placed on the sampling grid, and the pixels that Wine's DrawIconEx reads
# are then set from link12.txt: there the small copy comes out exactly as drawn, and a
# renderer that samples a pixel or two further along still gets whole one-pixel strokes.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
art="$here/artwork"
convert=/usr/bin/convert

[ -x "$convert" ] || { echo "make_artwork: $convert missing (apt-get install imagemagick)" >&2; exit 1; }

# Every icon of ours holds these sizes: those the system asks for from 96 to
# 192 DPI (small and large icons, tray and title bars), Explorer's large
# views (128) and the jumbo one (256).
icon_sizes="16 20 24 32 40 48 64 128 256"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Brand colours.
blue='#1B5FC1'         # first link, flat (small sizes)
orange='#F08A1C'       # second link, flat (small sizes)
blueTop='#3A86E6';  blueBottom='#1650B0'      # first link, shaded (large sizes)
orangeTop='#FFA646'; orangeBottom='#E0740C'   # second link, shaded (large sizes)
paleTop='#BFDDFF';  paleBottom='#7DB3F5'      # first link on the dark brand panels
navy='#0E2F6B'; navyLight='#1A55B0'           # brand panel gradient

# Writes only the pixels and never a time stamp or other metadata.
im() { "$convert" "$@"; }
clean() { echo -strip -define png:exclude-chunks=date,time +set date:create +set date:modify; }

# calc EXPRESSION: floating-point arithmetic.
calc() { awk "BEGIN { printf \"%.3f\", $1 }"; }

# grid_png GRID OUT LETTER=#RRGGBB[AA]... : a pixel grid file (lines starting with # skipped) to PNG.
grid_png() {
    local grid=$1 out=$2; shift 2
    grep -v '^#' "$grid" > "$work/grid.txt"
    awk -v maps="$*" '
        function hex(s,  i, v) { v = 0; s = tolower(s); for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1; return v }
        BEGIN { n = split(maps, m, " "); for (i = 1; i <= n; i++) { split(m[i], kv, "="); colour[kv[1]] = kv[2] } }
        { rows[NR] = $0; if (length($0) > w) w = length($0) }
        END {
            printf "# ImageMagick pixel enumeration: %d,%d,255,srgba\n", w, NR
            for (y = 1; y <= NR; y++) for (x = 1; x <= w; x++) {
                c = substr(rows[y], x, 1); r = g = b = a = 0
                if (c in colour) { v = colour[c]; r = hex(substr(v, 2, 2)); g = hex(substr(v, 4, 2)); b = hex(substr(v, 6, 2)); a = length(v) > 7 ? hex(substr(v, 8, 2)) : 255 }
                printf "%d,%d: (%d,%d,%d,%d)\n", x - 1, y - 1, r, g, b, a
            }
        }' "$work/grid.txt" > "$work/grid.enum"
    im txt:"$work/grid.enum" PNG32:"$out"
}

# links_png SIZE OUT LAYOUT STYLE : the two chain links on a transparent SIZE x SIZE square.
#   LAYOUT icon32: strokes placed on the 12 x 12 sampling grid (see above); centred: balanced.
#   STYLE flat (small sizes), shaded (large sizes), pale (first link lightened for dark panels).
# Coordinates are in a 32-unit design space; drawing is done 8 times larger and box-filtered down.
links_png() {
    local size=$1 out=$2 layout=$3 style=$4
    local ss=$((size * 8)) unit
    unit=$(calc "$size * 8 / 32")
    local ax0 ay0 ax1 ay1 bx0 by0 bx1 by1 sw=3 rad=6 gap
    if [ "$layout" = icon32 ]; then
        ax0=1; ay0=6; ax1=20; ay1=21; bx0=11; by0=12; bx1=30; by1=27; gap=0
    else
        ax0=1.5; ay0=5.5; ax1=20.5; ay1=20.5; bx0=11.5; by0=11.5; bx1=30.5; by1=26.5; gap=0.9
    fi
    u() { calc "($1) * $unit"; }
    # Rounded rectangle along the middle of a stroke whose outer edge is the given box.
    ring() {
        local h
        h=$(calc "$sw / 2")
        echo "roundrectangle $(u "$1 + $h"),$(u "$2 + $h") $(u "$3 - $h"),$(u "$4 - $h") $(u "$rad - $h"),$(u "$rad - $h")"
    }
    stroke() { # colour width box... out
        im -size ${ss}x${ss} xc:none -fill none -stroke "$1" -strokewidth "$(u "$2")" -draw "$(ring "$3" "$4" "$5" "$6")" "$7"
    }
    paint() { # mask top bottom out : fill a stroke mask with a vertical gradient
        if [ "$2" = "$3" ]; then
            im "$1" -fill "$2" -colorize 100 "$4"
        else
            im -size ${ss}x${ss} gradient:"$2"-"$3" -alpha set "$1" -compose DstIn -composite "$4"
        fi
    }
    stroke white $sw $ax0 $ay0 $ax1 $ay1 "$work/a.png"
    stroke white $sw $bx0 $by0 $bx1 $by1 "$work/b.png"
    local aTop aBottom bTop bBottom
    case $style in
        flat)   aTop=$blue; aBottom=$blue; bTop=$orange; bBottom=$orange ;;
        shaded) aTop=$blueTop; aBottom=$blueBottom; bTop=$orangeTop; bBottom=$orangeBottom ;;
        pale)   aTop=$paleTop; aBottom=$paleBottom; bTop=$orangeTop; bBottom=$orangeBottom ;;
    esac
    paint "$work/a.png" "$aTop" "$aBottom" "$work/ac.png"
    paint "$work/b.png" "$bTop" "$bBottom" "$work/bc.png"
    # At each crossing the link that passes over is cut out of the one below, with a thin
    # margin at large sizes: the first link's right side passes over the second's top, the
    # second's left side over the first's bottom.
    local wide
    wide=$(calc "$sw + 2 * $gap")
    stroke white "$wide" $ax0 $ay0 $ax1 $ay1 "$work/ah.png"
    stroke white "$wide" $bx0 $by0 $bx1 $by1 "$work/bh.png"
    im -size ${ss}x${ss} xc:none -fill white -draw "rectangle $(u "$ax1 - $sw - 2"),$(u "$by0 - 2") $(u "$ax1 + 2"),$(u "$by0 + $sw + 2")" "$work/r1.png"
    im -size ${ss}x${ss} xc:none -fill white -draw "rectangle $(u "$bx0 - 2"),$(u "$ay1 - $sw - 2") $(u "$bx0 + $sw + 2"),$(u "$ay1 + 2")" "$work/r2.png"
    im "$work/ah.png" "$work/r1.png" -compose DstIn -composite "$work/m1.png"
    im "$work/bh.png" "$work/r2.png" -compose DstIn -composite "$work/m2.png"
    im "$work/bc.png" "$work/m1.png" -compose DstOut -composite "$work/bc.png"
    im "$work/ac.png" "$work/m2.png" -compose DstOut -composite "$work/ac.png"
    im "$work/bc.png" "$work/ac.png" -compose Over -composite -filter box -resize ${size}x${size} PNG32:"$out"
}

# impose_grid12 IN32 GRID OUT : set the pixels of a 32-pixel image that a 12 x 12 drawing reads.
# Target column i reads source x = floor(i * 8/3 + 2) and row j reads y = floor(j * 8/3 + 1/2)
# (top row 0), as measured with Wine's DrawIconEx; the other pixels keep their anti-aliased
# values.
impose_grid12() {
    local in=$1 grid=$2 out=$3
    grep -v '^#' "$grid" > "$work/grid12.txt"
    im "$in" -depth 8 txt:- | awk -v grid="$work/grid12.txt" -v blue="$blue" -v orange="$orange" '
        function hex(s,  i, v) { v = 0; s = tolower(s); for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1; return v }
        function rgb(c) { return hex(substr(c, 2, 2)) "," hex(substr(c, 4, 2)) "," hex(substr(c, 6, 2)) }
        BEGIN {
            colour["A"] = rgb(blue); colour["B"] = rgb(orange)
            j = 0; while ((getline line < grid) > 0) { for (i = 0; i < 12; i++) cell[i, j] = substr(line, i + 1, 1); j++ }
            for (i = 0; i < 12; i++) { sx[int(i * 8 / 3 + 2)] = i; sy[int(i * 8 / 3 + 0.5)] = i }
            print "# ImageMagick pixel enumeration: 32,32,255,srgba"
        }
        NR == 1 { next }
        {
            split($0, p, /[,:() ]+/); x = p[1]; y = p[2]
            if ((x in sx) && (y in sy)) {
                c = cell[sx[x], sy[y]]
                if (c in colour) printf "%d,%d: (%s,255)\n", x, y, colour[c]; else printf "%d,%d: (0,0,0,0)\n", x, y
            } else printf "%d,%d: (%s,%s,%s,%s)\n", x, y, p[3], p[4], p[5], p[6]
        }' > "$work/imposed.enum"
    im txt:"$work/imposed.enum" PNG32:"$out"
}

make_icon() {
    grid_png "$art/link16.txt" "$work/i16.png" "A=$blue" "a=${blue}80" "B=$orange" "b=${orange}80"
    links_png 32 "$work/l32.png" icon32 flat
    impose_grid12 "$work/l32.png" "$art/link12.txt" "$work/i32.png"
    # Every size the system asks for from 96 to 192 DPI (small and large
    # icons, tray and title bars), each drawn at its own size: flat strokes
    # while a pixel is a large part of them, shaded above.
    links_png 20 "$work/i20.png" centred flat
    links_png 24 "$work/i24.png" centred flat
    local size images=()
    for size in $icon_sizes; do
        [ -f "$work/i$size.png" ] || links_png $size "$work/i$size.png" centred shaded
        images+=("$work/i$size.png")
    done
    im "${images[@]}" $(clean) ICO:"$here/tavrowen2.ico"
}

# 24-bit Windows 3.x bitmap without colour-space or time-stamp blocks.
write_bmp() {
    im "$1" -background white -alpha remove -alpha off -type TrueColor $(clean) \
        -units PixelsPerInch -density 96 BMP3:"$2"
}

# The About box shows the banner at the top, scaled to the DPI and centred, with the rest of its
# control in the top-left pixel's colour; the name is written over it at x 82, y 38 (baseline).
make_banner() {
    local w=342 h=71 base='#123C82'
    links_png 56 "$work/banner_glyph.png" centred pale
    im -size ${w}x${h} xc:"$base" \
        \( -size 200x200 radial-gradient:'#2A62BA'-"$base" -resize 88x70! \) -geometry +0+1 -compose Over -composite \
        "$work/banner_glyph.png" -geometry +16+8 -compose Over -composite \
        "$work/banner.png"
    write_bmp "$work/banner.png" "$here/about_banner.bmp"
}

# The splash screen's left part: the brand panel and the links, scaled to the DPI; the maker's
# name is written over it at x 58, y 240 (baseline).
make_splash() {
    local h=280 panel=176
    links_png 132 "$work/splash_glyph.png" centred pale
    im -size ${panel}x${h} gradient:"$navyLight"-"$navy" \
        \( -size 360x360 radial-gradient:'#2C6CC8'-none -resize 260x260! \) -geometry -42-14 -compose Over -composite \
        "$work/splash_glyph.png" -geometry +22+54 -compose Over -composite \
        "$work/splash_panel.png"
    write_bmp "$work/splash_panel.png" "$here/splash_panel.bmp"
}

# target_png SIZE OUT : the finder's target, drawn in a 32-unit design space 8 times larger
# and box-filtered down: a ring, cross hairs from the edges to the ring's inside, a centre dot.
target_png() {
    local size=$1 out=$2 ss=$(($1 * 8)) unit
    unit=$(calc "$size * 8 / 32")
    u() { calc "($1) * $unit"; }
    local sw
    sw=$(u 2.5)
    im -size ${ss}x${ss} xc:none -fill none -stroke "$blue" -strokewidth "$sw" \
        -draw "circle $(u 16),$(u 16) $(u 16),$(u 5.5)" \
        -draw "line $(u 16),$(u 1) $(u 16),$(u 11)" -draw "line $(u 16),$(u 21) $(u 16),$(u 31)" \
        -draw "line $(u 1),$(u 16) $(u 11),$(u 16)" -draw "line $(u 21),$(u 16) $(u 31),$(u 16)" \
        -stroke none -fill "$orange" -draw "circle $(u 16),$(u 16) $(u 16),$(u 13)" \
        -filter box -resize ${size}x${size} PNG32:"$out"
}

# The 16-pixel target is drawn by hand (artwork/target16.txt): at that size a filtered ring
# turns to blur.
make_finder() {
    grid_png "$art/target16.txt" "$work/t16.png" "A=$blue" "B=$orange" "b=${orange}80"
    local size images=()
    for size in $icon_sizes; do
        [ -f "$work/t$size.png" ] || target_png $size "$work/t$size.png"
        images+=("$work/t$size.png")
    done
    im "${images[@]}" $(clean) ICO:"$here/finder.ico"
}

pieces=${*:-icon banner splash finder}
for piece in $pieces; do
    case $piece in
        icon) make_icon; echo "make_artwork: wrote tavrowen2.ico" ;;
        banner) make_banner; echo "make_artwork: wrote about_banner.bmp" ;;
        splash) make_splash; echo "make_artwork: wrote splash_panel.bmp" ;;
        finder) make_finder; echo "make_artwork: wrote finder.ico" ;;
        *) echo "make_artwork: no piece called $piece (icon, banner, splash, finder)" >&2; exit 1 ;;
    esac
done
