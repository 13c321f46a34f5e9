#!/usr/bin/env python3
"""Runs the CLI's shared cases against qvn.exe under Wine.

tests/support/cli_cases.tsv and tests/support/answer_cases.tsv, the tables
that tests/tools/cli_posix_test.cc runs against the Linux qvn, here against
the Windows build with standard input, output and error redirected, talking
to the Linux stand-in server that tests/win/with_server.sh started (its
ports in QVN_TEST_PORT and QVN_TEST_FILE_PORT).

usage: cli_cases.py DB USER PASSWORD DB_NAME -- COMMAND... (e.g. wine qvn.exe)
"""
import os
import socket
import subprocess
import sys
import tempfile

SUPPORT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support")


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            i += 1
            out.append({"n": "\n", "r": "\r", "t": "\t"}.get(text[i], text[i]))
        else:
            out.append(text[i])
        i += 1
    return "".join(out)


def fill(text, values):
    for name, value in values.items():
        text = text.replace("{" + name + "}", value)
    return text


def split(text, separator):
    return text.split(separator) if text else []


def rows(table):
    header = True
    with open(os.path.join(SUPPORT, table), encoding="utf-8") as f:
        for line in f.read().split("\n"):
            if not line or line.startswith("#"):
                continue
            if header:
                header = False
                continue
            yield line.split("\t")


