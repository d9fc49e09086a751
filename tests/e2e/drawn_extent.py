#!/usr/bin/python3
# How much of a window is drawn on, from `xwd -id W` on standard input: the
# longer side, in pixels, of the box around the pixels unlike its corner.
import struct, sys

data = sys.stdin.buffer.read()
header, _, _, _, width, height = struct.unpack(">6I", data[:24])
per_pixel, per_line = [v // 8 if i == 0 else v for i, v in enumerate(struct.unpack(">2I", data[44:52]))]
pixels = data[header + struct.unpack(">I", data[76:80])[0] * 12:]
at = lambda x, y: pixels[y * per_line + x * per_pixel:][:per_pixel]
drawn = [(x, y) for y in range(height) for x in range(width) if at(x, y) != at(0, 0)]
xs, ys = [x for x, _ in drawn] or [0], [y for _, y in drawn] or [0]
print(max(max(xs) - min(xs), max(ys) - min(ys)) + 1 if drawn else 0)
