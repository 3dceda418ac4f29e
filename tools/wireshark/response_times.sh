#!/bin/sh
# response_times.sh CAPTURE PICTURE [PROTOCOL [INTERVAL]]: the response-time
# plot of a capture the console saved. tshark's I/O statistics give, per
# INTERVAL seconds (default 0.1), the slowest reply's <PROTOCOL>.time and
# how many replies came; ImageMagick draws them as bars against the
# capture's seconds, red above the slow-reply preference's 500 ms.
# PROTOCOL: esdframe (the serial line and plain UDP, the default), rmlx or
# esdtext (TCP). The statistics' rows go to standard output as
# "start max_ms replies", one line an interval.
set -eu
if [ $# -lt 2 ]; then
    echo "usage: response_times.sh CAPTURE PICTURE [esdframe|rmlx|esdtext [INTERVAL]]" >&2
    exit 2
fi
capture=$1
picture=$2
proto=${3:-esdframe}
interval=${4:-0.1}
lua=${VARNOKE_LUA:-$(dirname "$0")/varnoke.lua}
slow_ms=500

stats=$(tshark -n -r "$capture" -X lua_script:"$lua" -q \
    -z "io,stat,$interval,MAX($proto.time)$proto.time,COUNT($proto.time)$proto.time") || {
    echo "response_times.sh: tshark could not read $capture" >&2
    exit 1
}
# "| 0.0 <> 0.1 | 0.000123 |     1 |": the interval's start, the slowest
# reply in milliseconds, the number of replies.
rows=$(printf '%s\n' "$stats" | awk -F'|' '$2 ~ /<>/ {
    split($2, t, "<>")
    printf "%.3f %.1f %d\n", t[1], $3 * 1000, $4
}')
replies=$(printf '%s\n' "$rows" | awk '{ n += $3 } END { print n + 0 }')
[ "$replies" -gt 0 ] || {
    echo "response_times.sh: no $proto replies in $capture" >&2
    exit 1
}
printf '%s\n' "$rows"

# The drawing, in ImageMagick's vector graphics: 720 x 360, the plot inside
# margins; the y axis up to the next 250 ms above the slowest reply (at
# least 1 s).
printf '%s\n' "$rows" | awk -v interval="$interval" -v slow="$slow_ms" -v proto="$proto" -v q="'" '
function text(x, y, s) { printf "text %.1f,%.1f %s%s%s\n", x, y, q, s, q }
{ start[NR] = $1; max[NR] = $2; count[NR] = $3; if ($2 > top) top = $2; n = NR }
END {
    w = 720; h = 360; left = 70; right = 20; upper = 40; lower = 50
    pw = w - left - right; ph = h - upper - lower
    ymax = 1000; while (ymax < top) ymax += 250
    span = start[n] + interval
    printf "viewbox 0 0 %d %d\n", w, h
    printf "fill white rectangle 0,0 %d,%d\n", w, h
    print "font DejaVu-Sans"
    print "font-size 13"
    for (ms = 0; ms <= ymax; ms += 250) {
        y = upper + ph - ms * ph / ymax
        printf "stroke #dddddd line %d,%.1f %d,%.1f\n", left, y, left + pw, y
        print "stroke none fill black"
        text(8, y + 4, ms " ms")
    }
    for (i = 1; i <= n; i++) {
        if (count[i] == 0) continue
        x0 = left + start[i] * pw / span; x1 = x0 + interval * pw / span - 1
        if (x1 < x0 + 2) x1 = x0 + 2
        y = upper + ph - max[i] * ph / ymax
        if (y > upper + ph - 2) y = upper + ph - 2
        colour = (max[i] > slow) ? "#cc3333" : "#3366aa"
        printf "stroke none fill %s rectangle %.1f,%.1f %.1f,%d\n", colour, x0, y, x1, upper + ph
    }
    y = upper + ph - slow * ph / ymax
    print "push graphic-context"
    printf "fill none stroke #cc3333 stroke-dasharray 6 4 line %d,%.1f %d,%.1f\n",
           left, y, left + pw, y
    print "pop graphic-context"
    # Its legend, above the plot on the right.
    print "push graphic-context"
    printf "fill none stroke #cc3333 stroke-dasharray 6 4 line %d,20 %d,20\n",
           left + pw - 150, left + pw - 122
    print "pop graphic-context"
    print "stroke none fill #cc3333"
    text(left + pw - 116, 24, "slow: over " slow " ms")
    printf "fill none stroke black line %d,%d %d,%d\n", left, upper, left, upper + ph
    printf "line %d,%d %d,%d\n", left, upper + ph, left + pw, upper + ph
    step = 0.5; while (span / step > 12) step *= 2
    for (s = 0; s <= span + 1e-9; s += step) {
        x = left + s * pw / span
        printf "stroke black line %.1f,%d %.1f,%d\n", x, upper + ph, x, upper + ph + 4
        print "stroke none fill black"
        text(x - 6, upper + ph + 18, s)
    }
    text(left + pw / 2 - 70, h - 10, "seconds into the capture")
    text(left, 24, "Response time: the slowest " proto ".time in each " interval " s")
}' >"$picture.mvg"
convert mvg:"$picture.mvg" -depth 8 -strip "$picture"
rm -f "$picture.mvg"
