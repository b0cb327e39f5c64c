"""Scenario scripts replayed through the tmx5 module's calls, for comparing with `tmx5 run`."""

import os


def split_line(line):
    """A script line's commands, each a list of words; quoted words keep their quotes (the runner's splitting)."""
    commands, words, word, quoted, in_word = [[]], None, "", False, False
    i = 0
    while i < len(line):
        c = line[i]
        if quoted:
            word += c
            if c == "\\" and i + 1 < len(line):
                i += 1
                word += line[i]
            elif c == '"':
                quoted = False
        elif c == "#":
            break
        elif c in " \t\r;":
            if in_word:
                commands[-1].append(word)
            word, in_word = "", False
            if c == ";":
                commands.append([])
        else:
            word += c
            in_word = True
            quoted = c == '"'
        i += 1
    if in_word:
        commands[-1].append(word)
    return [c for c in commands if c]


def unquote(word):
    body = word[1:-1]
    out, i = "", 0
    while i < len(body):
        if body[i] == "\\":
            i += 1
        out += body[i]
        i += 1
    return out


def replay(inst, script_path, out_dir, names):
    """Runs a script's lines as tmx5 calls (a line of several commands through inst.run, so that its events
    share one event point as in a script) and returns the values of `names` after every line, as
    "NAME=VALUE" lines. Files are read beside the script and written below out_dir."""
    folder = os.path.dirname(script_path)
    printed = []

    def read_path(name):
        written = os.path.join(out_dir, name)
        return written if os.path.exists(written) else os.path.join(folder, name)

    def write_path(name):
        path = os.path.join(out_dir, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        return path

    with open(script_path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    for number, line in enumerate(lines, 1):
        commands = split_line(line)
        if not commands:
            continue
        if len(commands) > 1:
            inst.run(line, name=script_path, folder=folder)
        else:
            w = commands[0]
            cmd, args = w[0], w[1:]
            if cmd == "utc":
                inst.utc(" ".join(args))
            elif cmd == "on":
                inst.on()
            elif cmd == "off":
                inst.off()
            elif cmd == "key":
                inst.key(args[0])
            elif cmd == "sensor":
                inst.sensor(int(args[0]))
            elif cmd == "calibrate":
                inst.calibrate(args[0] == "on")
            elif cmd == "keyfast":
                inst.keyfast(args[0] == "on")
            elif cmd == "wait":
                inst.wait(args[0])
            elif cmd == "passes":
                inst.passes(int(args[0]))
            elif cmd == "frame-ms":
                inst.frame_ms(int(args[0]))
            elif cmd == "snap":
                scale = int(args[1].rstrip("x")) if len(args) > 1 else 2
                inst.snap(write_path(args[0]), scale=scale)
            elif cmd == "movie" and args == ["end"]:
                inst.movie_end()
            elif cmd == "movie":
                inst.movie(write_path(args[0]), scale=int(args[1].rstrip("x")) if len(args) > 1 else 2)
            elif cmd == "expect":
                inst.expect(args[0], " ".join(args[1:]))
            elif cmd == "expect-frame":
                boxes = [tuple(int(v) for v in args[i:i + 4]) for i in range(2, len(args), 4)]
                inst.expect_frame(read_path(args[0]), ignore=boxes)
            elif cmd in ("expect-text", "expect-text-centred"):
                flags = set(args[2:-1])
                inst.expect_text(int(args[0]), int(args[1]), unquote(args[-1]),
                                 centred=cmd == "expect-text-centred", double="double" in flags,
                                 inverse="inverse" in flags, small="small" in flags)
            elif cmd == "print":
                printed.extend("%s=%s" % (n, inst[n]) for n in args)
            elif cmd == "save-state":
                inst.save_state(write_path(args[0]))
            elif cmd == "load-state":
                inst.load_state(read_path(args[0]))
            else:
                raise AssertionError("%s:%d: no call for %s" % (script_path, number, cmd))
        printed.extend("%s=%s" % (n, inst[n]) for n in names)
    return printed


def with_prints(script_path, names):
    """The script's text with a print of names after every line that holds a command."""
    out = []
    with open(script_path, encoding="utf-8") as f:
        for line in f.read().splitlines():
            out.append(line)
            if split_line(line):
                out.append("print " + " ".join(names))
    return "\n".join(out) + "\n"


def read_pbm(path):
    """A plain or raw PBM as bytes of 64 x 114, 1 lit."""
    with open(path, "rb") as f:
        data = f.read()
    tokens, pos = [], 0
    while len(tokens) < 3:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while end < len(data) and not data[end:end + 1].isspace():
            end += 1
        tokens.append(data[pos:end])
        pos = end
    magic, width, height = tokens[0], int(tokens[1]), int(tokens[2])
    assert (width, height) == (114, 64), path
    if magic == b"P4":
        rows = data[pos + 1:]
        stride = (width + 7) // 8
        return bytes((rows[y * stride + x // 8] >> (7 - x % 8)) & 1 for y in range(height) for x in range(width))
    assert magic == b"P1", path
    bits = bytes(1 if c == ord("1") else 0 for c in data[pos:] if c in b"01")
    assert len(bits) == width * height, path
    return bits