def read(folder, name):
    try:
        with open(os.path.join(folder, name), "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def run(command, args, stdin, cwd, env, passfile="nonexistent-qvnpass"):
    """The program's exit status, stdout and stderr (UTF-8 text)."""
    environment = {k: v for k, v in os.environ.items() if not k.startswith("QVN_")}
    if passfile is not None:
        environment["QVN_PASSFILE"] = passfile  # none unless a case names one
    environment["LANG"] = environment["LC_ALL"] = "C.UTF-8"  # arguments reach Wine as UTF-8
    for setting in env:
        name, _, value = setting.partition("=")
        environment[name] = value
    done = subprocess.run(command + args, input=stdin.encode(), cwd=cwd, env=environment,
                          capture_output=True, timeout=120)
    return done.returncode, done.stdout.decode(errors="replace"), done.stderr.decode(errors="replace")


def cli_cases(command, values, work, failures):
    with open(os.path.join(work, "qvnpass"), "w", newline="") as f:
        f.write(fill("# a comment\n127.0.0.1:*::{db}\n*:{port}:{user}:{pw}\n", values))
    with open(os.path.join(work, "payload.bin"), "wb") as f:
        f.write(os.urandom(700000))
    count = 0
    for f in rows("cli_cases.tsv"):
        f = [fill(x, values) for x in f + [""] * (8 - len(f))]
        name, args, stdin, env = f[0], split(f[1], "|"), unescape(f[2]), split(f[3], "|")
        want_status, want_out, want_err, same = int(f[4]), unescape(f[5]), unescape(f[6]), split(f[7], "|")
        status, out, err = run(command, args, stdin, work, env)
        count += 1
        problems = []
        if status != want_status:
            problems.append(f"exit status {status}, not {want_status}")
        if want_out == "*":
            pass
        elif len(want_out) > 1 and want_out.endswith("*"):
            if not out.startswith(want_out[:-1]):
                problems.append(f"stdout does not begin with {want_out[:-1]!r}")
        elif out != want_out:
            problems.append(f"stdout is not {want_out!r}")
        if want_err == "(none)":
            if err:
                problems.append("stderr is not empty")
        elif want_err not in err:
            problems.append(f"stderr does not hold {want_err!r}")
        if want_status == 3 and err.count("\n") != 1:
            problems.append("the failure is not one line on stderr")
        if len(same) == 2 and read(work, same[0]) != read(work, same[1]):
            problems.append(f"{same[1]} does not hold the bytes of {same[0]}")
        if problems:
            failures.append(f"{name}: {'; '.join(problems)}\n  stdout: {out!r}\n  stderr: {err!r}")
    return count


def answer_cases(command, values, work, failures):
    """answer_cases.tsv as exit statuses, as the Linux CLI test reads it."""
    with open(os.path.join(work, "up.bin"), "wb") as f:
        f.write(b"u" * 32000000)
    count = 0
    for name, server, call, arguments, meaning in rows("answer_cases.tsv"):
        a = split(fill(arguments, values).replace("\\r\\n", "\r\n"), "|")
        args = ["-p", values["port"] if server == "up" else values["down"]]
        env, stdin = [], ""
        if call == "ShowDbName":
            args.append("db-name")
        elif call == "TryDbPassword":
            args += ["check-password", a[0]]
        elif call == "ChangeUniquePass":
            args += ["change-password", a[1]]
            env = [f"QVN_DB_PASSWORD={a[0]}", f"QVN_PASSWORD={a[2]}", f"QVN_NEW_PASSWORD={a[3]}"]
        elif call == "UserAuthentication":
            args += ["auth", a[0], a[1]]
        elif call in ("Script", "Upload"):
            args += ["--file-port", values["file_port"], "script", "-"]
            stdin = a[0] if call == "Script" else a[0] + "\r\nFILES [UPLOAD]\r\n{ up.bin,..\\cases\\up.bin }\r\n"
        data = meaning.startswith("data:")
        failed_statement = meaning in ("data:DENIED", "data:ERROR:")
        want = 3 if meaning in ("ConnectionFailed", "NoAnswer") else 1 if not data or failed_statement else 0
        status, out, err = run(command, args, stdin, work, env)
        count += 1
        if status != want or (data and not out.startswith(meaning[5:])):
            failures.append(f"{name}: exit status {status} (want {want})\n  stdout: {out!r}\n  stderr: {err!r}")
    return count


def default_password_file(command, values, work, failures):
    """Without QVN_PASSFILE the password file is %APPDATA%\\qvn\\qvnpass."""
    wine = command[:-1]
    app_data = subprocess.run(wine + ["cmd", "/c", "echo %APPDATA%"], capture_output=True,
                              text=True).stdout.strip()
    folder = subprocess.run(["winepath", "-u", app_data + "\\qvn"], capture_output=True,
                            text=True).stdout.strip()
    path = os.path.join(folder, "qvnpass")
    if not folder or os.path.exists(path):
        failures.append(f"default password file: no folder for it, or one is there already ({path})")
        return 1
    try:
        os.makedirs(folder, exist_ok=True)
        with open(path, "w", newline="") as f:
            f.write(fill("127.0.0.1:{port}::{db}\n127.0.0.1:{port}:{user}:{pw}\n", values))
        environment = ["QVN_USER=" + values["user"]]
        status, out, err = run(command, ["-p", values["port"], "check-password"], "", work, environment,
                               passfile=None)
        if (status, out) != (0, "OK\n"):
            failures.append(f"default password file: exit status {status}\n  stdout: {out!r}\n  stderr: {err!r}")
    finally:
        if os.path.exists(path):
            os.remove(path)
    return 1


def main():
    db, user, password, db_name, separator, *command = sys.argv[1:]
    assert separator == "--" and command, __doc__
    closed = socket.socket()
    closed.bind(("127.0.0.1", 0))
    down = str(closed.getsockname()[1])
    closed.close()
    mute = socket.socket()  # takes connections (the listen queue does) and never answers
    mute.bind(("127.0.0.1", 0))
    mute.listen(16)
    values = {"port": os.environ["QVN_TEST_PORT"], "file_port": os.environ["QVN_TEST_FILE_PORT"],
              "down": down, "mute": str(mute.getsockname()[1]), "db": db, "user": user,
              "pw": password, "dbname": db_name}
    failures = []
    with tempfile.TemporaryDirectory() as work:
        count = answer_cases(command, values, work, failures)
        count += default_password_file(command, values, work, failures)
        count += cli_cases(command, values, work, failures)  # last: it changes a password
    for failure in failures:
        print("FAILED", failure)
    print(f"{count - len(failures)} of {count} cases hold")
    return 1 if failures or count == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
