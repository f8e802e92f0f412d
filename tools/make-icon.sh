#!/bin/bash
# make-icon.sh SOURCE OUTPUT - turns a text drawing into a Windows icon file.
#
# SOURCE holds one or more images, each "image WIDTH HEIGHT" followed by
# HEIGHT rows of WIDTH characters, top row first. A character is a hex digit
# naming one of the 16 standard colours (0 black .. f white), or "." for a
# transparent pixel. Lines starting with "#" and blank lines are ignored.
# OUTPUT gets one 4-bit (16-colour) image per source image, in source order.
set -eu
if [ $# -ne 2 ]; then
    echo "usage: $0 SOURCE OUTPUT" >&2
    exit 2
fi
source_file=$1
output=$2

# The standard 16-colour palette, as the icon stores it: blue, green, red, 0.
palette=(000000 800000 008000 808000 000080 800080 008080 c0c0c0
         808080 ff0000 00ff00 ffff00 0000ff ff00ff 00ffff ffffff)

fail() { echo "$source_file: $*" >&2; exit 1; }

# Little-endian hex of a 16- or 32-bit number.
le16() { printf '%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)); }
le32() { printf '%02x%02x%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }

# Read the images: widths, heights and rows (rows of all images in one list).
widths=() heights=() rows=()
while IFS= read -r line || [ -n "$line" ]; do
    line=${line%$'\r'}
    case $line in
    '' | '#'*) continue ;;
    image\ *)
        read -r _ width height <<<"$line"
        widths+=("$width")
        heights+=("$height")
        ;;
    *)
        [ ${#widths[@]} -gt 0 ] || fail "a row before the first image line"
        [[ $line =~ ^[0-9a-f.]+$ ]] || fail "bad character in row: $line"
        [ ${#line} -eq "${widths[-1]}" ] || fail "row of ${#line} pixels in an image ${widths[-1]} wide: $line"
        rows+=("$line")
        ;;
    esac
done <"$source_file"
count=${#widths[@]}
[ "$count" -gt 0 ] || fail "no image"

palette_hex=
for colour in "${palette[@]}"; do
    palette_hex+=${colour:4:2}${colour:2:2}${colour:0:2}00
done

# Each image: BITMAPINFOHEADER (height doubled for the mask), palette, colour
# rows bottom-up at 4 bits per pixel, then the transparency mask bottom-up at
# 1 bit per pixel (1 = transparent). Every row is padded to 4 bytes.
images=() first=0
for ((i = 0; i < count; i++)); do
    width=${widths[i]} height=${heights[i]}
    colour_stride=$(((width * 4 + 31) / 32 * 4))
    mask_stride=$(((width + 31) / 32 * 4))
    colour_size=$((colour_stride * height))
    mask_size=$((mask_stride * height))
    [ $((first + height)) -le ${#rows[@]} ] || fail "image $((i + 1)) has fewer than $height rows"
    hex=$(le32 40)$(le32 "$width")$(le32 $((height * 2)))$(le16 1)$(le16 4)$(le32 0)
    hex+=$(le32 $((colour_size + mask_size)))$(le32 0)$(le32 0)$(le32 16)$(le32 0)$palette_hex
    colour_hex= mask_hex=
    for ((y = height - 1; y >= 0; y--)); do
        row=${rows[first + y]}
        colour_row= mask_row= bits=0 nbits=0
        for ((x = 0; x < width; x++)); do
            pixel=${row:x:1}
            if [ "$pixel" = . ]; then
                colour_row+=0
                bits=$((bits << 1 | 1))
            else
                colour_row+=$pixel
                bits=$((bits << 1))
            fi
            if [ $((++nbits)) -eq 8 ]; then
                mask_row+=$(printf '%02x' $bits)
                bits=0 nbits=0
            fi
        done
        [ $nbits -eq 0 ] || mask_row+=$(printf '%02x' $((bits << (8 - nbits))))
        while [ ${#colour_row} -lt $((colour_stride * 2)) ]; do colour_row+=0; done
        while [ ${#mask_row} -lt $((mask_stride * 2)) ]; do mask_row+=00; done
        colour_hex+=$colour_row
        mask_hex+=$mask_row
    done
    images+=("$hex$colour_hex$mask_hex")
    first=$((first + height))
done
[ "$first" -eq ${#rows[@]} ] || fail "rows left over after the last image"

# ICONDIR, one ICONDIRENTRY per image, then the images.
out=$(le16 0)$(le16 1)$(le16 "$count")
offset=$((6 + 16 * count))
for ((i = 0; i < count; i++)); do
    size=$((${#images[i]} / 2))
    out+=$(printf '%02x%02x' $((widths[i] & 255)) $((heights[i] & 255)))1000$(le16 1)$(le16 4)
    out+=$(le32 $size)$(le32 $offset)
    offset=$((offset + size))
done
for image in "${images[@]}"; do
    out+=$image
done

tmp=$output.tmp
: >"$tmp"
for ((at = 0; at < ${#out}; at += 2048)); do
    chunk=${out:at:2048}
    printf "$(sed 's/../\\x&/g' <<<"$chunk")" >>"$tmp"
done
mv "$tmp" "$output"
