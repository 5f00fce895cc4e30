#!/usr/bin/env python3
"""bmp_bench_ratios.py: turns the JSON output of bmp_bench into the ratio table of
bench/README.md, using the best (minimum) of the repetitions of each benchmark.

    build/bin/bmp_bench --benchmark_out=bmp.json --benchmark_out_format=json
    bench/bmp_bench_ratios.py bmp.json
"""
import json
import sys

IMAGES = ["rgb24", "bgrx32", "rgb16", "pal8", "pal4", "mono1", "rle8", "rle4"]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1]) as f:
        report = json.load(f)
    best = {}
    for bench in report["benchmarks"]:
        if bench.get("aggregate_name") != "min":
            continue
        name = bench["run_name"].split("/repeats")[0]
        best[name] = bench["real_time"]
    print("| image | ours ms | stb ms | SDL ms | floor ms | staged ms |"
          " stb / ours | SDL / ours | ours / floor | staged / ours |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")

    def cell(value, fmt="{:.1f}"):
        return fmt.format(value) if value is not None else "-"

    for image in IMAGES:
        ours = best.get(f"Decode/ours/{image}")
        stb = best.get(f"Decode/stb/{image}")
        sdl = best.get(f"Decode/sdl/{image}")
        floor = best.get(f"Limit/{image}")
        staged = best.get(f"Staged/{image}")
        if ours is None:
            continue
        ratio = lambda a, b: a / b if a is not None and b else None
        print(f"| {image} | {cell(ours)} | {cell(stb)} | {cell(sdl)} | {cell(floor)} |"
              f" {cell(staged)} | {cell(ratio(stb, ours), '{:.1f}x')} |"
              f" {cell(ratio(sdl, ours), '{:.1f}x')} | {cell(ratio(ours, floor), '{:.2f}x')} |"
              f" {cell(ratio(staged, ours), '{:.2f}x')} |")


if __name__ == "__main__":
    main()
