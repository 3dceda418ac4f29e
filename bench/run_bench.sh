#!/bin/sh
# run_bench.sh BENCH PROGRAM REPORT [option...]: runs the benchmark BENCH
# (varnoke_bench) against a private virtual X server, measuring the console
# PROGRAM's start too, and writes the Markdown report REPORT from that run.
# The network rows need root (or user namespaces) for private network
# namespaces; without them the bench says so and skips what needs one.
set -eu
bench=$1 program=$2 report=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
# FLTK keeps its preferences under $HOME: a home of its own keeps the user's
# out of the figures.
mkdir -p "$(dirname "$report")"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT INT TERM
HOME=$home "$here/../tests/gui/xvfb_run.sh" "$bench" --program "$program" --report "$report" \
    --command "cmake --build --preset default --target bench" "$@"
