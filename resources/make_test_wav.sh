#!/bin/sh
# Makes the 7.1 speaker-test recording: usage make_test_wav.sh OUTPUT.wav
#
# Eight channels in the WAVE_FORMAT_EXTENSIBLE 7.1 order (FL FR FC LFE BL BR SL SR),
# 48 kHz, 16 bit, 13.9 s. Each speaker's name is spoken on that speaker's channel only,
# starting at the moment the speaker test lights that speaker up, so a listener hears
# every voice from the speaker the window shows. The low-frequency channel stays silent.
# Needs espeak-ng and sox; the build runs it, so nothing large is committed.
set -eu

out=$1
length=13.9
rate=48000
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM

# speak NAME START FILE: the name on one mono channel, its first sound at START seconds.
speak() {
    espeak-ng -v en-us -s 150 -w "$tmp/voice.wav" "$1"
    # Leading silence is cut so the word starts on time; no dither, so the rest of the
    # channel stays digital silence and bleeds into no other speaker's time.
    sox -D "$tmp/voice.wav" -r $rate -b 16 "$3" silence 1 0.005 0.2% norm -3 pad "$2"
}

speak "Front left" 1.00 "$tmp/1-fl.wav"
speak "Front right" 4.50 "$tmp/2-fr.wav"
speak "Center" 2.60 "$tmp/3-fc.wav"
sox -D -n -r $rate -b 16 -c 1 "$tmp/4-lfe.wav" trim 0 "$length"
speak "Back left" 9.80 "$tmp/5-bl.wav"
speak "Back right" 8.10 "$tmp/6-br.wav"
speak "Side left" 11.60 "$tmp/7-sl.wav"
speak "Side right" 6.20 "$tmp/8-sr.wav"

mkdir -p "$(dirname "$out")"
# sox writes more than two channels as WAVE_FORMAT_EXTENSIBLE with the 7.1 channel mask.
sox -D -M "$tmp/1-fl.wav" "$tmp/2-fr.wav" "$tmp/3-fc.wav" "$tmp/4-lfe.wav" \
    "$tmp/5-bl.wav" "$tmp/6-br.wav" "$tmp/7-sl.wav" "$tmp/8-sr.wav" \
    -r $rate -b 16 "$tmp/test.wav" trim 0 "$length"
mv "$tmp/test.wav" "$out"
