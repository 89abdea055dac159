# Sourced by the whole-run scripts: make_pattern SIZE writes $work/pattern.bgr, the runner's test
# pattern as raw BGR frames at 30 fps for $seconds seconds, top row first (eight bars, a moving
# square, a white frame every second).
#
# The pattern's capture times carry whole milliseconds, so output frame n takes captured frame
# n + 1 when n % 3 == 1 (n / 30 s falls just after a capture time there): the square then moves
# 16 pixels, then stands still for one frame.
make_pattern() {
    local size="$1" bars="" i=0
    for colour in white yellow cyan lime magenta red blue; do
        bars="$bars,drawbox=x=$i*iw/8:y=0:w=iw/8:h=ih*3/4:c=$colour:t=fill"
        i=$((i + 1))
    done
    ffmpeg -v error -y -f lavfi -i "color=c=black:s=$size:r=30:d=$seconds" \
        -f lavfi -i "color=c=white:s=32x32:r=30:d=$seconds" \
        -filter_complex "[0]format=bgr24$bars[bars];[bars][1]overlay=x='mod((n+eq(mod(n,3),1))*8,W-24)':y='H*3/4+(H/4-32)/2':eval=frame,drawbox=enable='eq(mod(n,30),0)':x=0:y=0:w=iw:h=ih:c=white:t=fill,format=bgr24" \
        -f rawvideo -pix_fmt bgr24 "$work/pattern.bgr"
}
